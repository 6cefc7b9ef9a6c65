#include "record/RunFiles.h"

#include "MorvaneTrace.h"
#include "capture/OutputFileNames.h"
#include "record/RunPage.h"
#include "system/File.h"
#include "system/HResult.h"
#include "system/SecureRandom.h"

#include <cstdio>
#include <utility>

namespace Morvane {
namespace {

constexpr const char* kRunRecorderFinish = "Morvane::RunRecorder::Finish";

// 32 hexadecimal digits for the page's script nonce.
std::string MakeNonce()
{
    std::string nonce;
    for (int part = 0; part < 4; ++part) {
        const unsigned random =
            TalvexBasic::SecureRandomOr(::GetTickCount() * 2654435761u + static_cast<unsigned>(part));
        char digits[9];
        std::snprintf(digits, sizeof digits, "%08x", random);
        nonce += digits;
    }
    return nonce;
}

HRESULT WriteRunFile(const std::wstring& path, const std::string& content) noexcept
{
    return TalvexBasic::Files::File::WriteToFile$Static(path, content.data(), static_cast<unsigned>(content.size()),
                                                        CREATE_ALWAYS);
}

} // namespace

void WriteRecordAndPage(const std::wstring& runFolder, const std::string& record, const wchar_t* temporarySuffix)
{
    const std::string page = MakeRunPage(record, MakeNonce());
    const std::wstring recordPath = runFolder + L"\\" + kRunRecordFileName;
    const std::wstring pagePath = runFolder + L"\\" + kRunPageFileName;
    for (const auto& [path, content] : {std::make_pair(&recordPath, &record), std::make_pair(&pagePath, &page)}) {
        const std::wstring target = temporarySuffix != nullptr ? *path + temporarySuffix : *path;
        const HRESULT result = WriteRunFile(target, *content);
        if (FAILED(result)) {
            MORVANE_TRACE_W(kRunRecorderFinish, L"WriteToFile$Static(%ls) return:0x%x.", target.c_str(),
                            static_cast<unsigned>(result));
        } else if (temporarySuffix != nullptr &&
                   !::MoveFileExW(target.c_str(), path->c_str(), MOVEFILE_REPLACE_EXISTING)) {
            (void)MORVANE_FAIL_LAST_ERROR(kRunRecorderFinish, TalvexBasic::LastErrorRule::Standard,
                                          "MoveFileExW error:%u.");
        }
    }
}

} // namespace Morvane
