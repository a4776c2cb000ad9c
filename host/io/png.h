// PNG pictures: host pixels in and out through the BT.601 studio-range
// matrices, written atomically.
#ifndef VXH_PNG_H
#define VXH_PNG_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vxh {

// Reads one PNG into w*h packed YUVA pixels.
// Pictures of more than maxPixels are refused before any allocation.
bool readPng(const std::string &path, int &w, int &h, std::vector<uint32_t> &yuva, std::string &err,
             int64_t maxPixels = INT64_MAX);
// YUVA -> 8-bit RGBA PNG, written to a temporary renamed into place.
bool writePng(const std::string &path, int w, int h, const uint32_t *yuva, std::string &err);
// Packed RGB bytes (3 per pixel) -> RGB PNG, written atomically.
bool writePngRgb(const std::string &path, int w, int h, const uint8_t *rgb, std::string &err);
// Encodes one PNG to an open stream; `name` is used in error messages only.
bool writePngStream(std::FILE *fp, const std::string &name, int w, int h, const uint32_t *yuva,
                    std::string &err);

} // namespace vxh

#endif
