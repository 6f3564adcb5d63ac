#pragma once
// The text form of wells and figures used by the headless driver: 18 strings
// of 7 characters for the visible rows, 3 strings of 3 for a figure's box;
// '.' is empty, '1'..'6' a colour.

#include <string>

#include <nlohmann/json.hpp>

#include "engine/figure.h"
#include "engine/grid.h"
#include "tools/sim/input.h"
#include "tools/sim/well_rows.h"

// Fills the visible rows of a bordered well from its text.
void ParseStack(const nlohmann::json& text, Grid& well);
TFigure::Box ParseFigure(const nlohmann::json& text);
nlohmann::json StackText(const Grid& well);
nlohmann::json FigureText(const TFigure::Box& cells);
