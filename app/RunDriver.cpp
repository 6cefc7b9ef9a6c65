#include "RunDriver.h"

#include "MorvaneLogger.h"
#include "OutcomeNotice.h"
#include "OutputDirectory.h"
#include "RunContext.h"
#include "record/RunJournal.h"
#include "record/RunRecorder.h"
#include "RunState.h"
#include "capture/WindowSample.h"
#include "events/RunEventLog.h"
#include "capture/WindowText.h"
#include "capture/WindowReport.h"
#include "capture/WindowShot.h"
#include "logs/LogManager.h"
#include "logs/LoggerReferences.h"
#include "MorvaneTrace.h"
#include "basic/StringFormat.h"
#include "system/SecureRandom.h"
#include "watch/WatchSignals.h"

#include <gdiplus.h>

namespace Morvane {
namespace {

ULONG_PTR gGdiplusToken = 0;

// GetWindowTextW fills the run's text buffer with at most this many characters (its capacity
// of 0xFFFF holds the terminating null): a caption of this length may have been cut.
constexpr size_t kCutCaptionLength = kTextBufferLength - 2;

// Copies the buffer's text up to its first null character.
std::wstring TakeTextBuffer()
{
    gTextBuffer[kTextBufferLength - 1] = L'\0';
    return std::wstring(gTextBuffer);
}

} // namespace

std::wstring MakeRunFolderName(const SYSTEMTIME& time, unsigned tickCount, unsigned random)
{
    return Basic::Text::Format(L"%04d%02d%02d-%02d%02d%02d-%d-%u-%u", time.wYear, time.wMonth, time.wDay, time.wHour,
                               time.wMinute, time.wSecond, time.wMilliseconds, tickCount, random);
}

std::wstring MakeOutputDirectory(const std::wstring& folder, const SYSTEMTIME& time, unsigned tickCount,
                                 unsigned random)
{
    return folder + L"\\Morvane\\Output\\" + MakeRunFolderName(time, tickCount, random);
}

std::wstring MakeCompletionText(const std::wstring& directory)
{
    return L"Success Save All Window To \r\n\"" + directory + L"\".";
}

std::wstring MakeFailureText(const std::wstring& directory)
{
    return L"Failed Save All Window To \r\n\"" + directory + L"\".";
}

std::wstring OutputFailureEventText(const std::wstring& chosenFolder)
{
    return chosenFolder.empty() ? std::wstring(kNoOutputFolderError) : gOutputFailureText;
}

bool Initialize(const std::wstring& chosenFolder)
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const unsigned tickCount = ::GetTickCount();
    const unsigned random = TalvexBasic::SecureRandomOr(0);
    // The folder is made before the logger starts, so that the completion message never names a
    // folder that does not exist. Where nothing can be written below the executable (a read-only
    // share, a protected program folder), the output goes below the user's local application
    // data instead, with the same run name. A folder given with --output has no such fallback:
    // the administrator who chose it must learn that it failed.
    const OutputDirectoryChoice choice =
        !chosenFolder.empty()
            ? CreateOutputDirectoryBelow(chosenFolder, MakeRunFolderName(now, tickCount, random))
            : CreateOutputDirectory(MakeOutputDirectory(ExecutableFolder(), now, tickCount, random), [&] {
                  const std::wstring base = LocalApplicationDataFolder();
                  return base.empty() ? std::wstring() : MakeOutputDirectory(base, now, tickCount, random);
              });
    gOutputDirectory = choice.directory;
    gOutputFailureText = MakeFailureText(gOutputDirectory);
    if (!choice.chosenFolderFailure.empty()) {
        gOutputFailureText += L"\r\n\r\n" + choice.chosenFolderFailure;
    }

    // The log folder lies below the output directory, and the logger must be installed before
    // the first line so that "begin~." already reaches the log file. Without any output folder
    // the lines go to the debugger output only, as when the log manager cannot start.
    if (choice.created) {
        TalvexBasic::Logs::LogManager::Initialize$Static();
        Logger* logger = Basic::Patterns::Singleton<Logger>::GetInstance();
        (void)logger->Initialize();
        (void)logger->SetName(L"Morvane");
        gApplicationLogger = logger;
    }

