#include "well_text.h"

namespace {

// Reads an array of `rows` strings, string r into the cells that row(r)
// gives, one character for each cell.
template <typename Row>
void ParseRows(const nlohmann::json& text, int rows, const char* what, Row row)
{
    if (!text.is_array())
        throw InputError(std::string(what) + " must be an array of strings");
    if (text.size() != static_cast<std::size_t>(rows))
        throw InputError(std::string(what) + " must have " + std::to_string(rows) + " rows, not " +
                         std::to_string(text.size()));
    for (int r = 0; r < rows; ++r) {
        const nlohmann::json& line = text[r];
        if (!line.is_string())
            throw InputError(std::string(what) + " row " + std::to_string(r + 1) + " is not a string");
        if (const auto wrong = ReadCellRow(line.get_ref<const std::string&>(), row(r), HighestColour))
            throw InputError(std::string(what) + " row " + std::to_string(r + 1) + " " + *wrong);
    }
}

}  // namespace

void ParseStack(const nlohmann::json& text, Grid& well)
{
    ParseRows(text, VisibleRows, "stack",
              [&](int r) { return std::span(well).subspan(CellIndex(r + 1, 1), VisibleCols); });
}

TFigure::Box ParseFigure(const nlohmann::json& text)
{
    TFigure::Box cells{};
    ParseRows(text, 3, "figure", [&](int r) { return std::span(cells).subspan(r * 3, 3); });
    return cells;
}

nlohmann::json StackText(const Grid& well)
{
    nlohmann::json rows = nlohmann::json::array();
    for (int r = 1; r <= VisibleRows; ++r)
        rows.push_back(CellRowText(std::span(well).subspan(CellIndex(r, 1), VisibleCols)));
    return rows;
}

nlohmann::json FigureText(const TFigure::Box& cells)
{
    nlohmann::json rows = nlohmann::json::array();
    for (int r = 0; r < 3; ++r)
        rows.push_back(CellRowText(std::span(cells).subspan(r * 3, 3)));
    return rows;
}
