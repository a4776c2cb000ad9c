// A recording stand-in for the host's screen, meter, requesters and input
// fields: every drawing call is kept with its coordinates and colour.
#ifndef VX_FAKE_SCREEN_H
#define VX_FAKE_SCREEN_H

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct ScreenCall {
    std::string name;             // fill, line, pixel, rect, box, picture
    int x0, y0, x1, y1;           // corners; x, y, w, h of a picture
    int mode;                     // fill and box mode; bytes per row of a picture
    uint32_t colour;              // colour set when the call was made
    std::vector<uint32_t> pixels; // picture content
};

struct FakeScreen {
    std::vector<ScreenCall> calls;
    uint32_t colour = 0;
    std::vector<std::string> meter; // "open N", "update W S", "close"
    // Input fields: width x height, pixel value fieldValue(input, frame, i).
    int fieldWidth = 0, fieldHeight = 0;
    std::set<uint32_t> missingFrames;
    int liveImages = 0;
    int textAnswer = 1;
    std::vector<std::string> texts;

    std::vector<ScreenCall> named(const std::string &name) const;
};

// Distinct colours per palette (0 classic, 1 new) and number.
inline uint32_t fakeGuiColour(int palette, int n)
{
    return 0xC0000000u | (uint32_t)palette << 16 | (uint32_t)n;
}
// Pixel i of an input field of frame: differs per input, frame and pixel.
inline uint32_t fieldValue(int input, uint32_t frame, int i)
{
    return (0x01010101u * (uint32_t)(frame * 16 + input * 7)) ^
           ((uint32_t)i * 0x9E3779B1u & 0x0F0F0F0Fu);
}

// Installs the fake on top of the current services table.
void installFakeScreen(FakeScreen &screen);

#endif
