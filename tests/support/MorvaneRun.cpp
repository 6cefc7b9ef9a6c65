#include "support/MorvaneRun.h"

#include "support/TestPaths.h"

namespace TestSupport {

DebugCaptureResult RunMorvane(const std::wstring& program)
{
    DebugCaptureOptions options;
    options.program = program.empty() ? ProgramDirectory() + L"\\Morvane.exe" : program;
    options.timeLimitMilliseconds = 120000;
    return RunWithDebugCapture(options);
}

std::wstring CompletionDirectory(const DebugCaptureResult& result)
{
    if (result.messageBoxTexts.size() != 1) {
        return {};
    }
    const std::wstring& text = result.messageBoxTexts.front();
    const std::wstring prefix = L"Success Save All Window To \r\n\"";
    const std::wstring suffix = L"\".";
    if (text.size() < prefix.size() + suffix.size() || text.compare(0, prefix.size(), prefix) != 0 ||
        text.compare(text.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return {};
    }
    return text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
}

} // namespace TestSupport
