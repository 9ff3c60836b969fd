#pragma once

#include <cstdint>
#include <random>

namespace b6409 {

// The pseudo-random numbers that fill a test mapping table. Injected so that a run can be
// replayed from a script.
class RandomSource {
  public:
    virtual ~RandomSource() = default;
    virtual void Seed(uint32_t seed) = 0;
    virtual uint32_t Next() = 0;
};

// The program's generator: a 32-bit Mersenne twister, so Next() covers the whole range 0 to
// 0xFFFFFFFF. The fill formulas wrap in 32 bits and mask to the ID width, so a full 32-bit draw
// reaches every 11-bit and 29-bit value.
class TwisterRandomSource : public RandomSource {
  public:
    void Seed(uint32_t seed) override { engine_.seed(seed); }
    uint32_t Next() override { return static_cast<uint32_t>(engine_()); }

  private:
    std::mt19937 engine_;
};

}  // namespace b6409
