#include <random>

#include "test_support.h"

int Rand(int lo, int hi) {
    static std::mt19937 rng(kRandSeed);
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}
