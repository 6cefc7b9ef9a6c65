#include "UnixFolderMode.h"

#include "support/TestPaths.h"
#include "system/TextConversion.h"
#include "system/UniqueResource.h"

#include <windows.h>

namespace MorvaneTests {

std::string UnixCommandOutput(const std::string& command, const std::wstring& scratch)
{
    static int sAnswers = 0;
    const std::wstring answer = scratch + L"\\answer-" + std::to_wstring(++sAnswers) + L".txt";
    const std::string unixAnswer = UnixPathOf(answer);
    if (unixAnswer.empty()) {
        return {};
    }
    std::wstring commandLine = TalvexBasic::FromUtf8("sh -c \"" + command + " > '" + unixAnswer + ".part' && mv '" +
                                                     unixAnswer + ".part' '" + unixAnswer + "'\"");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION information{};
    if (!::CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &information)) {
        return {};
    }
    TalvexBasic::UniqueHandle process(information.hProcess);
    TalvexBasic::UniqueHandle thread(information.hThread);
    std::string text;
    for (int attempt = 0; attempt < 200 && text.empty(); ++attempt) {
        ::Sleep(50);
        text = TestSupport::ReadWholeFile(answer);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

std::string UnixModeOf(const std::wstring& path, const std::wstring& scratch)
{
    const std::string folder = UnixPathOf(path);
    return folder.empty() ? std::string() : UnixCommandOutput("stat -c %a '" + folder + "'", scratch);
}

bool UsersAlone(const std::string& mode)
{
    return mode == "700" || mode == "750";
}

} // namespace MorvaneTests
