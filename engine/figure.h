#pragma once
#include <array>
#include <cstdint>

#include "grid.h"
#include "random.h"

// A falling figure: a 3 x 3 box of cell codes placed with its top-left cell
// on grid cell (Y, X). Box cell (r, c) is Cells[r * 3 + c].
class TFigure {
public:
    using Box = std::array<std::uint8_t, 9>;

    std::uint8_t Width = 0;    // box columns holding a cell
    std::uint8_t Height = 0;   // box rows holding a cell
    Box Cells{};
    std::uint8_t X = 0;
    std::uint8_t Y = 0;

    // The four shape templates: vertical three, vertical two, single, corner.
    static const std::array<Box, 4> FigureShapes;

    void Generate(TRandom& random, int x, int y);
    static bool Fits(const Grid& grid, int x, int y, const Box& cells);
    bool Rotate(const Grid& grid, bool clockwise);
    void Assign(const TFigure& source);
    void StampInto(Grid& grid) const;
    void RecomputeExtent();
};
