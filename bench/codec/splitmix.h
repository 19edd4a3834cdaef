#pragma once

// A small, fast, seedable generator for the codec benches' random inputs:
// the same seed gives the same numbers on every machine.

#include <cstdint>

struct SplitMix
{
    std::uint64_t state;
    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
        z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
        return z ^ (z >> 31);
    }
    int between(int low, int high) { return low + int(next() % std::uint64_t(high - low + 1)); }
};
