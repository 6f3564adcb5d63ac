#pragma once
// The well as pixels, without a toolkit: its geometry, the cell pictures
// made from greyscale templates, and the picture of one Display grid. The
// window draws into its own images through these, the web edition into a
// canvas's, so both show the same pixels.

#include <array>
#include <cstdint>

#include "engine/grid.h"

// A colour as the options keep it: 0x00BBGGRR.
using ColourValue = std::uint32_t;
// A pixel: 0xAARRGGBB, alpha always 0xFF.
constexpr std::uint32_t PixelOf(ColourValue colour)
{
    return 0xFF000000u | (colour & 0xFFu) << 16 | (colour & 0xFF00u) | (colour >> 16 & 0xFFu);
}

// Pixels of someone else's image, row after row, Stride pixels apart.
struct PixelView {
    const std::uint32_t* Pixels = nullptr;
    int Width = 0, Height = 0, Stride = 0;
    bool Null() const { return Pixels == nullptr || Width <= 0 || Height <= 0; }
    const std::uint32_t* Row(int y) const { return Pixels + std::size_t(y) * std::size_t(Stride); }
    std::uint32_t At(int x, int y) const { return Row(y)[x]; }
};
struct PixelTarget {
    std::uint32_t* Pixels = nullptr;
    int Width = 0, Height = 0, Stride = 0;
    std::uint32_t& At(int x, int y) const { return Pixels[std::size_t(y) * std::size_t(Stride) + std::size_t(x)]; }
};

struct WellGeometry {
    int CellSize = 30;
    int WellImageWidth = 218;
    int WellImageHeight = 559;

    // From the paint box's height and the well's rows and columns.
    static WellGeometry Compute(int paintBoxHeight, int rows, int cols);
    int Pitch() const { return CellSize + 1; }
    // The top-left pixel of cell (row 1.., column 1..) in the well picture.
    int CellLeft(int col) const { return (col - 1) * Pitch() + 1; }
    int CellTop(int row) const { return (row - 1) * Pitch() + 1; }
};

// A cell picture: the colour ANDed, channel by channel, with each pixel of
// the shading template; the target has the template's size.
void ShadeTemplate(ColourValue colour, PixelView shading, PixelTarget picture);

// Colours (index 1..7) and pictures (index 1..7) of the cell codes.
using CellColourValues = std::array<ColourValue, 8>;
using CellPictureViews = std::array<PixelView, 8>;

// The whole well into a target of the geometry's size: black, with every
// occupied visible cell filled by its colour (mode 1), by the part of its
// picture that one pitch shows (modes 2 and 3), or white (any other mode,
// or a picture not built yet).
void DrawWell(PixelTarget image, const Grid& display, int colourMode, const CellColourValues& colours,
              const CellPictureViews& pictures, const WellGeometry& geometry);
