#include "support/DebugLineCapture.h"
#include "system/EnvironmentString.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using TalvexBasic::EnvironmentVars::String;

TEST(EnvironmentExpansion, AppdataTakesTheValueOfAPPDATAWhateverTheCase)
{
    wchar_t appData[4096] = {};
    ASSERT_GT(::GetEnvironmentVariableW(L"APPDATA", appData, 4096), 0u);
    std::wstring text = L"old";
    EXPECT_EQ(String::Expand$Static(L"%Appdata%\\Log", text), S_OK);
    EXPECT_EQ(text, std::wstring(appData) + L"\\Log");
}

TEST(EnvironmentExpansion, TextWithoutReferencesAndUndefinedNamesStayAsWritten)
{
    std::wstring text;
    EXPECT_EQ(String::Expand$Static(L"C:\\plain\\path", text), S_OK);
    EXPECT_EQ(text, L"C:\\plain\\path");
    EXPECT_EQ(String::Expand$Static(L"%MorvaneNoSuchVariable%\\x", text), S_OK);
    EXPECT_EQ(text, L"%MorvaneNoSuchVariable%\\x");
    EXPECT_EQ(String::Expand$Static(L"", text), S_OK);
    EXPECT_EQ(text, L"");
}

TEST(EnvironmentExpansion, ResultThatFillsTheBufferExactlyStillFits)
{
    // 16,383 characters and the terminating zero take the whole buffer.
    const std::wstring source(String::kBufferLength - 1, L'a');
    std::wstring text;
    EXPECT_EQ(String::Expand$Static(source, text), S_OK);
    EXPECT_EQ(text, source);
}

TEST(EnvironmentExpansion, ResultTooLongForTheBufferFailsAndLeavesTheTextAlone)
{
    TestSupport::DebugLineCapture debug;
    const std::wstring source(String::kBufferLength + 100, L'a');
    std::wstring text = L"unchanged";
    EXPECT_EQ(String::Expand$Static(source, text), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(text, L"unchanged");
    EXPECT_EQ(debug.CountContaining(" TalvexBasic::EnvironmentVars::String::Expand$Static,"), 1u);
    EXPECT_EQ(debug.CountContaining("needs:16485, buffer:16384.\r\n"), 1u);
}

} // namespace
