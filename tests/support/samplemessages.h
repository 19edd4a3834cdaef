#pragma once

// Realistic messages for tests and benchmarks: an iteration of a circuit
// optimization with goals whose traces run over frequency.

#include "model/optimitermessages.h"

struct SampleSize
{
    int goals = 5;
    int tracesPerGoal = 1;
    int pointsPerTrace = 51;
    int variables = 10;
};

OptimModelInput sampleModelInput(const SampleSize &size);
OptimIter sampleIteration(const SampleSize &size, int iteration);