    MORVANE_TRACE("Initialize", "begin~.");
    // Each folder that could not be created, just before the line that names the one in use.
    for (const FailedOutputFolder& failure : choice.failures) {
        if (failure.refusal != FolderRefusal::None) {
            MORVANE_TRACE_W("Initialize", L"%ls refused: %ls.", failure.refusedFolder.c_str(),
                            FolderRefusalText(failure.refusal));
            continue;
        }
        MORVANE_TRACE_W("Initialize", L"MakeSureDirectoryPathExists$Static(%ls) return:0x%x.", failure.folder.c_str(),
                        static_cast<unsigned>(failure.result));
    }
    if (!chosenFolder.empty()) {
        // The reason on one line: the box shows it on two.
        std::wstring outcome = choice.created ? choice.chosenFolder : choice.chosenFolderFailure;
        for (size_t at = outcome.find(L"\r\n"); at != std::wstring::npos; at = outcome.find(L"\r\n", at)) {
            outcome.replace(at, 2, L" ");
        }
        if (!outcome.empty() && outcome.back() == L'.') {
            outcome.pop_back();
        }
        MORVANE_TRACE_W("Initialize", L"--output %ls: %ls.", chosenFolder.c_str(), outcome.c_str());
    } else if (choice.noFallback) {
        MORVANE_TRACE("Initialize", "%%LOCALAPPDATA%% gives no full path.");
    }
    MORVANE_TRACE_W("Initialize", L"gOutputDirectory:%ls.", gOutputDirectory.c_str());

    Gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    const Gdiplus::Status status = Gdiplus::GdiplusStartup(&gGdiplusToken, &input, nullptr);
    MORVANE_TRACE("Initialize", "GdiplusStartup return:%u.", static_cast<unsigned>(status));
    // A watch ended by force left only its journal: its record and page come first, so that this
    // run compares with it as with any other.
    if (choice.created) {
        FinishUnendedRuns(gOutputDirectory, RunningWatchFolder());
    }
    return choice.created;
}

void Finalize()
{
    Gdiplus::GdiplusShutdown(gGdiplusToken);
    gGdiplusToken = 0;
    MORVANE_TRACE("Finalize", "end..");

    // Routing is cleared first, so that no line reaches a logger that is going away, nor a log
    // manager that a late line would create anew.
    gApplicationLogger = nullptr;
    Basic::Patterns::Singleton<Logger>::DestroyInstance();
    TalvexBasic::Logs::LogManager::Finalize$Static();
}

BOOL CALLBACK EnumerateWindowsAdapter(HWND window, LPARAM context)
{
    auto* enumeration = reinterpret_cast<EnumerationContext*>(context);
    return enumeration->step(window, enumeration->user) ? TRUE : FALSE;
}

RunWindow HandleWindow(RunContext& context, HWND window)
{
    WindowSample sample = SampleWindow(window);
    if (!sample.Saved()) {
        return context.recorder.AddSkipped(sample);
    }
    WindowInfo& record = sample.facts;

    // The first character is cleared before each read, so a window without a caption never
    // shows the text of the window before it.
    gTextBuffer[0] = L'\0';
    ::GetWindowTextW(window, gTextBuffer, 0xFFFF);
    record.mCaption = TakeTextBuffer();

    gTextBuffer[0] = L'\0';
    ::GetClassNameW(window, gTextBuffer, 0xFFFF);
    record.mClassName = TakeTextBuffer();

    Log(record);
    WindowShotOutcome outcome;
    (void)SaveWindowShot(context, record, &outcome);
    // The run record keeps the caption whole, however long.
    if (record.mCaption.size() >= kCutCaptionLength) {
        record.mCaption = ReadWholeWindowText(window);
    }
    return context.recorder.AddSaved(record, outcome);
}

bool HandleEnumeratedWindow(HWND window, void* user)
{
    (void)HandleWindow(*static_cast<RunContext*>(user), window);
    return true;
}

void SaveWindowsPresentNow(RunContext& context)
{
    EnumerationContext enumeration{HandleEnumeratedWindow, &context};
    ::EnumWindows(EnumerateWindowsAdapter, reinterpret_cast<LPARAM>(&enumeration));
}

int Run(OutcomeNotice& notice, const std::wstring& chosenFolder)
{
    RunContext context;
    context.recorder.Start(context.clock);
    const bool hasOutputDirectory = Initialize(chosenFolder);
    context.outputDirectory = gOutputDirectory;
    RunEventLog events;
    if (hasOutputDirectory) {
        events.RunStarted(RunMode::OneShot, gOutputDirectory);
    }

    SaveWindowsPresentNow(context);

    // Windows that failed are in the log; only a run without any output folder is a failure,
    // and then there is nowhere to put the run record and page either.
    if (hasOutputDirectory) {
        context.recorder.Finish(context.outputDirectory, context.clock);
        events.End(MakeRunEndedEvent(context.recorder.Tally(), gOutputDirectory));
        const std::wstring text = MakeCompletionText(gOutputDirectory);
        notice.Tell(text, 0);
    } else {
        events.End(MakeRunFailedEvent(RunMode::OneShot, gOutputDirectory, OutputFailureEventText(chosenFolder)));
        notice.Tell(gOutputFailureText, MB_ICONERROR);
    }

    Finalize();
    return hasOutputDirectory ? 0 : 1;
}

} // namespace Morvane
