#include "CommandLine.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

namespace {

using Morvane::CommandAction;

// The arguments as one line, each in brackets, for the failure messages.
std::string Spelled(const std::vector<std::wstring>& arguments)
{
    std::wstring line;
    for (const std::wstring& argument : arguments) {
        line += L"[" + argument + L"]";
    }
    return std::string(line.begin(), line.end());
}

// A plan without an error when errorNames is null, else one whose error names it.
void ExpectError(const Morvane::CommandPlan& plan, const wchar_t* errorNames)
{
    if (errorNames == nullptr) {
        EXPECT_TRUE(plan.error.empty());
    } else {
        EXPECT_NE(plan.error.find(errorNames), std::wstring::npos);
    }
}

struct ArgumentCase {
    std::vector<std::wstring> arguments;
    CommandAction action;
    unsigned long long watchSeconds;
    const wchar_t* errorNames; // a part of the error text: the argument refused; null when accepted
};

TEST(CommandLine, ArgumentsGiveTheirPlan)
{
    const ArgumentCase cases[] = {
        {{}, CommandAction::Snapshot, 0, nullptr},
        {{L"--watch"}, CommandAction::Watch, 0, nullptr},
        {{L"/watch"}, CommandAction::Watch, 0, nullptr},
        {{L"--WATCH"}, CommandAction::Watch, 0, nullptr},
        {{L"--watch", L"--for", L"45s"}, CommandAction::Watch, 45, nullptr},
        {{L"--for", L"10m", L"--watch"}, CommandAction::Watch, 600, nullptr},
        {{L"/watch", L"/for", L"2h"}, CommandAction::Watch, 7200, nullptr},
        {{L"--watch", L"--for", L"90"}, CommandAction::Watch, 90, nullptr},
        {{L"--watch", L"--for", L"1"}, CommandAction::Watch, 1, nullptr},
        {{L"--watch", L"--for", L"168h"}, CommandAction::Watch, 604800, nullptr},
        {{L"--watch", L"--for", L"604800s"}, CommandAction::Watch, 604800, nullptr},
        {{L"--stop"}, CommandAction::Stop, 0, nullptr},
        {{L"/stop"}, CommandAction::Stop, 0, nullptr},
        {{L"--help"}, CommandAction::Help, 0, nullptr},
        {{L"/?"}, CommandAction::Help, 0, nullptr},
        {{L"--watch", L"/help"}, CommandAction::Help, 0, nullptr},
        {{L"--at-sign-in"}, CommandAction::AtSignIn, 0, nullptr},
        {{L"/At-Sign-In"}, CommandAction::AtSignIn, 0, nullptr},
        {{L"--not-at-sign-in"}, CommandAction::NotAtSignIn, 0, nullptr},
        {{L"--register-events"}, CommandAction::RegisterEvents, 0, nullptr},
        {{L"/REGISTER-EVENTS"}, CommandAction::RegisterEvents, 0, nullptr},
        {{L"--unregister-events"}, CommandAction::UnregisterEvents, 0, nullptr},
        {{L"/NOT-AT-SIGN-IN"}, CommandAction::NotAtSignIn, 0, nullptr},
        // Refused, each naming what was wrong.
        {{L"--watch", L"--for", L"169h"}, CommandAction::Refuse, 0, L"\"169h\""},
        {{L"--watch", L"--for", L"604801"}, CommandAction::Refuse, 0, L"\"604801\""},
        {{L"--watch", L"--for", L"0"}, CommandAction::Refuse, 0, L"\"0\""},
        {{L"--watch", L"--for", L"0s"}, CommandAction::Refuse, 0, L"\"0s\""},
        {{L"--watch", L"--for", L"10d"}, CommandAction::Refuse, 0, L"\"10d\""},
        {{L"--watch", L"--for", L"s"}, CommandAction::Refuse, 0, L"\"s\""},
        {{L"--watch", L"--for", L"-5"}, CommandAction::Refuse, 0, L"\"-5\""},
        {{L"--watch", L"--for", L"1.5m"}, CommandAction::Refuse, 0, L"\"1.5m\""},
        {{L"--watch", L"--for", L"99999999999999999999"}, CommandAction::Refuse, 0, L"\"99999999999999999999\""},
        {{L"--watch", L"--for"}, CommandAction::Refuse, 0, L"\"--for\" needs"},
        {{L"--for", L"10s"}, CommandAction::Refuse, 0, L"only with"},
        {{L"--stop", L"--watch"}, CommandAction::Refuse, 0, L"\"--stop\""},
        {{L"--watch", L"--watch"}, CommandAction::Refuse, 0, L"\"--watch\""},
        {{L"--watch", L"--for", L"5", L"--for", L"6"}, CommandAction::Refuse, 0, L"\"--for\""},
        {{L"--look"}, CommandAction::Refuse, 0, L"\"--look\""},
        {{L"watch"}, CommandAction::Refuse, 0, L"\"watch\""},
        {{L"-watch"}, CommandAction::Refuse, 0, L"\"-watch\""},
        {{L"--"}, CommandAction::Refuse, 0, L"\"--\""},
        {{L""}, CommandAction::Refuse, 0, L"\"\""},
        {{L"--at-sign-in", L"--watch"}, CommandAction::Refuse, 0, L"take no other argument"},
        {{L"--watch", L"--not-at-sign-in"}, CommandAction::Refuse, 0, L"take no other argument"},
        {{L"--at-sign-in", L"--not-at-sign-in"}, CommandAction::Refuse, 0, L"\"--not-at-sign-in\""},
        {{L"--at-sign-in", L"--at-sign-in"}, CommandAction::Refuse, 0, L"\"--at-sign-in\""},
        {{L"--at-sign-in", L"--for", L"10s"}, CommandAction::Refuse, 0, L"take no other argument"},
        {{L"--register-events", L"--watch"}, CommandAction::Refuse, 0, L"\"--register-events\" and"},
        {{L"--stop", L"/Unregister-Events"}, CommandAction::Refuse, 0, L"\"--unregister-events\" take no"},
        {{L"--register-events", L"--at-sign-in"}, CommandAction::Refuse, 0, L"\"--at-sign-in\""},
        {{L"--register-events", L"--unregister-events"}, CommandAction::Refuse, 0, L"\"--unregister-events\""},
    };
    for (const ArgumentCase& example : cases) {
        SCOPED_TRACE(Spelled(example.arguments));
        const Morvane::CommandPlan plan = Morvane::PlanFromArguments(example.arguments);
        EXPECT_EQ(plan.action, example.action);
        EXPECT_EQ(plan.watchSeconds, example.watchSeconds);
        ExpectError(plan, example.errorNames);
    }
}

TEST(CommandLine, MaxSizeTakesUnitsOf1024OrBytes)
{
    const struct {
        const wchar_t* text;
        bool accepted;
        unsigned long long bytes;
    } sizes[] = {
        {L"800k", true, 800ULL << 10},
        {L"500m", true, 500ULL << 20},
        {L"500M", true, 500ULL << 20},
        {L"2g", true, 2ULL << 30},
        {L"1024g", true, 1ULL << 40},
        {L"300000", true, 300000},
        {L"1", true, 1},
        {L"0", false, 0},
        {L"0k", false, 0},
        {L"1025g", false, 0},
        {L"1099511627777", false, 0},
        {L"9999999999999g", false, 0},
        {L"99999999999999", false, 0},
        {L"1.5g", false, 0},
        {L"10t", false, 0},
        {L"10kb", false, 0},
        {L"-5m", false, 0},
        {L"m", false, 0},
        {L"", false, 0},
    };
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::string(size.text, size.text + wcslen(size.text)));
        unsigned long long bytes = 7;
        EXPECT_EQ(Morvane::ParseByteSize(size.text, bytes), size.accepted);
        EXPECT_EQ(bytes, size.accepted ? size.bytes : 7u);
    }

    const struct {
        std::vector<std::wstring> arguments;
        CommandAction action;
        unsigned long long maxRunBytes;
        const wchar_t* errorNames;
    } plans[] = {
        {{L"--watch"}, CommandAction::Watch, 2ULL << 30, nullptr},
        {{L"--watch", L"--max-size", L"500m"}, CommandAction::Watch, 500ULL << 20, nullptr},
        {{L"/MAX-SIZE", L"300k", L"/watch", L"/for", L"1h"}, CommandAction::Watch, 300ULL << 10, nullptr},
        {{L"--watch", L"--max-size", L"12x"}, CommandAction::Refuse, 2ULL << 30, L"\"12x\""},
        {{L"--watch", L"--max-size"}, CommandAction::Refuse, 2ULL << 30, L"needs a size"},
        {{L"--max-size", L"5m"}, CommandAction::Refuse, 5ULL << 20, L"\"--max-size\" works only with"},
        {{L"--stop", L"--max-size", L"5m"}, CommandAction::Refuse, 5ULL << 20, L"\"--stop\""},
        {{L"--watch", L"--max-size", L"1m", L"--max-size", L"2m"}, CommandAction::Refuse, 1ULL << 20, L"\"--max-size\""},
    };
    for (const auto& example : plans) {
        SCOPED_TRACE(Spelled(example.arguments));
        const Morvane::CommandPlan plan = Morvane::PlanFromArguments(example.arguments);
        EXPECT_EQ(plan.action, example.action);
        if (example.errorNames == nullptr) {
            EXPECT_EQ(plan.maxRunBytes, example.maxRunBytes);
        }
        ExpectError(plan, example.errorNames);
    }
}

