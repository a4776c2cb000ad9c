// Marks a function as exported from a shared library built with hidden
// visibility; the one definition every library and plug-in uses.
#ifndef VX_EXPORT_H
#define VX_EXPORT_H

#ifdef __cplusplus
#define VX_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define VX_EXPORT __attribute__((visibility("default")))
#endif

#endif
