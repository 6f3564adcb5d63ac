#pragma once
// The well grid: 20 rows of 9 bytes, row 0 at the top. Columns 0 and 8 and
// row 19 hold the border; rows 1..18, columns 1..7 are the visible well and
// row 0 is a hidden row that always stays empty.

#include <array>
#include <cstdint>

constexpr int GridStride = 9;                  // bytes per row, fixed
constexpr int GridRowCount = 20;
constexpr int GridSize = GridStride * GridRowCount;  // 180
constexpr int VisibleRows = 18;                // rows 1..18
constexpr int VisibleCols = 7;                 // columns 1..7
constexpr int BorderCol = VisibleCols + 1;     // 8
constexpr int BorderRow = VisibleRows + 1;     // 19

using Grid = std::array<std::uint8_t, GridSize>;

enum CellCode : std::uint8_t {
    CellEmpty = 0,
    CellMarked = 7,   // marked for removal during a landing cascade
    CellBorder = 8,
};

constexpr int CellIndex(int row, int col) { return row * GridStride + col; }

constexpr bool InGrid(int index) { return index >= 0 && index < GridSize; }

// A grid cell, or empty when the place lies outside the grid. A column past
// the border wraps into the next row's border, as the flat index does.
constexpr std::uint8_t CellAt(const Grid& grid, int row, int col)
{
    const int index = CellIndex(row, col);
    return InGrid(index) ? grid[index] : std::uint8_t(CellEmpty);
}

// The four directions a line of one colour runs in, as index steps: across,
// down, down-right, up-right. Stepping by index wraps at the sides, but the
// border columns and the empty row 0 hold no colour, so no line crosses them.
constexpr int StepAcross = 1;
constexpr int StepDown = GridStride;
constexpr int StepDownRight = GridStride + 1;
constexpr int StepUpRight = -GridStride + 1;
constexpr std::array<int, 4> LineSteps = {StepAcross, StepDown, StepDownRight, StepUpRight};

// Whether the row holds nothing in columns 1..7.
constexpr bool RowEmpty(const Grid& grid, int row)
{
    for (int col = 1; col < BorderCol; ++col)
        if (grid[CellIndex(row, col)] != CellEmpty)
            return false;
    return true;
}

constexpr bool IsColour(std::uint8_t cell) { return cell != CellEmpty && cell < CellMarked; }

// Whether a line of three equal colours starts at index and runs along step.
constexpr bool StartsLine(const Grid& grid, int index, int step)
{
    const int third = index + 2 * step;
    // The middle cell lies between the two ends, so it is inside too.
    return InGrid(index) && InGrid(third) && IsColour(grid[index]) && grid[index + step] == grid[index] &&
           grid[third] == grid[index];
}
