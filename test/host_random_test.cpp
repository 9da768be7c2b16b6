// The random sequence: reproducible from a seed, uniform in [0, 1), and exact queued
// values ahead of it.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "host/headless.h"
#include "host/host.h"

namespace {

std::vector<double> take(int count) {
    std::vector<double> values;
    for (int i = 0; i < count; ++i) values.push_back(randomUnit(1.0f));
    return values;
}

class Random : public ::testing::Test {
protected:
    void SetUp() override { headlessReset(); }
    void TearDown() override { headlessReset(); }
};

TEST_F(Random, SameSeedGivesTheSameSequence) {
    headlessSeedRandom(42);
    auto first = take(100);
    headlessSeedRandom(42);
    EXPECT_EQ(take(100), first);
    headlessSeedRandom(43);
    EXPECT_NE(take(100), first);
}

TEST_F(Random, EveryRunStartsFromTheSameSequence) {
    auto first = take(20);
    headlessReset();
    EXPECT_EQ(take(20), first);
}

TEST_F(Random, ValuesAreUniformInTheUnitInterval) {
    constexpr int kSamples = 200000;
    constexpr int kBuckets = 16;
    std::array<int, kBuckets> counts{};
    double sum = 0;
    bool sawFineBits = false;  // a value that a 32-bit generator could not give
    for (int i = 0; i < kSamples; ++i) {
        double r = randomUnit(1.0f);
        ASSERT_GE(r, 0.0);
        ASSERT_LT(r, 1.0);
        sum += r;
        ++counts[static_cast<int>(r * kBuckets)];
        double scaled = r * 4294967296.0;
        if (scaled != static_cast<double>(static_cast<uint64_t>(scaled))) sawFineBits = true;
    }
    EXPECT_NEAR(sum / kSamples, 0.5, 0.005);
    for (int count : counts) EXPECT_NEAR(count, kSamples / kBuckets, kSamples / kBuckets * 0.05);
    EXPECT_TRUE(sawFineBits);
}

TEST_F(Random, QueuedValuesComeFirstThenTheSequenceGoesOn) {
    headlessSeedRandom(7);
    auto sequence = take(3);
    headlessSeedRandom(7);
    headlessQueueRandom(0.1875);
    headlessQueueRandom(0.9375);
    headlessQueueRandom(0.0);
    EXPECT_EQ(randomUnit(1.0f), 0.1875);
    EXPECT_EQ(randomUnit(1.0f), 0.9375);
    EXPECT_EQ(randomUnit(1.0f), 0.0);
    EXPECT_EQ(take(3), sequence);
}

TEST_F(Random, SeedingDropsQueuedValues) {
    headlessSeedRandom(9);
    double first = randomUnit(1.0f);
    headlessQueueRandom(0.5);
    headlessSeedRandom(9);
    EXPECT_EQ(randomUnit(1.0f), first);
}

}  // namespace
