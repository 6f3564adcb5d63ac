#include "drawing/well_picture.h"

#include <algorithm>
#include <cmath>

WellGeometry WellGeometry::Compute(int paintBoxHeight, int rows, int cols)
{
    WellGeometry g;
    g.CellSize = static_cast<int>(std::lround(double(paintBoxHeight - 1) / rows)) - 1;
    g.WellImageWidth = cols * (g.CellSize + 1) + 1;
    g.WellImageHeight = rows * (g.CellSize + 1) + 1;
    return g;
}

void ShadeTemplate(ColourValue colour, PixelView shading, PixelTarget picture)
{
    const std::uint32_t paint = PixelOf(colour);
    for (int y = 0; y < shading.Height; ++y)
        for (int x = 0; x < shading.Width; ++x)
            picture.At(x, y) = (paint & shading.At(x, y)) | 0xFF000000u;
}

namespace {

void FillSquare(PixelTarget image, int left, int top, int side, std::uint32_t pixel)
{
    for (int y = top; y < top + side; ++y)
        std::fill_n(&image.At(left, y), side, pixel);
}

}  // namespace

void DrawWell(PixelTarget image, const Grid& display, int colourMode, const CellColourValues& colours,
              const CellPictureViews& pictures, const WellGeometry& geometry)
{
    for (int y = 0; y < geometry.WellImageHeight; ++y)
        std::fill_n(&image.At(0, y), geometry.WellImageWidth, 0xFF000000u);
    const int side = geometry.CellSize;
    for (int row = 1; row < BorderRow; ++row) {
        for (int col = 1; col < BorderCol; ++col) {
            const std::uint8_t code = display[CellIndex(row, col)];
            if (code == CellEmpty)
                continue;
            const int left = geometry.CellLeft(col), top = geometry.CellTop(row);
            const bool known = code <= CellMarked;
            if (colourMode == 1 && known) {
                FillSquare(image, left, top, side, PixelOf(colours[code]));
            } else if ((colourMode == 2 || colourMode == 3) && known && !pictures[code].Null()) {
                // Each picture is one pitch wide and anchored at the image's
                // corner, so every cell shows the picture's pixels 1..CellSize
                // (no more than the picture has).
                const PixelView& picture = pictures[code];
                const int width = std::min(side, picture.Width - 1), height = std::min(side, picture.Height - 1);
                for (int y = 0; y < height; ++y)
                    std::copy_n(picture.Row(y + 1) + 1, std::max(width, 0), &image.At(left, top + y));
            } else {
                FillSquare(image, left, top, side, 0xFFFFFFFFu);
            }
        }
    }
}
