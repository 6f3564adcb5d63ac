#pragma once
// The Windows colour value the window design and the options file speak,
// and its conversions to and from Qt's colours.

#include <QColor>
#include <cstdint>

// Windows colour value 0x00BBGGRR (red in the low byte).
using WinColour = std::uint32_t;

QColor ToQColor(WinColour colour);
// The colour's red, green and blue; the alpha is dropped.
WinColour FromQColor(const QColor& colour);
