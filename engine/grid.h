#pragma once
// The well grid: 20 rows of 9 bytes, row 0 at the top. Columns 0 and 8 and
// row 19 hold the border; rows 1..18, columns 1..7 are the visible well and
// row 0 is a hidden row that always stays empty.

#include <array>
#include <cstdint>

constexpr int GridStride = 9;                  // bytes per row, fixed
constexpr int GridRowCount = 20;
constexpr int GridSize = GridStride * GridRowCount;  // 180
constexpr int BorderCol = 8;                   // Cols + 1
constexpr int BorderRow = 19;                  // Rows + 1

using Grid = std::array<std::uint8_t, GridSize>;

enum CellCode : std::uint8_t {
    CellEmpty = 0,
    CellMarked = 7,   // marked for removal during a landing cascade
    CellBorder = 8,
};

constexpr int CellIndex(int row, int col) { return row * GridStride + col; }
