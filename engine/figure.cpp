#include "figure.h"

const std::array<TFigure::Box, 4> TFigure::FigureShapes = {{
    {0, 1, 0, 0, 1, 0, 0, 1, 0},
    {0, 1, 0, 0, 1, 0, 0, 0, 0},
    {0, 1, 0, 0, 0, 0, 0, 0, 0},
    {0, 1, 0, 1, 1, 0, 0, 0, 0},
}};

void TFigure::Generate(TRandom& random, int x, int y)
{
    Cells.fill(0);
    const Box& shape = FigureShapes[random.Draw(4)];
    // Colours are drawn column by column, top to bottom within a column.
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            if (shape[r * 3 + c] != 0)
                Cells[r * 3 + c] = static_cast<std::uint8_t>(random.Draw(6) + 1);
    X = static_cast<std::uint8_t>(x);
    Y = static_cast<std::uint8_t>(y);
    RecomputeExtent();
}

bool TFigure::Fits(const Grid& grid, int x, int y, const Box& cells)
{
    // Empty box cells are never looked up, so they may hang past the border.
    const int base = CellIndex(y, x);
    if (InGrid(base) && InGrid(base + CellIndex(2, 2))) {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                if (cells[r * 3 + c] != 0 && grid[base + CellIndex(r, c)] != CellEmpty)
                    return false;
        return true;
    }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            if (cells[r * 3 + c] == 0)
                continue;
            const int index = CellIndex(y + r, x + c);
            if (!InGrid(index) || grid[index] != CellEmpty)
                return false;
        }
    return true;
}

bool TFigure::Rotate(const Grid& grid, bool clockwise)
{
    if (Cells[4] == 0)
        return true;  // the single cell never turns
    Box turned{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            turned[r * 3 + c] = clockwise ? Cells[(2 - c) * 3 + r] : Cells[c * 3 + (2 - r)];
    if (!Fits(grid, X, Y, turned))
        return false;
    Cells = turned;
    RecomputeExtent();
    return true;
}

void TFigure::Assign(const TFigure& source)
{
    Cells = source.Cells;
    X = source.X;
    Y = source.Y;
    Width = source.Width;
    Height = source.Height;
}

void TFigure::StampInto(Grid& grid) const
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const std::uint8_t cell = Cells[r * 3 + c];
            if (cell == 0)
                continue;
            const int index = CellIndex(Y + r, X + c);
            if (InGrid(index))
                grid[index] = cell;
        }
}

void TFigure::RecomputeExtent()
{
    std::uint8_t width = 0, height = 0;
    for (int i = 0; i < 3; ++i) {
        if (Cells[i] | Cells[3 + i] | Cells[6 + i])
            ++width;
        if (Cells[i * 3] | Cells[i * 3 + 1] | Cells[i * 3 + 2])
            ++height;
    }
    Width = width;
    Height = height;
}
