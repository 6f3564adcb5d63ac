#pragma once
// Drawing of the well in Qt images: the colour table, the cell pictures
// made from greyscale templates, and the picture of one Display grid; the
// pixels themselves come from drawing/, as the web edition's do.

#include <QColor>
#include <QImage>
#include <QRect>
#include <array>
#include <cstdint>

#include "drawing/well_picture.h"
#include "engine/grid.h"
#include "platform/win_colour.h"
#include "storage/options_file.h"

// Colours of cell codes 1..7 (index 0 unused); code 7 stays black.
using ColourTable = std::array<WinColour, 8>;
// Pictures of cell codes 1..7 (index 0 unused); null until first built.
using CellPictures = std::array<QImage, 8>;

// The cell colours of the built-in options; code 7 black.
ColourTable DefaultColourTable();
inline const ColourTable DefaultColours = DefaultColourTable();
// The window's background at every start and after the default colours.
constexpr WinColour DefaultBackground = 0x6A6A6A;

// The square of cell (row 1.., column 1..) in the well picture.
inline QRect CellRect(const WellGeometry& geometry, int row, int col)
{
    return QRect(geometry.CellLeft(col), geometry.CellTop(row), geometry.CellSize, geometry.CellSize);
}

// A cell picture: the colour ANDed, channel by channel, with each pixel of
// the shading template.
QImage ShadeTemplate(WinColour colour, const QImage& shading);

// The whole well: black, with every occupied visible cell filled by its
// colour (mode 1), by the part of its picture that one pitch shows (modes 2
// and 3), or white (any other mode, or a picture not built yet).
QImage RenderWell(const Grid& display, int colourMode, const ColourTable& colours, const CellPictures& pictures,
                  const WellGeometry& geometry);
// The same, drawn over an image kept from before (made anew only when its
// size is not the well's).
void RenderWellInto(QImage& image, const Grid& display, int colourMode, const ColourTable& colours,
                    const CellPictures& pictures, const WellGeometry& geometry);
