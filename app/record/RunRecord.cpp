#include "record/RunRecord.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>

namespace Morvane {
namespace {

// Members keep the order in which they are written.
using json = nlohmann::ordered_json;

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

json RectJson(const RECT& rect)
{
    return json{{"left", rect.left}, {"top", rect.top}, {"right", rect.right}, {"bottom", rect.bottom}};
}

json DpiOrNull(std::uint32_t dpi)
{
    return dpi == 0 ? json(nullptr) : json(dpi);
}

// How the window showed and what its picture shows. Skipped windows were not looked at.
void AddAppearanceMembers(json& entry, const RunWindow& window, bool saved)
{
    entry["dpi"] = saved ? DpiOrNull(window.shot.appearance.dpi) : json(nullptr);
    entry["minimised"] = saved && window.shot.appearance.minimised;
    entry["cloaked"] = saved && window.shot.appearance.cloaked;
    if (saved && window.shot.pictureSource == PictureSource::Screen) {
        json handles = json::array();
        for (const std::uint64_t handle : window.coveredBy) {
            handles.push_back(FormatHandle(handle));
        }
        // Four decimals say enough of a share, and keep the record readable.
        entry["coveredBy"] = json{{"handles", handles}, {"share", std::round(window.coveredShare * 10000) / 10000}};
    } else {
        entry["coveredBy"] = nullptr;
    }
    if (saved && window.shot.pictureSource != PictureSource::None && window.shot.pictureOneColour) {
        char colour[8];
        std::snprintf(colour, sizeof colour, "#%02x%02x%02x", GetRValue(window.shot.pictureColour),
                      GetGValue(window.shot.pictureColour), GetBValue(window.shot.pictureColour));
        entry["pictureColour"] = colour;
    } else {
        entry["pictureColour"] = nullptr;
    }
}

json WindowJson(const RunWindow& window)
{
    const bool saved = window.skipReason == SkipReason::None;
    json entry;
    entry["handle"] = FormatHandle(window.handle);
    entry["processId"] = window.processId;
    entry["threadId"] = window.threadId;
    entry["caption"] = ToUtf8(window.caption);
    entry["className"] = ToUtf8(window.className);
    entry["imagePath"] = ToUtf8(window.imagePath);
    entry["style"] = window.style;
    entry["exStyle"] = window.exStyle;
    entry["rect"] = RectJson(window.rect);
    entry["zone"] = window.zone == InvalidRectangle ? json(nullptr) : json(ToUtf8(GetZonePositionName(window.zone)));
    entry["monitor"] = window.monitor == 0 ? json(nullptr) : json(FormatHandle(window.monitor));
    entry["outcome"] = saved ? "saved" : "skipped";
    entry["skipReason"] = NameOrNull(SkipReasonName(window.skipReason));
    entry["folder"] = saved ? json(ToUtf8(window.folder)) : json(nullptr);
    entry["pictureSource"] = saved ? NameOrNull(PictureSourceName(window.shot.pictureSource)) : json(nullptr);
    entry["results"] = saved ? json{{"record", static_cast<std::int32_t>(window.shot.record)},
                                    {"window", static_cast<std::int32_t>(window.shot.window)},
                                    {"monitor", static_cast<std::int32_t>(window.shot.monitor)}}
                             : json(nullptr);
    entry["hung"] = saved && !window.shot.windowAnswered;
    entry["newSinceLastRun"] = window.newSinceLastRun;
    AddAppearanceMembers(entry, window, saved);
    return entry;
}

// The monitor picture of the first saved window on that monitor whose picture was written.
json MonitorPicture(const RunMonitor& monitor, const std::vector<RunWindow>& windows)
{
    for (const RunWindow& window : windows) {
        if (window.skipReason == SkipReason::None && window.monitor == monitor.handle &&
            SUCCEEDED(window.shot.monitor)) {
            return ToUtf8(window.folder) + "/Morvane.DisplayMonitor.jpg";
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

SkipReason ClassifySkipReason(HRESULT sampleResult, const WindowInfo& record) noexcept
{
    if ((record.mStyle & WS_VISIBLE) == 0) {
        return SkipReason::Invisible;
    }
    if (SUCCEEDED(sampleResult)) {
        return SkipReason::None;
    }
    if (sampleResult == E_ABORT) {
        // Refused after the owner was known: the rectangle, the monitor or the zone was unusable.
        return record.mProcessId != 0 && record.mThreadId != 0 ? SkipReason::TooSmall : SkipReason::SampleFailed;
    }
    // Before the zone is known only the first OpenProcess fails with an error of its own; after
    // it, a denied second OpenProcess is told apart from a failed image path query.
    if (record.mZonePosition == InvalidRectangle || sampleResult == E_ACCESSDENIED) {
        return SkipReason::ProcessNotOpened;
    }
    return SkipReason::SampleFailed;
}

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

std::wstring RelativeFolder(std::wstring_view outputDirectory, std::wstring_view folder)
{
    if (folder.size() > outputDirectory.size() && folder.compare(0, outputDirectory.size(), outputDirectory) == 0 &&
        folder[outputDirectory.size()] == L'\\') {
        folder.remove_prefix(outputDirectory.size() + 1);
    }
    while (!folder.empty() && folder.back() == L'\\') {
        folder.remove_suffix(1);
    }
    std::wstring relative(folder);
    for (wchar_t& character : relative) {
        if (character == L'\\') {
            character = L'/';
        }
    }
    return relative;
}

std::string ToUtf8(std::wstring_view text)
{
    if (text.empty()) {
        return {};
    }
    const int wideLength = static_cast<int>(text.size());
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wideLength, utf8.data(), length, nullptr, nullptr);
    }
    return utf8;
}

std::wstring FromUtf8(std::string_view text)
{
    if (text.empty()) {
        return {};
    }
    const int narrowLength = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), narrowLength, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), narrowLength, wide.data(), length);
    }
    return wide;
}

std::string MakeRunRecordJson(const RunSummary& run)
{
    json record;
    record["tool"] = "Morvane";
    record["formatVersion"] = 1;
    record["startedAt"] = run.startedAt;
    record["endedAt"] = run.endedAt;
    record["outputDirectory"] = ToUtf8(run.outputDirectory);
    record["computerName"] = ToUtf8(run.computerName);

    json monitors = json::array();
    for (const RunMonitor& monitor : run.monitors) {
        monitors.push_back({{"handle", FormatHandle(monitor.handle)},
                            {"rect", RectJson(monitor.rect)},
                            {"workRect", RectJson(monitor.workRect)},
                            {"flags", monitor.flags},
                            {"device", ToUtf8(monitor.device)},
                            {"picture", MonitorPicture(monitor, run.windows)},
                            {"dpi", DpiOrNull(monitor.dpi)}});
    }
    record["monitors"] = std::move(monitors);

    json windows = json::array();
    for (const RunWindow& window : run.windows) {
        windows.push_back(WindowJson(window));
    }
    record["windows"] = std::move(windows);

    record["previousRun"] = run.previousRun.empty() ? json(nullptr) : json(ToUtf8(run.previousRun));
    json gone = json::array();
    for (const GoneWindow& window : run.gone) {
        gone.push_back({{"imagePath", window.key.imagePath},
                        {"className", window.key.className},
                        {"caption", window.key.caption},
                        {"count", window.count}});
    }
    record["goneSinceLastRun"] = std::move(gone);
    // Lone surrogates in a caption come out of the conversion as U+FFFD, so the text is valid
    // UTF-8; the replacement handler only guards against a slip.
    return record.dump(1, '\t', false, json::error_handler_t::replace) + "\n";
}

} // namespace Morvane
