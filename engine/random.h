#pragma once
#include <cstdint>
#include <random>

// The one pseudo-random source of the game. A draw for range n maps the
// 32-bit output onto 0..n-1 by a multiply-shift, so a seed gives the same
// figures on every machine.
class TRandom {
public:
    explicit TRandom(std::uint32_t seed = 5489u) : Engine(seed) {}
    void Seed(std::uint32_t seed) { Engine.seed(seed); }
    std::uint32_t Draw(std::uint32_t range) {
        return static_cast<std::uint32_t>((std::uint64_t(Engine()) * range) >> 32);
    }

private:
    std::mt19937 Engine;
};
