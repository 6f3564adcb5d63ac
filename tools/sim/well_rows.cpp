#include "well_rows.h"

std::optional<std::string> ReadCellRow(std::string_view text, std::span<std::uint8_t> cells, std::uint8_t highest)
{
    if (text.size() != cells.size())
        return "must have " + std::to_string(cells.size()) + " characters";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '.')
            cells[i] = CellEmpty;
        else if (ch >= '1' && ch <= '0' + highest)
            cells[i] = static_cast<std::uint8_t>(ch - '0');
        else
            return std::string("has a character other than '.' and '1'..'") + char('0' + highest) + "'";
    }
    return std::nullopt;
}

char CellChar(std::uint8_t cell)
{
    if (cell == CellEmpty)
        return '.';
    if (cell <= CellMarked)
        return static_cast<char>('0' + cell);
    return cell == CellBorder ? '#' : '?';
}

std::string CellRowText(std::span<const std::uint8_t> cells)
{
    std::string text;
    for (const std::uint8_t cell : cells)
        text += CellChar(cell);
    return text;
}
