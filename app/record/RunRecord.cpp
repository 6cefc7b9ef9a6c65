#include "record/RunRecord.h"

#include "capture/OutputFileNames.h"
#include "capture/WindowKind.h"
#include "record/CompactJsonText.h"
#include "record/RecordJson.h"
#include "record/RunRecordMembers.h"
#include "threads/JoiningThread.h"

#include <cmath>
#include <cstdio>

namespace Morvane {
namespace {

// Members keep the order in which they are written.
using json = RecordJson;
namespace Member = RecordMember;

const char* SkipReasonName(SkipReason reason) noexcept
{
    switch (reason) {
    case SkipReason::Invisible:
        return "invisible";
    case SkipReason::TooSmall:
        return "tooSmall";
    case SkipReason::ProcessNotOpened:
        return "processNotOpened";
    case SkipReason::SampleFailed:
        return "sampleFailed";
    case SkipReason::None:
        break;
    }
    return nullptr;
}

const char* PictureSourceName(PictureSource source) noexcept
{
    switch (source) {
    case PictureSource::PrintWindow:
        return "printWindow";
    case PictureSource::FullContent:
        return "fullContent";
    case PictureSource::Screen:
        return "screen";
    case PictureSource::None:
        break;
    }
    return nullptr;
}

json NameOrNull(const char* name)
{
    return name == nullptr ? json(nullptr) : json(name);
}

json TextOrNull(const std::string& text)
{
    return text.empty() ? json(nullptr) : json(text);
}

json RectJson(const RECT& rect)
{
    return json{{Member::kLeft, rect.left},
                {Member::kTop, rect.top},
                {Member::kRight, rect.right},
                {Member::kBottom, rect.bottom}};
}

const char* CaughtByName(CaughtBy caughtBy) noexcept
{
    switch (caughtBy) {
    case CaughtBy::Event:
        return Member::kCaughtByEvent;
    case CaughtBy::Scan:
        return Member::kCaughtByScan;
    case CaughtBy::Start:
        break;
    }
    return Member::kCaughtAtStart;
}

json CountOrNull(long long count)
{
    return count < 0 ? json(nullptr) : json(count);
}

json DpiOrNull(std::uint32_t dpi)
{
    return dpi == 0 ? json(nullptr) : json(dpi);
}

// How the window showed and what its picture shows. Skipped windows were not looked at.
void AddAppearanceMembers(json& entry, const RunWindow& window, bool saved)
{
    entry[Member::kDpi] = saved ? DpiOrNull(window.shot.appearance.dpi) : json(nullptr);
    entry[Member::kMinimised] = saved && window.shot.appearance.minimised;
    entry[Member::kCloaked] = saved && window.shot.appearance.cloaked;
    if (saved && window.shot.pictureSource == PictureSource::Screen) {
        json handles = json::array();
        for (const std::uint64_t handle : window.coveredBy) {
            handles.push_back(FormatHandle(handle));
        }
        // Four decimals say enough of a share, and keep the record readable.
        entry[Member::kCoveredBy] = json{{Member::kCoveringHandles, handles},
                                         {Member::kCoveredShare, std::round(window.coveredShare * 10000) / 10000}};
    } else {
        entry[Member::kCoveredBy] = nullptr;
    }
    if (saved && window.shot.pictureSource != PictureSource::None && window.shot.pictureOneColour) {
        char colour[8];
        std::snprintf(colour, sizeof colour, "#%02x%02x%02x", GetRValue(window.shot.pictureColour),
                      GetGValue(window.shot.pictureColour), GetBValue(window.shot.pictureColour));
        entry[Member::kPictureColour] = colour;
    } else {
        entry[Member::kPictureColour] = nullptr;
    }
}

// A step not taken yet (a watch's monitor picture still to take) is no failure.
json StepResultOrNull(HRESULT result)
{
    return result == E_PENDING ? json(nullptr) : json(static_cast<std::int32_t>(result));
}

} // namespace

json WindowJson(const RunWindow& window)
{
    const bool saved = window.skipReason == SkipReason::None;
    json entry;
    entry[Member::kHandle] = FormatHandle(window.handle);
    entry[Member::kProcessId] = window.processId;
    entry[Member::kThreadId] = window.threadId;
    entry[Member::kCaption] = ToUtf8(window.caption);
    entry[Member::kClassName] = ToUtf8(window.className);
    entry[Member::kImagePath] = ToUtf8(window.imagePath);
    entry[Member::kStyle] = window.style;
    entry[Member::kExStyle] = window.exStyle;
    // The page shows meanings, so that it never has to know the masks.
    entry[Member::kTopmost] = (window.exStyle & WS_EX_TOPMOST) != 0;
    entry[Member::kToolWindow] = (window.exStyle & WS_EX_TOOLWINDOW) != 0;
    entry[Member::kRect] = RectJson(window.rect);
    // The visible frame, only where it is not the rectangle.
    entry[Member::kFrame] = ::EqualRect(&window.frame, &window.rect) ? json(nullptr) : RectJson(window.frame);
    entry[Member::kZone] =
        window.zone == InvalidRectangle ? json(nullptr) : json(ToUtf8(GetZonePositionName(window.zone)));
    entry[Member::kMonitor] = window.monitor == 0 ? json(nullptr) : json(FormatHandle(window.monitor));
    entry[Member::kOutcome] = window.watch.missed ? Member::kMissed : saved ? Member::kSaved : Member::kSkipped;
    entry[Member::kSkipReason] = window.watch.missed ? json(nullptr) : NameOrNull(SkipReasonName(window.skipReason));
    entry[Member::kFolder] = saved ? json(ToUtf8(window.folder)) : json(nullptr);
    entry[Member::kPictureSource] = saved ? NameOrNull(PictureSourceName(window.shot.pictureSource)) : json(nullptr);
    entry[Member::kResults] = saved ? json{{Member::kRecordResult, StepResultOrNull(window.shot.record)},
                                           {Member::kWindowResult, StepResultOrNull(window.shot.window)},
                                           {Member::kMonitorResult, StepResultOrNull(window.shot.monitor)}}
                                    : json(nullptr);
    entry[Member::kMonitorSkipped] = saved ? NameOrNull(window.shot.monitorSkipped) : json(nullptr);
    entry[Member::kPictureSkipped] = saved ? NameOrNull(window.shot.pictureSkipped) : json(nullptr);
    entry[Member::kKind] = WindowKindName(JudgeWindowKind(window.className, window.style, window.exStyle));
    entry[Member::kHung] = saved && !window.shot.windowAnswered;
    entry[Member::kNewSinceLastRun] = window.newSinceLastRun;
    entry[Member::kProcess] = window.hasProcess ? json{{Member::kProcessId, window.processId},
                                                       {Member::kStartedAt, TextOrNull(window.processStartedAt)}}
                                                 : json(nullptr);
    entry[Member::kAppearedAt] = TextOrNull(window.watch.appearedAt);
    entry[Member::kCaughtBy] = CaughtByName(window.watch.caughtBy);
    entry[Member::kSavedAfterMs] = CountOrNull(window.watch.savedAfterMs);
    entry[Member::kGoneAt] = TextOrNull(window.watch.goneAt);
    entry[Member::kShownForMs] = CountOrNull(window.watch.shownForMs);
    entry[Member::kPictureDropped] = TextOrNull(window.watch.pictureDropped);
    entry[Member::kPicturesStopped] = saved ? NameOrNull(window.shot.picturesStopped) : json(nullptr);
    AddAppearanceMembers(entry, window, saved);
    return entry;
}

namespace {

json OptionalText(const std::optional<std::wstring>& text)
{
    return text ? json(ToUtf8(*text)) : json(nullptr);
}

} // namespace

json ProcessJson(const RunProcess& process)
{
    const ProcessFacts& facts = process.facts;
    json entry;
    entry[Member::kProcessId] = facts.processId;
    entry[Member::kStartedAt] = TextOrNull(process.startedAt);
    entry[Member::kImagePath] = ToUtf8(facts.imagePath);
    entry[Member::kCommandLine] = OptionalText(facts.commandLine);
    entry[Member::kParentProcessId] = facts.parentProcessId ? json(*facts.parentProcessId) : json(nullptr);
    entry[Member::kParentImagePath] = OptionalText(facts.parentImagePath);
    entry[Member::kParentGone] = facts.parentGone;
    entry[Member::kParentUnreadable] = facts.parentUnreadable;
    entry[Member::kCompany] = OptionalText(facts.version.company);
    entry[Member::kProduct] = OptionalText(facts.version.product);
    entry[Member::kDescription] = OptionalText(facts.version.description);
    entry[Member::kFileVersion] = OptionalText(facts.version.fileVersion);
    entry[Member::kOriginalFilename] = OptionalText(facts.version.originalFilename);
    entry[Member::kSignature] = SignatureStateName(process.signature.state);
    entry[Member::kSigner] = OptionalText(process.signature.signer);
    entry[Member::kSignatureResult] = static_cast<std::int32_t>(process.signature.result);
    const char* signedBy = SignatureSourceName(process.signature.source);
    entry[Member::kSignedBy] = signedBy != nullptr ? json(signedBy) : json(nullptr);
    entry[Member::kCatalog] = OptionalText(process.signature.catalog);
    return entry;
}

namespace {

// The monitor picture of the first saved window on that monitor whose picture was written.
json MonitorPicture(const RunMonitor& monitor, const std::vector<RunWindow>& windows)
{
    for (const RunWindow& window : windows) {
        if (window.skipReason == SkipReason::None && window.monitor == monitor.handle &&
            SUCCEEDED(window.shot.monitor) && window.shot.monitorSkipped == nullptr) {
            return ToUtf8(window.folder) + "/" + ToUtf8(kMonitorPictureFileName);
        }
    }
    return nullptr;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
long long DaysFromCivil(int year, unsigned month, unsigned day) noexcept
{
    year -= month <= 2 ? 1 : 0;
    const long long era = year / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

bool ReadDigits(std::string_view text, size_t offset, size_t count, int& value) noexcept
{
    value = 0;
    for (size_t index = offset; index < offset + count; ++index) {
        if (text[index] < '0' || text[index] > '9') {
            return false;
        }
        value = value * 10 + (text[index] - '0');
    }
    return true;
}

} // namespace

std::string FormatLocalTime(const SYSTEMTIME& local, int offsetMinutes)
{
    const char sign = offsetMinutes < 0 ? '-' : '+';
    const int magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u%c%02d:%02d", local.wYear, local.wMonth,
                  local.wDay, local.wHour, local.wMinute, local.wSecond, local.wMilliseconds, sign, magnitude / 60,
                  magnitude % 60);
    return text;
}

bool ParseLocalTime(std::string_view text, long long& millisecondsUtc)
{
    // YYYY-MM-DDThh:mm:ss.mmm+hh:mm
    if (text.size() != 29 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != '.' || (text[23] != '+' && text[23] != '-') || text[26] != ':') {
        return false;
    }
    int year, month, day, hour, minute, second, millisecond, offsetHours, offsetMinutes;
    if (!ReadDigits(text, 0, 4, year) || !ReadDigits(text, 5, 2, month) || !ReadDigits(text, 8, 2, day) ||
        !ReadDigits(text, 11, 2, hour) || !ReadDigits(text, 14, 2, minute) || !ReadDigits(text, 17, 2, second) ||
        !ReadDigits(text, 20, 3, millisecond) || !ReadDigits(text, 24, 2, offsetHours) ||
        !ReadDigits(text, 27, 2, offsetMinutes)) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 ||
        offsetMinutes > 59) {
        return false;
    }
    const long long offset = (text[23] == '-' ? -1 : 1) * (offsetHours * 60LL + offsetMinutes);
    const long long minutes = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 1440 +
                              hour * 60LL + minute - offset;
    millisecondsUtc = (minutes * 60 + second) * 1000 + millisecond;
    return true;
}

std::string FormatHandle(std::uint64_t handle)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(handle));
    return text;
}

