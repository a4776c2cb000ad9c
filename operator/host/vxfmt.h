// Host formatting library.
#ifndef VX_VXFMT_H
#define VX_VXFMT_H

#ifdef __cplusplus
extern "C" {
#endif

/* printf-style formatting into buffer, never more than size bytes
   (terminated when size > 0); returns the length written. */
int sxprintf(char *buffer, int size, const char *format, ...);

#ifdef __cplusplus
}
#endif

#endif
