#include "RunDriver.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(OutputDirectory, NameFollowsTheStartTime)
{
    SYSTEMTIME time{};
    time.wYear = 2024;
    time.wMonth = 3;
    time.wDay = 5;
    time.wHour = 8;
    time.wMinute = 7;
    time.wSecond = 9;
    time.wMilliseconds = 70;
    EXPECT_EQ(Morvane::MakeOutputDirectory(L"C:\\Tools", time, 123456, 2841530716u),
              L"C:\\Tools\\Morvane\\Output\\20240305-080709-70-123456-2841530716");
    time.wMilliseconds = 5;
    EXPECT_EQ(Morvane::MakeOutputDirectory(L".", time, 0, 0), L".\\Morvane\\Output\\20240305-080709-5-0-0");
}

TEST(EnumerationAdapter, PassesWindowAndUserPointerAndReturnsTheStepsAnswer)
{
    int user = 0;
    HWND seen = nullptr;
    void* seenUser = nullptr;
    Morvane::EnumerationContext context{[&](HWND window, void* pointer) {
                                            seen = window;
                                            seenUser = pointer;
                                            return false;
                                        },
                                        &user};
    const HWND desktop = ::GetDesktopWindow();
    EXPECT_EQ(Morvane::EnumerateWindowsAdapter(desktop, reinterpret_cast<LPARAM>(&context)), FALSE);
    EXPECT_EQ(seen, desktop);
    EXPECT_EQ(seenUser, &user);

    context.step = [](HWND, void*) { return true; };
    EXPECT_EQ(Morvane::EnumerateWindowsAdapter(desktop, reinterpret_cast<LPARAM>(&context)), TRUE);
}

TEST(EnumerationAdapter, EmptyStepIsAProgrammingError)
{
    Morvane::EnumerationContext context{};
    EXPECT_THROW(Morvane::EnumerateWindowsAdapter(::GetDesktopWindow(), reinterpret_cast<LPARAM>(&context)),
                 std::bad_function_call);
}

} // namespace
