#pragma once
// The text form of well rows: one character a cell, '.' for empty, '1'..'6'
// for a colour and, where marks are allowed, '7' for a cell marked for
// removal. The headless driver reads its input with it and the tests write
// their wells with it, so both mean the same by the same text.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/grid.h"

// The highest cell code a text may hold.
constexpr std::uint8_t HighestColour = 6;
constexpr std::uint8_t HighestWithMarks = CellMarked;

// Reads one row of text into cells, one character for each cell. Returns
// what is wrong with a row of the wrong length or with another character;
// cells are then left partly written.
std::optional<std::string> ReadCellRow(std::string_view text, std::span<std::uint8_t> cells, std::uint8_t highest);

// The character of a cell: '.', '1'..'7', '#' for the border, '?' otherwise.
char CellChar(std::uint8_t cell);
std::string CellRowText(std::span<const std::uint8_t> cells);
