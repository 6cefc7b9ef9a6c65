#include "support/MorvaneRun.h"

#include "support/TestPaths.h"
#include "system/UniqueResource.h"

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

std::wstring WaitForWatchFolder(const wchar_t* mappingName, DWORD timeoutMilliseconds)
{
    for (DWORD waited = 0; waited < timeoutMilliseconds; waited += 50) {
        const TalvexBasic::UniqueHandle mapping(::OpenFileMappingW(FILE_MAP_READ, FALSE, mappingName));
        const void* view = mapping ? ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
        const std::wstring folder = view != nullptr ? static_cast<const wchar_t*>(view) : L"";
        if (view != nullptr) {
            ::UnmapViewOfFile(view);
        }
        if (!folder.empty() &&
            ::GetFileAttributesW((folder + L"\\Morvane.Run.jsonl").c_str()) != INVALID_FILE_ATTRIBUTES) {
            return folder;
        }
        ::Sleep(50);
    }
    return {};
}

} // namespace TestSupport
