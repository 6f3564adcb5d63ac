#include "win_colour.h"

QColor ToQColor(WinColour colour)
{
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

WinColour FromQColor(const QColor& colour)
{
    return WinColour(colour.red()) | WinColour(colour.green()) << 8 | WinColour(colour.blue()) << 16;
}
