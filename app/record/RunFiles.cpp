#include "record/RunFiles.h"

#include "MorvaneTrace.h"
#include "capture/OutputFileNames.h"
#include "record/RunPage.h"
#include "system/File.h"
#include "system/HResult.h"
#include "system/SecureRandom.h"
#include "threads/JoiningThread.h"

#include <cstdio>

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
    const std::wstring recordPath = runFolder + L"\\" + kRunRecordFileName;
    const std::wstring pagePath = runFolder + L"\\" + kRunPageFileName;
    const auto write = [](const std::wstring& target, const std::string& content) {
        const HRESULT result = WriteRunFile(target, content);
        if (FAILED(result)) {
            MORVANE_TRACE_W(kRunRecorderFinish, L"WriteToFile$Static(%ls) return:0x%x.", target.c_str(),
                            static_cast<unsigned>(result));
        }
        return SUCCEEDED(result);
    };
    const auto replace = [](const std::wstring& target, const std::wstring& path) {
        if (!::MoveFileExW(target.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            (void)MORVANE_FAIL_LAST_ERROR(kRunRecorderFinish, TalvexBasic::LastErrorRule::Standard,
                                          "MoveFileExW error:%u.");
        }
    };
    if (temporarySuffix == nullptr) {
        (void)write(recordPath, record);
        (void)write(pagePath, MakeRunPage(record, MakeNonce()));
        return;
    }
    // At the end of a long watch each file is tens of MB: the record goes to the disk while the
    // page is made and written. Both take their places after, the record first, as before.
    const std::wstring recordTarget = recordPath + temporarySuffix;
    const std::wstring pageTarget = pagePath + temporarySuffix;
    bool recordWritten = false;
    TalvexBasic::Threads::JoiningThread recordWriter([&] { recordWritten = write(recordTarget, record); });
    const bool pageWritten = write(pageTarget, MakeRunPage(record, MakeNonce()));
    recordWriter.Join();
    if (recordWritten) {
        replace(recordTarget, recordPath);
    }
    if (pageWritten) {
        replace(pageTarget, pagePath);
    }
}

} // namespace Morvane