json MonitorJson(const RunMonitor& monitor, json picture)
{
    json entry = {{Member::kHandle, FormatHandle(monitor.handle)},
                  {Member::kRect, RectJson(monitor.rect)},
                  {Member::kWorkRect, RectJson(monitor.workRect)},
                  {Member::kFlags, monitor.flags},
                  {Member::kDevice, ToUtf8(monitor.device)},
                  {Member::kPicture, std::move(picture)},
                  {Member::kDpi, DpiOrNull(monitor.dpi)}};
    // Only monitors that came while a watch ran have it.
    if (!monitor.since.empty()) {
        entry[Member::kSince] = monitor.since;
    }
    return entry;
}

json GoneJson(const std::vector<GoneWindow>& gone)
{
    json list = json::array();
    for (const GoneWindow& window : gone) {
        list.push_back({{Member::kImagePath, window.key.imagePath},
                        {Member::kClassName, window.key.className},
                        {Member::kCaption, window.key.caption},
                        {Member::kCount, window.count}});
    }
    return list;
}

json WatchJson(const WatchSummary& watch)
{
    return !watch.watched ? json(nullptr)
                          : json{{Member::kSince, watch.since},
                                 {Member::kForSeconds, watch.forSeconds == 0 ? json(nullptr) : json(watch.forSeconds)},
                                 {Member::kRunning, watch.running},
                                 {Member::kMaxSize, watch.maxRunBytes},
                                 {Member::kBytesWritten, watch.bytesWritten},
                                 {Member::kPicturesStoppedAt, TextOrNull(watch.picturesStoppedAt)},
                                 {Member::kPicturesStopped, NameOrNull(watch.picturesStopped)},
                                 {Member::kPicturesDroppedQueueFull, watch.picturesDroppedQueueFull}};
}