// --quiet goes with every mode and changes nothing else of the plan; it still holds when the
// arguments are refused or ask for the usage, so that a script is never left facing a box.
TEST(CommandLine, QuietGoesWithEveryMode)
{
    const struct {
        std::vector<std::wstring> arguments;
        CommandAction action;
        bool quiet;
        unsigned long long watchSeconds;
        const wchar_t* errorNames;
    } cases[] = {
        {{L"--quiet"}, CommandAction::Snapshot, true, 0, nullptr},
        {{L"/QUIET"}, CommandAction::Snapshot, true, 0, nullptr},
        {{}, CommandAction::Snapshot, false, 0, nullptr},
        {{L"--watch", L"--quiet", L"--for", L"3s"}, CommandAction::Watch, true, 3, nullptr},
        {{L"--quiet", L"--watch"}, CommandAction::Watch, true, 0, nullptr},
        {{L"--watch", L"--for", L"3s"}, CommandAction::Watch, false, 3, nullptr},
        {{L"--stop", L"--quiet"}, CommandAction::Stop, true, 0, nullptr},
        {{L"--quiet", L"/stop"}, CommandAction::Stop, true, 0, nullptr},
        {{L"--at-sign-in", L"--quiet"}, CommandAction::AtSignIn, true, 0, nullptr},
        {{L"--quiet", L"--not-at-sign-in"}, CommandAction::NotAtSignIn, true, 0, nullptr},
        {{L"--help", L"--quiet"}, CommandAction::Help, true, 0, nullptr},
        {{L"--quiet", L"/?"}, CommandAction::Help, true, 0, nullptr},
        {{L"--help"}, CommandAction::Help, false, 0, nullptr},
        // Refused, quiet all the same when --quiet is among the arguments.
        {{L"--quiet", L"--quiet"}, CommandAction::Refuse, true, 0, L"\"--quiet\""},
        {{L"--quiet", L"--look"}, CommandAction::Refuse, true, 0, L"\"--look\""},
        {{L"--look", L"--quiet"}, CommandAction::Refuse, true, 0, L"\"--look\""},
        {{L"--look"}, CommandAction::Refuse, false, 0, L"\"--look\""},
        {{L"--watch", L"--for", L"--quiet"}, CommandAction::Refuse, true, 0, L"\"--quiet\""},
        {{L"--quiet", L"--for", L"3s"}, CommandAction::Refuse, true, 0, L"only with"},
        {{L"--stop", L"--quiet", L"--watch"}, CommandAction::Refuse, true, 0, L"\"--stop\""},
        {{L"--at-sign-in", L"--quiet", L"--watch"}, CommandAction::Refuse, true, 0, L"take no other argument"},
        {{L"--at-sign-in", L"--watch"}, CommandAction::Refuse, false, 0, L"take no other argument"},
        {{L"-quiet"}, CommandAction::Refuse, false, 0, L"\"-quiet\""},
        {{L"quiet"}, CommandAction::Refuse, false, 0, L"\"quiet\""},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(Spelled(example.arguments));
        const Morvane::CommandPlan plan = Morvane::PlanFromArguments(example.arguments);
        EXPECT_EQ(plan.action, example.action);
        EXPECT_EQ(plan.quiet, example.quiet);
        if (example.errorNames == nullptr) {
            EXPECT_EQ(plan.watchSeconds, example.watchSeconds);
        }
        ExpectError(plan, example.errorNames);
    }
}

