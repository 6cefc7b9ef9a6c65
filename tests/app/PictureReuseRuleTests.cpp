// Which earlier window picture a new one may be a further name of: the key of the bytes, and the
// bounded table of the pictures last written, newest kept, oldest forgotten.

#include "capture/PictureReuseRule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Morvane::MakePictureKey;
using Morvane::PictureKey;
using Morvane::RememberedPictures;

PictureKey KeyOf(const std::string& bytes)
{
    return MakePictureKey(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(PictureReuseRule, KeyIsTheFnv1aHashOfTheBytesAndTheirLength)
{
    const struct {
        std::string bytes;
        unsigned long long hash;
    } cases[] = {
        // The published 64-bit FNV-1a values.
        {"", 0xcbf29ce484222325ULL},
        {"a", 0xaf63dc4c8601ec8cULL},
        {"foobar", 0x85944171f73967e8ULL},
        {std::string("\0", 1), 0xaf63bd4c8601b7dfULL},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.bytes);
        const PictureKey key = KeyOf(example.bytes);
        EXPECT_EQ(key.hash, example.hash);
        EXPECT_EQ(key.length, example.bytes.size());
    }
    // One byte changed, or moved, is another key.
    EXPECT_FALSE(KeyOf("\xFF\xD8 picture") == KeyOf("\xFF\xD8 pictura"));
    EXPECT_FALSE(KeyOf("ab") == KeyOf("ba"));
}

// A run of steps on one table: remember a picture under a file, then what each key finds.
TEST(PictureReuseRule, TableFindsTheNewestFileOfAKeyAndForgetsTheOldest)
{
    struct Step {
        const char* remember; // bytes remembered now, under the file name
        const wchar_t* file;
        std::vector<std::pair<const char*, const wchar_t*>> finds; // bytes -> file found (null: none)
        size_t size;
    };
    const struct {
        const char* why;
        size_t limit;
        std::vector<Step> steps;
    } cases[] = {
        {"nothing remembered", 3, {{nullptr, nullptr, {{"menu", nullptr}}, 0}}},
        {"a picture is found again, another is not",
         3,
         {{"menu", L"a\\w.jpg", {{"menu", L"a\\w.jpg"}, {"tooltip", nullptr}, {"men", nullptr}}, 1}}},
        {"a copy written for a key takes its later links",
         3,
         {{"menu", L"a\\w.jpg", {}, 1}, {"menu", L"b\\w.jpg", {{"menu", L"b\\w.jpg"}}, 1}}},
        {"past the limit the oldest is forgotten",
         2,
         {{"one", L"1", {}, 1},
          {"two", L"2", {}, 2},
          {"three", L"3", {{"one", nullptr}, {"two", L"2"}, {"three", L"3"}}, 2}}},
        {"a picture remembered again is the newest and outlives those after it",
         2,
         {{"one", L"1", {}, 1},
          {"two", L"2", {}, 2},
          {"one", L"1", {}, 2},
          {"three", L"3", {{"one", L"1"}, {"two", nullptr}, {"three", L"3"}}, 2}}},
        {"a table of no pictures remembers none", 0, {{"one", L"1", {{"one", nullptr}}, 0}}},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.why);
        RememberedPictures table(example.limit);
        for (const Step& step : example.steps) {
            if (step.remember != nullptr) {
                table.Remember(KeyOf(step.remember), step.file);
            }
            for (const auto& [bytes, file] : step.finds) {
                SCOPED_TRACE(bytes);
                const std::wstring* found = table.Find(KeyOf(bytes));
                if (file == nullptr) {
                    EXPECT_EQ(found, nullptr);
                } else {
                    ASSERT_NE(found, nullptr);
                    EXPECT_EQ(*found, file);
                }
            }
            EXPECT_EQ(table.Size(), step.size);
        }
    }
}

// A long run holds no more than the 256 last distinct pictures, the one before them gone.
TEST(PictureReuseRule, TableStaysWithinTheDefaultLimitWhateverTheRunsLength)
{
    RememberedPictures table;
    const size_t pictures = Morvane::kRememberedPictures * 4 + 1;
    for (size_t index = 0; index < pictures; ++index) {
        table.Remember(KeyOf(std::to_string(index)), std::to_wstring(index));
    }
    EXPECT_EQ(table.Size(), Morvane::kRememberedPictures);
    EXPECT_EQ(table.Find(KeyOf(std::to_string(pictures - Morvane::kRememberedPictures - 1))), nullptr);
    EXPECT_NE(table.Find(KeyOf(std::to_string(pictures - Morvane::kRememberedPictures))), nullptr);
}

} // namespace
