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

TEST(WatchCommandLine, UsageNamesEveryForm)
{
    const std::wstring usage = Morvane::UsageText();
    for (const wchar_t* part : {L"--watch", L"--for <duration>", L"--stop", L"--help", L"/?", L"45s", L"7 days"}) {
        EXPECT_NE(usage.find(part), std::wstring::npos) << std::wstring(part).size();
    }
}

} // namespace