std::string DumpCompact(const RecordJson& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string DumpRecord(RecordParts parts)
{
    json record;
    record[Member::kTool] = Member::kToolName;
    record[Member::kFormatVersion] = Member::kVersion;
    record[Member::kStartedAt] = parts.startedAt;
    record[Member::kEndedAt] = parts.endedAt;
    if (!parts.ended.empty()) {
        record[Member::kEnded] = parts.ended;
    }
    record[Member::kOutputDirectory] = parts.outputDirectory;
    record[Member::kComputerName] = parts.computerName;
    record[Member::kMonitors] = std::move(parts.monitors);
    record[Member::kWindows] = json::array();
    record[Member::kPreviousRun] = std::move(parts.previousRun);
    record[Member::kGoneSinceLastRun] = std::move(parts.gone);
    record[Member::kProcesses] = std::move(parts.processes);
    record[Member::kWatch] = std::move(parts.watch);
    // Lone surrogates in a caption come out of the conversion as U+FFFD, so the text is valid
    // UTF-8; the replacement handler only guards against a slip.
    const std::string frame = record.dump(1, '\t', false, json::error_handler_t::replace) + "\n";
    if (parts.windows.empty()) {
        return frame;
    }
    // The entries go where the empty list stands: no string holds a line break unescaped, so
    // this text can only be the record's own member.
    constexpr std::string_view kNoWindows = "\n\t\"windows\": []";
    const size_t close = frame.find(kNoWindows) + kNoWindows.size() - 1;
    size_t size = frame.size();
    for (const std::string_view entry : parts.windows) {
        size += entry.size() + entry.size() / 4 + 8;
    }
    std::string text;
    text.reserve(size);
    text.append(frame, 0, close);
    const auto indent = [&](std::string& out, size_t from, size_t to) {
        for (size_t index = from; index < to; ++index) {
            const std::string_view entry = parts.windows[index];
            out.append(index == 0 ? "\n\t\t" : ",\n\t\t");
            const RecordParts::NewMark mark =
                index < parts.newSinceLastRun.size() ? parts.newSinceLastRun[index] : RecordParts::NewMark::Unmarked;
            // Each entry was made by the library or checked on reading, so it is in the compact form.
            const bool indented =
                mark == RecordParts::NewMark::Unmarked
                    ? AppendIndented(out, entry, 2)
                    : AppendIndented(out, entry, 2,
                                     CompactMember{RecordParts::kNewMarkKey, mark == RecordParts::NewMark::New ? "true" : "false"});
            if (!indented) {
                out.append("null");
            }
        }
    };
    // The entries of a long watch, tens of MB, are indented a half on each of two threads: the
    // watch's end waits for them.
    constexpr size_t kEntriesWorthAThread = 4096;
    const size_t count = parts.windows.size();
    if (count < kEntriesWorthAThread) {
        indent(text, 0, count);
    } else {
        std::string secondHalf;
        {
            TalvexBasic::Threads::JoiningThread second([&] {
                secondHalf.reserve((size - frame.size()) / 2 + 1024);
                indent(secondHalf, count / 2, count);
            });
            indent(text, 0, count / 2);
        }
        text.append(secondHalf);
    }
    text.append("\n\t");
    text.append(frame, close, std::string::npos);
    return text;
}

std::string MakeRunRecordJson(const RunSummary& run)
{
    RecordParts parts;
    parts.startedAt = run.startedAt;
    parts.endedAt = run.endedAt;
    parts.outputDirectory = ToUtf8(run.outputDirectory);
    parts.computerName = ToUtf8(run.computerName);
    for (const RunMonitor& monitor : run.monitors) {
        parts.monitors.push_back(MonitorJson(monitor, MonitorPicture(monitor, run.windows)));
    }
    std::vector<std::string> entries;
    entries.reserve(run.windows.size());
    for (const RunWindow& window : run.windows) {
        entries.push_back(DumpCompact(WindowJson(window)));
    }
    parts.windows.assign(entries.begin(), entries.end());
    parts.previousRun = run.previousRun.empty() ? json(nullptr) : json(ToUtf8(run.previousRun));
    parts.gone = GoneJson(run.gone);
    for (const RunProcess& process : run.processes) {
        parts.processes.push_back(ProcessJson(process));
    }
    parts.watch = WatchJson(run.watch);
    return DumpRecord(std::move(parts));
}

} // namespace Morvane
