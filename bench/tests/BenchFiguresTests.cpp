#include "DiskTally.h"
#include "WritingRate.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using MorvaneBench::DiskTally;
using MorvaneBench::JournalStretch;
using MorvaneBench::RateOf;
using MorvaneBench::WriteSample;

TEST(BenchFigures, DiskTallyCountsLinkedFilesOnceWhenStored)
{
    struct Name {
        unsigned long volume;
        unsigned long long index;
        unsigned long long bytes;
    };
    struct Case {
        const char* what;
        std::vector<Name> names;
        unsigned long long namedBytes, storedBytes, files;
    };
    const Case cases[] = {
        {"nothing", {}, 0, 0, 0},
        {"two files", {{1, 10, 100}, {1, 11, 50}}, 150, 150, 2},
        {"three names of one file", {{1, 10, 100}, {1, 10, 100}, {1, 10, 100}}, 300, 100, 1},
        {"one index on two volumes is two files", {{1, 10, 100}, {2, 10, 70}}, 170, 170, 2},
        {"links among others", {{1, 10, 100}, {1, 11, 50}, {1, 10, 100}, {2, 10, 70}}, 320, 220, 3},
    };
    for (const Case& tested : cases) {
        DiskTally tally;
        for (const Name& name : tested.names) {
            tally.Add(name.volume, name.index, name.bytes);
        }
        EXPECT_EQ(tally.Names(), tested.names.size()) << tested.what;
        EXPECT_EQ(tally.NamedBytes(), tested.namedBytes) << tested.what;
        EXPECT_EQ(tally.StoredBytes(), tested.storedBytes) << tested.what;
        EXPECT_EQ(tally.Files(), tested.files) << tested.what;
    }
}

TEST(BenchFigures, WritingRateOfAStretchAndItsBusiestSecond)
{
    struct Case {
        const char* what;
        JournalStretch stretch;
        std::vector<WriteSample> samples;
        double linesPerSecond, msPerLine, msPerSecond, busiestBytes, busiestMs, writtenPerSecond;
    };
    const Case cases[] = {
        // 1,000 bytes a line at 0.05 ms; the busiest second grew 30 lines' worth.
        {"steady samples",
         {100, 100'000, 5.0, 10.0},
         {{0, 0, 0}, {1000, 30'000, 400'000}, {2000, 40'000, 600'000}},
         10.0, 0.05, 0.5, 30'000, 1.5, 300'000},
        // Growth over two seconds counts as its rate a second.
        {"a late sample",
         {100, 100'000, 5.0, 10.0},
         {{0, 0, 0}, {2000, 40'000, 100'000}},
         10.0, 0.05, 0.5, 20'000, 1.0, 50'000},
        {"writes unknown", {100, 100'000, 5.0, 10.0}, {{0, 0, -1}, {1000, 1000, -1}}, 10.0, 0.05, 0.5, 1000, 0.05, -1},
        {"no lines", {0, 0, 0.0, 10.0}, {{0, 0, 0}, {1000, 0, 500}}, 0, 0, 0, 0, 0, 500},
        {"one sample", {10, 5000, 1.0, 0.0}, {{0, 0, 0}}, 0, 0.1, 0, 0, 0, -1},
    };
    for (const Case& tested : cases) {
        const MorvaneBench::WritingRate rate = RateOf(tested.stretch, tested.samples);
        EXPECT_DOUBLE_EQ(rate.linesPerSecond, tested.linesPerSecond) << tested.what;
        EXPECT_DOUBLE_EQ(rate.msPerLine, tested.msPerLine) << tested.what;
        EXPECT_DOUBLE_EQ(rate.msPerSecond, tested.msPerSecond) << tested.what;
        EXPECT_DOUBLE_EQ(rate.busiestSecondBytes, tested.busiestBytes) << tested.what;
        EXPECT_NEAR(rate.busiestSecondMs, tested.busiestMs, 1e-9) << tested.what;
        EXPECT_DOUBLE_EQ(rate.writtenBytesPerSecond, tested.writtenPerSecond) << tested.what;
    }
}

} // namespace
