#include "watch/WatchCommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Morvane::CommandAction;

struct ArgumentCase {
    std::vector<std::wstring> arguments;
    CommandAction action;
    unsigned long long watchSeconds;
    const wchar_t* errorNames; // a part of the error text: the argument refused; null when accepted
};

TEST(WatchCommandLine, ArgumentsGiveTheirPlan)
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
        std::wstring line;
        for (const std::wstring& argument : example.arguments) {
            line += L"[" + argument + L"]";
        }
        SCOPED_TRACE(testing::Message() << std::string(line.begin(), line.end()));
        const Morvane::CommandPlan plan = Morvane::PlanFromArguments(example.arguments);
        EXPECT_EQ(plan.action, example.action);
        EXPECT_EQ(plan.watchSeconds, example.watchSeconds);
        if (example.errorNames == nullptr) {
            EXPECT_TRUE(plan.error.empty());
        } else {
            EXPECT_NE(plan.error.find(example.errorNames), std::wstring::npos);
        }
    }
}

TEST(WatchCommandLine, MaxSizeTakesUnitsOf1024OrBytes)
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
        SCOPED_TRACE(testing::Message() << example.arguments.size() << " arguments, "
                                        << static_cast<int>(example.action));
        const Morvane::CommandPlan plan = Morvane::PlanFromArguments(example.arguments);
        EXPECT_EQ(plan.action, example.action);
        if (example.errorNames == nullptr) {
            EXPECT_EQ(plan.maxRunBytes, example.maxRunBytes);
            EXPECT_TRUE(plan.error.empty());
        } else {
            EXPECT_NE(plan.error.find(example.errorNames), std::wstring::npos);
        }
    }
}

TEST(WatchCommandLine, UsageNamesEveryForm)
{
    const std::wstring usage = Morvane::UsageText();
    for (const wchar_t* part : {L"--watch", L"--for <duration>", L"--stop", L"--help", L"/?", L"45s", L"7 days", L"--at-sign-in",
                              L"--not-at-sign-in", L"--max-size <size>", L"800k"}) {
        EXPECT_NE(usage.find(part), std::wstring::npos) << std::wstring(part).size();
    }
}

} // namespace
