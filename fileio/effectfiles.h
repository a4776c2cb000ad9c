// Effect files as a host handles them, outside the plug-ins: a file's
// header looked at without reading its keys, and an effect written anew for
// another picture size and length, a key at a time.
//
// Grid geometry: node (c, r) of a grid of cols x rows nodes stands at the
// fraction (c / cols, r / rows) of the picture, and its displacement is in
// grid columns and rows. So a deformation keeps its shape on another size
// when the nodes are sampled at the same fractions and the displacements
// are multiplied by the ratio of the node counts. Fields and whole frames
// are alike here: a field's grid, like a frame's, spans the whole picture.
#ifndef VX_EFFECTFILES_H
#define VX_EFFECTFILES_H

#include <cstdint>
#include <string>

#include "fileio/effectcodec.h"

enum class EffectFileState { FOUND, MISSING, UNUSABLE };

// FOUND with the header when path is a regular file that holds a complete
// effect by its layout; MISSING when there is no such file; UNUSABLE with
// fault (a short phrase: "is a directory", "truncated ...") otherwise.
EffectFileState inspectEffectFile(const std::string &path, EffectHeader &header,
                                  std::string &fault);

// Samples grid (cols x rows nodes of dx, dy) at the nodes of a grid of
// newCols x newRows over the same picture, bilinearly between nodes and
// linearly past the last node, and scales the displacements to the new
// node counts.
// A node that falls on an old node takes its value exactly, times the scale.
void resampleGrid(const float *grid, int cols, int rows, float *out, int newCols, int newRows);

// Writes to `to` (replaced whole) the effect of `from` for pictures of
// width x height over `frames` frames: every grid resampled, key frames
// moved as the plug-ins move them when they load an effect into a clip of
// another length, levels kept. False with a message naming the file.
bool resizeEffectFile(const std::string &from, const std::string &to, int32_t width, int32_t height,
                      uint32_t frames, std::string &err);

#endif
