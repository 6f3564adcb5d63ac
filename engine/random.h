#pragma once
#include <cstdint>
#include <random>

// The one pseudo-random source of the game. A draw for range n maps the
// 32-bit output onto 0..n-1 by a multiply-shift, so a seed gives the same
// figures on every machine. It counts its draws since the seed, so that a
// game can be replayed from the seed and the draws made before it.
class TRandom {
public:
    explicit TRandom(std::uint32_t seed = 5489u) : Engine(seed), SeedValue(seed) {}
    void Seed(std::uint32_t seed)
    {
        Engine.seed(seed);
        SeedValue = seed;
        Drawn = 0;
    }
    std::uint32_t Draw(std::uint32_t range)
    {
        ++Drawn;
        return static_cast<std::uint32_t>((std::uint64_t(Engine()) * range) >> 32);
    }
    // Moves on as count draws would.
    void Skip(std::uint64_t count)
    {
        Engine.discard(count);
        Drawn += count;
    }
    std::uint32_t SeedGiven() const { return SeedValue; }
    std::uint64_t Draws() const { return Drawn; }

private:
    std::mt19937 Engine;
    std::uint32_t SeedValue;
    std::uint64_t Drawn = 0;
};
