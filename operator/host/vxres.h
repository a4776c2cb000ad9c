// Host resource library: string and image tables by resource name.
#ifndef VX_VXRES_H
#define VX_VXRES_H

#ifdef __cplusplus
extern "C" {
#endif

void *resLoadStrings(const char *name);
const char *resGetString(void *table, int id);
void resFreeStrings(void *table);
void *resLoadImages(const char *name);
void *resGetImage(void *table, int id);
void resFreeImages(void *table);

#ifdef __cplusplus
}
#endif

#endif
