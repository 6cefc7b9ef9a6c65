#include "record/RunRecorder.h"

#include "MorvaneTrace.h"
#include "capture/WindowAppearance.h"
#include "record/CoveredShare.h"
#include "record/RunHistory.h"
#include "record/RunPage.h"
#include "record/RunRecord.h"
#include "capture/OutputFileNames.h"
#include "system/File.h"
#include "system/HResult.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace Morvane {
namespace {

using TalvexBasic::PointerBits;

constexpr const char* kRunRecorderFinish = "Morvane::RunRecorder::Finish";

// The facts every entry copies from the sample.
RunWindow EntryOf(HWND window, const WindowInfo& facts)
{
    RunWindow entry;
    entry.handle = PointerBits(window);
    entry.processId = facts.mProcessId;
    entry.threadId = facts.mThreadId;
    entry.caption = facts.mCaption;
    entry.className = facts.mClassName;
    entry.imagePath = facts.mProcessDosPath;
    entry.style = facts.mStyle;
    entry.exStyle = facts.mExtendedStyle;
    entry.rect = facts.mWindowRectangle;
    entry.zone = facts.mZonePosition;
    entry.monitor = PointerBits(facts.mDisplayMonitorHandle);
    return entry;
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM context)
{
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (::GetMonitorInfoW(monitor, &info)) {
        info.szDevice[CCHDEVICENAME - 1] = L'\0';
        reinterpret_cast<std::vector<RunMonitor>*>(context)->push_back(
            {PointerBits(monitor), info.rcMonitor, info.rcWork, info.dwFlags, info.szDevice, ReadMonitorDpi(monitor)});
    }
    return TRUE;
}

// 32 hexadecimal digits for the page's script nonce.
std::string MakeNonce()
{
    std::string nonce;
    for (int part = 0; part < 4; ++part) {
        unsigned random = 0;
        if (rand_s(&random) != 0) {
            random = ::GetTickCount() * 2654435761u + static_cast<unsigned>(part);
        }
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

void RunRecorder::Start(const RunClock& clock)
{
    const LocalInstant now = clock.Now();
    mRun.startedAt = FormatLocalTime(now.time, now.offsetMinutes);
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (::GetComputerNameW(name, &length)) {
        mRun.computerName.assign(name, length);
    }
}

RunWindow RunRecorder::AddSkipped(const WindowSample& sample)
{
    RunWindow entry = EntryOf(sample.window, sample.facts);
    entry.skipReason = sample.skipReason;
    return Add(std::move(entry));
}

RunWindow RunRecorder::AddSaved(const WindowInfo& record, const WindowShotOutcome& outcome)
{
    RunWindow entry = EntryOf(record.mWindowHandle, record);
    entry.folder = outcome.folder;
    entry.shot = outcome;
    return Add(std::move(entry));
}

void RunRecorder::NoteCoveringWindows(RunWindow& entry) const
{
    std::vector<RECT> covering;
    for (const RunWindow& above : mRun.windows) {
        const bool shown = (above.style & WS_VISIBLE) != 0 && !above.shot.appearance.minimised &&
                           !above.shot.appearance.cloaked;
        RECT overlap{};
        if (shown && ::IntersectRect(&overlap, &above.rect, &entry.rect)) {
            entry.coveredBy.push_back(above.handle);
            covering.push_back(above.rect);
        }
    }
    entry.coveredShare = CoveredShare(entry.rect, covering);
}

RunWindow RunRecorder::Add(RunWindow entry)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    // The enumeration goes from the top down: the entries so far lie above this one.
    if (entry.skipReason == SkipReason::None && entry.shot.pictureSource == PictureSource::Screen) {
        NoteCoveringWindows(entry);
    }
    mRun.windows.push_back(entry);
    return entry;
}

void RunRecorder::Finish(const std::wstring& outputDirectory, const RunClock& clock)
{
    const TalvexBasic::CriticalSectionLock lock(mLock);
    mRun.outputDirectory = outputDirectory;
    mRun.monitors.clear();
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&mRun.monitors));

    EarlierRun previous;
    if (FindPreviousRun(outputDirectory, previous)) {
        mRun.previousRun = previous.folderName;
        mRun.gone = CompareWithEarlierRun(mRun.windows, previous.savedWindows);
    }
    const LocalInstant now = clock.Now();
    mRun.endedAt = FormatLocalTime(now.time, now.offsetMinutes);

    // Either file may fail like any other; that costs its trace line and nothing else.
    const std::string record = MakeRunRecordJson(mRun);
    const std::wstring recordPath = outputDirectory + L"\\" + kRunRecordFileName;
    const HRESULT recordResult = WriteRunFile(recordPath, record);
    if (FAILED(recordResult)) {
        MORVANE_TRACE_W(kRunRecorderFinish, L"WriteToFile$Static(%ls) return:0x%x.", recordPath.c_str(),
                        static_cast<unsigned>(recordResult));
    }
    const std::wstring pagePath = outputDirectory + L"\\" + kRunPageFileName;
    const HRESULT pageResult = WriteRunFile(pagePath, MakeRunPage(record, MakeNonce()));
    if (FAILED(pageResult)) {
        MORVANE_TRACE_W(kRunRecorderFinish, L"WriteToFile$Static(%ls) return:0x%x.", pagePath.c_str(),
                        static_cast<unsigned>(pageResult));
    }
}

} // namespace Morvane
