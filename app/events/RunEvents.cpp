#include "events/RunEvents.h"

#include "MorvaneEvents.h"
#include "capture/WindowKind.h"

#include <algorithm>

namespace Morvane {
namespace {

// Insertion strings are the facts themselves; an empty one would read as a gap in the sentence.
std::wstring Inserted(const std::wstring& text, const wchar_t* ifEmpty = L"(none)")
{
    if (text.empty()) {
        return ifEmpty;
    }
    if (text.size() <= kLongestInsertionString) {
        return text;
    }
    return text.substr(0, kLongestInsertionString - 3) + L"...";
}

std::wstring Number(unsigned long long value)
{
    return std::to_wstring(value);
}

} // namespace

const wchar_t* RunModeName(RunMode mode) noexcept
{
    return mode == RunMode::Watch ? L"watch" : L"one-shot";
}

CaughtWindow CaughtWindowOf(const RunWindow& entry, const std::wstring& runFolder)
{
    const char* const kind = WindowKindName(JudgeWindowKind(entry.className, entry.style, entry.exStyle));
    std::wstring windowFolder = entry.folder.empty() ? std::wstring() : runFolder + L"\\" + entry.folder;
    std::replace(windowFolder.begin(), windowFolder.end(), L'/', L'\\');
    return {entry.caption,
            entry.className,
            entry.imagePath,
            entry.processId,
            std::wstring(kind, kind + std::char_traits<char>::length(kind)),
            runFolder,
            windowFolder};
}

RunEvent MakeRunStartedEvent(RunMode mode, const std::wstring& folder, const std::wstring& user,
                             const std::wstring& version)
{
    return {MORVANE_EVENT_RUN_STARTED, EVENTLOG_INFORMATION_TYPE,
            {RunModeName(mode), Inserted(folder), Inserted(user, L"(unknown)"), Inserted(version, L"(unknown)")}};
}

RunEvent MakeRunEndedEvent(const RunTally& tally, const std::wstring& folder)
{
    const bool failed = tally.failedSteps > 0;
    return {failed ? MORVANE_EVENT_RUN_ENDED_WITH_FAILURES : MORVANE_EVENT_RUN_ENDED,
            static_cast<WORD>(failed ? EVENTLOG_WARNING_TYPE : EVENTLOG_INFORMATION_TYPE),
            {Number(tally.saved), Number(tally.skipped), Number(tally.missed), Number(tally.failedSteps),
             Inserted(folder)}};
}

RunEvent MakeWindowCaughtEvent(const CaughtWindow& window, const SignatureVerdict& signature)
{
    const char* const state = SignatureStateName(signature.state);
    std::wstring verdict(state, state + std::char_traits<char>::length(state));
    if (signature.source == SignatureSource::Catalog) {
        verdict += L" (catalog)";
    }
    return {MORVANE_EVENT_WINDOW_CAUGHT,
            EVENTLOG_INFORMATION_TYPE,
            {Inserted(window.caption, L""), Inserted(window.className, L""), Inserted(window.imagePath, L"(unknown)"),
             Number(window.processId), Inserted(window.kind), verdict, Inserted(signature.signer.value_or(L"")),
             Inserted(window.runFolder), Inserted(window.windowFolder)}};
}

RunEvent MakeWindowEventsLeftOutEvent(unsigned leftOut, unsigned perSecond, const std::wstring& folder)
{
    return {MORVANE_EVENT_WINDOW_EVENTS_LEFT_OUT, EVENTLOG_WARNING_TYPE,
            {Number(leftOut), Number(perSecond), Inserted(folder)}};
}

RunEvent MakeRunFailedEvent(RunMode mode, const std::wstring& folder, const std::wstring& error)
{
    return {MORVANE_EVENT_RUN_FAILED, EVENTLOG_ERROR_TYPE,
            {RunModeName(mode), Inserted(folder), Inserted(error, L"(no reason given)")}};
}

} // namespace Morvane