// One usage text for every option, grouped by what it is for: each option comes under its group,
// and the groups in their order.
TEST(CommandLine, UsageGroupsEveryOption)
{
    const std::wstring usage = Morvane::UsageText();
    const struct {
        const wchar_t* group;
        std::vector<const wchar_t*> options;
    } groups[] = {
        {L"Taking pictures:", {L"saves every visible window once"}},
        {L"Watching:", {L"--watch", L"--for <duration>", L"--max-size <size>", L"--stop"}},
        {L"Starting at sign-in:", {L"--at-sign-in", L"--not-at-sign-in"}},
        {L"Deployment:", {L"--quiet", L"--output <folder>", L"--register-events", L"--unregister-events"}},
    };
    size_t previous = 0;
    for (size_t index = 0; index < std::size(groups); ++index) {
        const size_t start = usage.find(groups[index].group);
        ASSERT_NE(start, std::wstring::npos) << index;
        EXPECT_GT(start, previous) << index;
        previous = start;
        const size_t end = index + 1 < std::size(groups) ? usage.find(groups[index + 1].group) : usage.size();
        for (const wchar_t* option : groups[index].options) {
            const size_t at = usage.find(option, start);
            EXPECT_TRUE(at != std::wstring::npos && at < end) << index << " " << std::wstring(option).size();
        }
    }
}

TEST(CommandLine, UsageNamesEveryForm)
{
    const std::wstring usage = Morvane::UsageText();
    for (const wchar_t* part : {L"--watch", L"--for <duration>", L"--stop", L"--help", L"/?", L"45s", L"7 days", L"--at-sign-in",
                              L"--not-at-sign-in", L"--max-size <size>", L"800k"}) {
        EXPECT_NE(usage.find(part), std::wstring::npos) << std::wstring(part).size();
    }
}

} // namespace
