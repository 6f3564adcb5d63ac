#include "well_text.h"

namespace {

// Reads an array of `rows` strings of `cols` cell characters into `put`.
template <typename Put>
void ParseRows(const nlohmann::json& text, int rows, int cols, const char* what, Put put)
{
    if (!text.is_array())
        throw InputError(std::string(what) + " must be an array of strings");
    if (text.size() != static_cast<std::size_t>(rows))
        throw InputError(std::string(what) + " must have " + std::to_string(rows) + " rows, not " +
                         std::to_string(text.size()));
    for (int r = 0; r < rows; ++r) {
        const nlohmann::json& row = text[r];
        if (!row.is_string())
            throw InputError(std::string(what) + " row " + std::to_string(r + 1) + " is not a string");
        const std::string& s = row.get_ref<const std::string&>();
        if (s.size() != static_cast<std::size_t>(cols))
            throw InputError(std::string(what) + " row " + std::to_string(r + 1) + " must have " +
                             std::to_string(cols) + " characters");
        for (int c = 0; c < cols; ++c) {
            const char ch = s[c];
            if (ch == '.')
                put(r, c, 0);
            else if (ch >= '1' && ch <= '6')
                put(r, c, static_cast<std::uint8_t>(ch - '0'));
            else
                throw InputError(std::string(what) + " row " + std::to_string(r + 1) +
                                 " has a character other than '.' and '1'..'6'");
        }
    }
}

char CellChar(std::uint8_t cell)
{
    return cell >= 1 && cell <= 6 ? static_cast<char>('0' + cell) : '.';
}

}  // namespace

void ParseStack(const nlohmann::json& text, Grid& well)
{
    ParseRows(text, 18, 7, "stack", [&](int r, int c, std::uint8_t cell) { well[CellIndex(r + 1, c + 1)] = cell; });
}

TFigure::Box ParseFigure(const nlohmann::json& text)
{
    TFigure::Box cells{};
    ParseRows(text, 3, 3, "figure", [&](int r, int c, std::uint8_t cell) { cells[r * 3 + c] = cell; });
    return cells;
}

nlohmann::json StackText(const Grid& well)
{
    nlohmann::json rows = nlohmann::json::array();
    for (int r = 1; r <= 18; ++r) {
        std::string row(7, '.');
        for (int c = 1; c <= 7; ++c)
            row[c - 1] = CellChar(well[CellIndex(r, c)]);
        rows.push_back(row);
    }
    return rows;
}

nlohmann::json FigureText(const TFigure::Box& cells)
{
    nlohmann::json rows = nlohmann::json::array();
    for (int r = 0; r < 3; ++r) {
        std::string row(3, '.');
        for (int c = 0; c < 3; ++c)
            row[c] = CellChar(cells[r * 3 + c]);
        rows.push_back(row);
    }
    return rows;
}
