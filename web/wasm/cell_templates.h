#pragma once
// The seven greyscale cell templates, converted from the resources when the
// web edition is built.

#include <array>
#include <cstdint>

struct CellTemplate {
    std::array<std::uint32_t, 31 * 31> Pixels;   // 0xAARRGGBB, top row first
};
extern const CellTemplate CellTemplates[7];   // BMP_1 .. BMP_7
