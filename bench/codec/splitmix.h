#pragma once

// A small, fast, seedable generator for the codec benches' random inputs:
// the same seed gives the same numbers on every machine.

#include <cstdint>
#include <cstdlib>

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

// The proof benches' command line, "[COUNT [SEED]]": how many random cases
// (1e8 unless given; "1e7" is accepted) and the generator's seed.
struct ProofArguments
{
    std::uint64_t count = 100000000;
    std::uint64_t seed = 20261207;
};

inline ProofArguments proofArguments(int argc, char **argv)
{
    ProofArguments arguments;
    if (argc > 1)
        arguments.count = std::uint64_t(std::strtod(argv[1], nullptr));
    if (argc > 2)
        arguments.seed = std::strtoull(argv[2], nullptr, 0);
    return arguments;
}
