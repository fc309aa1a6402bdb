// The generator's own random numbers: a fixed 32-bit generator, so the tree
// is the same on every build and host.
#pragma once
#include <cstdint>

class Rng {
public:
    explicit Rng(uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}
    uint32_t Next() {
        // xorshift32; never 0 while the seed state is not 0
        if (state_ == 0) state_ = 0x6D2B79F5u;
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    int Below(int n) { return n <= 0 ? 0 : int(Next() % uint32_t(n)); }
    int Between(int low, int high) { return low + Below(high - low + 1); }  // inclusive
    float Unit() { return float(Next() >> 8) / float(1 << 24); }              // [0, 1)
    bool Chance(int percent) { return Below(100) < percent; }

private:
    uint32_t state_;
};
