// PNG reading and writing with libpng.
//
// libpng reports errors by longjmp-ing back to a setjmp point. To keep that
// well defined in C++, every function that calls setjmp owns no C++ objects with
// destructors and modifies no local variable it reads after the jump; buffers
// are allocated by the callers, and the libpng structures live in a small
// guard struct owned by the caller as well.
#include "host/io/png.h"

#include "host/core/pixels.h"
#include "host/io/tempfile.h"

#include <cerrno>
#include <csetjmp>
#include <cstring>

#include <png.h>

namespace vxh {

namespace {

struct PngMessage {
    char text[256] = {};
};

void onPngError(png_structp png, png_const_charp msg)
{
    auto *m = static_cast<PngMessage *>(png_get_error_ptr(png));
    if (m)
        std::snprintf(m->text, sizeof m->text, "%s", msg ? msg : "unknown libpng error");
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {} // warnings are not errors; stay quiet

struct PngReadGuard {
    PngMessage msg;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReadGuard()
    {
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

struct PngWriteGuard {
    PngMessage msg;
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWriteGuard()
    {
        if (png)
            png_destroy_write_struct(&png, info ? &info : nullptr);
    }
};

// Reads the header and sets up transforms so that every image arrives as 8-bit
// RGBA: palette -> RGB, gray -> RGB, low bit depths -> 8, tRNS -> alpha,
// 16-bit -> 8 (scaled with rounding), missing alpha -> 255, interlace undone.
bool readPngHeader(PngReadGuard &g, std::FILE *fp, png_uint_32 *w, png_uint_32 *h)
{
    if (setjmp(png_jmpbuf(g.png)))
        return false;
    png_init_io(g.png, fp);
    png_set_user_limits(g.png, kMaxFrameSide, kMaxFrameSide);
    png_read_info(g.png, g.info);
    const int colorType = png_get_color_type(g.png, g.info);
    const int depth = png_get_bit_depth(g.png, g.info);
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(g.png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(g.png);
    const bool trns = png_get_valid(g.png, g.info, PNG_INFO_tRNS) != 0;
    if (trns)
        png_set_tRNS_to_alpha(g.png);
    if (depth == 16)
        png_set_scale_16(g.png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(g.png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !trns)
        png_set_filler(g.png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(g.png);
    png_read_update_info(g.png, g.info);
    if (png_get_bit_depth(g.png, g.info) != 8 || png_get_channels(g.png, g.info) != 4 ||
        png_get_rowbytes(g.png, g.info) != size_t(png_get_image_width(g.png, g.info)) * 4)
        png_error(g.png, "unexpected pixel layout after conversion to 8-bit RGBA");
    *w = png_get_image_width(g.png, g.info);
    *h = png_get_image_height(g.png, g.info);
    return true;
}

bool readPngRows(PngReadGuard &g, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(g.png)))
        return false;
    png_read_image(g.png, rows);
    png_read_end(g.png, nullptr);
    return true;
}

// Encodes row by row through one caller-supplied RGBA row buffer.
bool writePngRows(PngWriteGuard &g, std::FILE *fp, int w, int h, const uint32_t *yuva,
                  png_bytep row)
{
    if (setjmp(png_jmpbuf(g.png)))
        return false;
    png_init_io(g.png, fp);
    png_set_IHDR(g.png, g.info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Frames are written in bulk; a lighter zlib level is several times faster
    // for only slightly larger files.
    png_set_compression_level(g.png, 3);
    png_write_info(g.png, g.info);
    for (int y = 0; y < h; ++y) {
        const uint32_t *src = yuva + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            png_bytep px = row + 4 * size_t(x);
            yuvaToRgba(src[x], px[0], px[1], px[2], px[3]);
        }
        png_write_row(g.png, row);
    }
    png_write_end(g.png, g.info);
    return true;
}

// Encodes packed RGB rows (the stand-in screen) as an RGB PNG.
bool writeRgbRows(PngWriteGuard &g, std::FILE *fp, int w, int h, const uint8_t *rgb)
{
    if (setjmp(png_jmpbuf(g.png)))
        return false;
    png_init_io(g.png, fp);
    png_set_IHDR(g.png, g.info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(g.png, g.info);
    for (int y = 0; y < h; ++y)
        png_write_row(g.png, const_cast<png_bytep>(rgb + size_t(y) * size_t(w) * 3));
    png_write_end(g.png, g.info);
    return true;
}

} // namespace

bool readPng(const std::string &path, int &w, int &h, std::vector<uint32_t> &yuva, std::string &err,
             int64_t maxPixels)
{
    std::FILE *fp = openRegularFile(path.c_str());
    if (!fp) {
        err = path +
              (errno == EISDIR   ? ": is a directory"
               : errno == EINVAL ? ": not a regular file"
                                 : ": cannot open: ") +
              (errno == EISDIR || errno == EINVAL ? "" : std::strerror(errno));
        return false;
    }
    struct Closer {
        std::FILE *fp;
        ~Closer() { std::fclose(fp); }
    } closer{fp};

    png_byte sig[8] = {};
    if (std::fread(sig, 1, 8, fp) != 8 || png_sig_cmp(sig, 0, 8) != 0) {
        err = path + ": not a PNG file";
        return false;
    }
    std::rewind(fp);

    PngReadGuard g;
    g.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &g.msg, onPngError, onPngWarning);
    if (g.png)
        g.info = png_create_info_struct(g.png);
    if (!g.png || !g.info) {
        err = path + ": out of memory initialising PNG reader";
        return false;
    }
    png_uint_32 pw = 0, ph = 0;
    if (!readPngHeader(g, fp, &pw, &ph)) {
        err = path + ": invalid PNG: " + g.msg.text;
        return false;
    }
    if (pw < 1 || ph < 1 || pw > png_uint_32(kMaxFrameSide) || ph > png_uint_32(kMaxFrameSide)) {
        err = path + ": unsupported PNG size " + std::to_string(pw) + "x" + std::to_string(ph);
        return false;
    }
    if (int64_t(pw) * int64_t(ph) > maxPixels) {
        err = path + ": pictures of " + std::to_string(pw) + "x" + std::to_string(ph) +
              " exceed the limit of " + std::to_string(maxPixels) +
              " pixels (--max-pixels N raises it)";
        return false;
    }
    const size_t n = size_t(pw) * size_t(ph);
    std::vector<png_byte> rgba(n * 4);
    std::vector<png_bytep> rows(ph);
    for (png_uint_32 y = 0; y < ph; ++y)
        rows[y] = rgba.data() + size_t(y) * size_t(pw) * 4;
    if (!readPngRows(g, rows.data())) {
        err = path + ": invalid PNG: " + g.msg.text;
        return false;
    }
    std::vector<uint32_t> px(n);
    for (size_t i = 0; i < n; ++i) {
        const png_byte *s = rgba.data() + 4 * i;
        px[i] = rgbaToYuva(s[0], s[1], s[2], s[3]);
    }
    w = int(pw);
    h = int(ph);
    yuva = std::move(px);
    return true;
}

bool writePngStream(std::FILE *fp, const std::string &name, int w, int h, const uint32_t *yuva,
                    std::string &err)
{
    // Sheets may be larger than frames; libpng's own default limit applies.
    constexpr int kMaxPngSide = 1000000;
    if (w < 1 || h < 1 || w > kMaxPngSide || h > kMaxPngSide || !yuva) {
        err = name + ": invalid image " + std::to_string(w) + "x" + std::to_string(h);
        return false;
    }
    PngWriteGuard g;
    g.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &g.msg, onPngError, onPngWarning);
    if (g.png)
        g.info = png_create_info_struct(g.png);
    if (!g.png || !g.info) {
        err = name + ": out of memory initialising PNG writer";
        return false;
    }
    std::vector<png_byte> row(size_t(w) * 4);
    if (!writePngRows(g, fp, w, h, yuva, row.data())) {
        err = name + ": cannot write PNG: " + g.msg.text;
        return false;
    }
    return true;
}

bool writePng(const std::string &path, int w, int h, const uint32_t *yuva, std::string &err)
{
    TempFile t;
    if (!openTemp(path, t, err))
        return false;
    const bool ok = writePngStream(t.fp, path, w, h, yuva, err) && commitTemp(t, err);
    discardTemp(t);
    return ok;
}

bool writePngRgb(const std::string &path, int w, int h, const uint8_t *rgb, std::string &err)
{
    if (w < 1 || h < 1 || !rgb) {
        err = path + ": invalid image " + std::to_string(w) + "x" + std::to_string(h);
        return false;
    }
    TempFile t;
    if (!openTemp(path, t, err))
        return false;
    PngWriteGuard g;
    g.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &g.msg, onPngError, onPngWarning);
    if (g.png)
        g.info = png_create_info_struct(g.png);
    bool ok = g.png && g.info;
    if (!ok)
        err = path + ": out of memory initialising PNG writer";
    if (ok && !writeRgbRows(g, t.fp, w, h, rgb)) {
        err = path + ": cannot write PNG: " + g.msg.text;
        ok = false;
    }
    ok = ok && closeTemp(t, err) && commitTemp(t, err);
    discardTemp(t);
    return ok;
}

} // namespace vxh
