#include "WatchProbe.h"

#include "record/RunRecord.h"
#include "support/JpegReader.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "system/HResult.h"
#include "watch/WatchSignals.h"

#include <psapi.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace MorvaneBench {

using nlohmann::json;

long long UtcMilliseconds()
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    // 100 ns steps since 1601 to milliseconds since 1970.
    return static_cast<long long>(ticks / 10000) - 11644473600000LL;
}

std::string Handle(HWND window)
{
    return Morvane::FormatHandle(TalvexBasic::PointerBits(window));
}

double Percentile(std::vector<double> values, double share)
{
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

bool PictureShows(const std::wstring& folder, const json& entry, const Shown& shown)
{
    if (entry["outcome"] != "saved" || !entry["folder"].is_string()) {
        return false;
    }
    TestSupport::DecodedImage image;
    std::string reason;
    if (!TestSupport::DecodeJpegFile(TestSupport::RecordPath(folder, entry["folder"]) + L"\\Morvane.Window.jpg", image,
                                     reason)) {
        return false;
    }
    const TestSupport::Rgb found = image.MeanAround(image.width / 2, image.height / 2, 4);
    if (shown.box) {
        return found.red + found.green + found.blue > 3 * 48;
    }
    return TestSupport::IsNear(found, GetRValue(shown.fill), GetGValue(shown.fill), GetBValue(shown.fill));
}

std::wstring UnixProcessFolder(std::initializer_list<std::string> parts)
{
    const auto normal = [](std::string text) {
        std::replace(text.begin(), text.end(), '/', '\\');
        std::transform(text.begin(), text.end(), text.begin(),
                       [](char letter) { return static_cast<char>(std::tolower(static_cast<unsigned char>(letter))); });
        return text;
    };
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(L"Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::wstring match;
    do {
        if (found.cFileName[0] < L'0' || found.cFileName[0] > L'9') {
            continue;
        }
        const std::wstring folder = std::wstring(L"Z:\\proc\\") + found.cFileName;
        std::string commandLine = TestSupport::ReadWholeFile(folder + L"\\cmdline");
        std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
        commandLine = normal(commandLine);
        if (std::all_of(parts.begin(), parts.end(),
                        [&](const std::string& part) { return commandLine.find(normal(part)) != std::string::npos; })) {
            match = folder;
            break;
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return match;
}

double UnixCpuOf(const std::wstring& unixFolder)
{
    if (unixFolder.empty()) {
        return -1;
    }
    const std::string stat = TestSupport::ReadWholeFile(unixFolder + L"\\stat");
    const size_t afterName = stat.rfind(')');
    if (afterName == std::string::npos) {
        return -1;
    }
    // After the name: state, then ten fields, then utime and stime in clock ticks (1/100 s).
    std::istringstream fields(stat.substr(afterName + 1));
    std::string field;
    double ticks = 0;
    for (int index = 0; index < 13 && fields >> field; ++index) {
        if (index >= 11) {
            ticks += std::strtod(field.c_str(), nullptr);
        }
    }
    return ticks * 10.0;
}

long long UnixBytesWrittenOf(const std::wstring& unixFolder)
{
    if (unixFolder.empty()) {
        return -1;
    }
    std::istringstream lines(TestSupport::ReadWholeFile(unixFolder + L"\\io"));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("wchar:", 0) == 0) {
            return std::strtoll(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

UnixMemory UnixMemoryOf(const std::wstring& unixFolder)
{
    UnixMemory memory;
    if (unixFolder.empty()) {
        return memory;
    }
    std::istringstream lines(TestSupport::ReadWholeFile(unixFolder + L"\\status"));
    for (std::string line; std::getline(lines, line);) {
        // "VmRSS:     12345 kB"
        if (line.rfind("VmRSS:", 0) == 0) {
            memory.residentBytes = std::strtoll(line.c_str() + 6, nullptr, 10) * 1024;
        } else if (line.rfind("RssAnon:", 0) == 0) {
            memory.anonymousBytes = std::strtoll(line.c_str() + 8, nullptr, 10) * 1024;
        }
    }
    return memory;
}

long HandleCountOf(DWORD processId)
{
    struct HandleEntry {
        PVOID object;
        ULONG_PTR processId;
        ULONG_PTR value;
        ULONG access;
        USHORT creatorBackTraceIndex;
        USHORT typeIndex;
        ULONG attributes;
        ULONG reserved;
    };
    struct HandleTable {
        ULONG_PTR count;
        ULONG_PTR reserved;
        HandleEntry entries[1];
    };
    using QuerySystem = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QuerySystem>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) {
        return -1;
    }
    constexpr ULONG kExtendedHandleInformation = 64;
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004L);
    std::vector<unsigned char> buffer(1 << 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status =
            query(kExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 65536));
            continue;
        }
        if (status < 0) {
            return -1;
        }
        const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
        long count = 0;
        for (ULONG_PTR index = 0; index < table->count; ++index) {
            count += table->entries[index].processId == processId ? 1 : 0;
        }
        return count;
    }
    return -1;
}

ProcessUse UseOf(HANDLE process, DWORD processId, const std::wstring& unixFolder)
{
    ProcessUse use;
    FILETIME created{}, exited{}, kernel{}, user{};
    if (::GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        const auto ms = [](const FILETIME& time) {
            return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) |
                                       time.dwLowDateTime) /
                   10000.0;
        };
        use.cpuMs = ms(kernel) + ms(user);
    }
    use.unixCpuMs = UnixCpuOf(unixFolder.empty() ? UnixProcessFolder({"Morvane.exe", "--watch"}) : unixFolder);
    use.serverCpuMs = UnixCpuOf(UnixProcessFolder({"wineserver"}));
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
        use.workingSet = counters.WorkingSetSize;
        use.privateBytes = counters.PrivateUsage;
    }
    use.handles = HandleCountOf(processId);
    use.gdiObjects = ::GetGuiResources(process, GR_GDIOBJECTS);
    use.userObjects = ::GetGuiResources(process, GR_USEROBJECTS);
    return use;
}

void PrintUse(const char* when, const ProcessUse& use)
{
    std::printf("  %-40s working set %6.1f MiB, private %6.1f MiB, %4ld handles, %lu GDI / %lu USER objects\n", when,
                static_cast<double>(use.workingSet) / 1048576.0, static_cast<double>(use.privateBytes) / 1048576.0,
                use.handles, static_cast<unsigned long>(use.gdiObjects), static_cast<unsigned long>(use.userObjects));
}

void PrintCpu(const char* what, const ProcessUse& from, const ProcessUse& to, long long elapsedMs)
{
    const auto share = [&](double fromMs, double toMs) {
        return fromMs < 0 || toMs < 0 ? -1.0 : (toMs - fromMs) * 100.0 / static_cast<double>(elapsedMs);
    };
    std::printf("%s: %.2f%% of one core as Linux counts the process (GetProcessTimes: %.2f%%); wineserver "
                "meanwhile %.2f%%\n",
                what, share(from.unixCpuMs, to.unixCpuMs), share(from.cpuMs, to.cpuMs),
                share(from.serverCpuMs, to.serverCpuMs));
}

TestSupport::FixtureWindowSpec ShownLayout(int index)
{
    const int slot = index % 40;
    TestSupport::FixtureWindowSpec layout;
    const LONG left = 20 + (slot % 8) * 236;
    const LONG top = 20 + (slot / 8) * 200;
    layout.rect = RECT{left, top, left + 220, top + 180};
    layout.caption = L"Watch bench";
    layout.className = L"MorvaneFixtureFlash";
    layout.fill = RGB(40 + (index * 53) % 200, 40 + (index * 97) % 200, 40 + (index * 29) % 200);
    return layout;
}

std::vector<Shown> ShowWindows(TestSupport::FixtureProcess& fixture, unsigned durationMs, int count, int firstIndex,
                               DWORD pauseMs)
{
    std::vector<Shown> shown;
    for (int index = 0; index < count; ++index) {
        const TestSupport::FixtureWindowSpec layout = ShownLayout(firstIndex + index);
        Shown entry;
        entry.window = fixture.Flash(layout, durationMs);
        entry.shownAt = UtcMilliseconds();
        entry.durationMs = durationMs;
        entry.fill = layout.fill;
        if (entry.window) {
            shown.push_back(entry);
        }
        ::Sleep(pauseMs);
    }
    return shown;
}

void ReportShown(const char* what, const std::vector<Shown>& windows, const EntriesByHandle& entries,
                 const std::wstring& folder)
{
    int caught = 0;
    int withPicture = 0;
    int wrongPicture = 0;
    std::map<std::string, int> outcomes;
    std::vector<double> seen;
    std::vector<double> pictured;
    for (const Shown& shown : windows) {
        const auto found = entries.find(Handle(shown.window.handle));
        if (found == entries.end()) {
            ++outcomes["no entry"];
            continue;
        }
        // A handle comes back for later windows: the entry is the one that appeared nearest
        // after this window was shown, while it showed.
        const json* match = nullptr;
        long long appeared = 0;
        for (const json& candidate : found->second) {
            long long at = 0;
            if (candidate["appearedAt"].is_string() &&
                Morvane::ParseLocalTime(candidate["appearedAt"].get<std::string>(), at) && at >= shown.shownAt - 50 &&
                at <= shown.shownAt + shown.durationMs + 1000 && (match == nullptr || at < appeared)) {
                match = &candidate;
                appeared = at;
            }
        }
        if (match == nullptr) {
            ++outcomes["no entry"];
            continue;
        }
        const json& entry = *match;
        ++caught;
        std::string outcome = entry["outcome"].is_string() ? entry["outcome"].get<std::string>() : "?";
        if (entry["pictureDropped"].is_string()) {
            outcome += ", picture dropped: " + entry["pictureDropped"].get<std::string>();
        }
        seen.push_back(static_cast<double>(appeared - shown.shownAt));
        if (entry["savedAfterMs"].is_number()) {
            pictured.push_back(static_cast<double>(appeared - shown.shownAt) + entry["savedAfterMs"].get<double>());
            if (PictureShows(folder, entry, shown)) {
                ++withPicture;
            } else {
                ++wrongPicture;
                outcome += ", picture shows something else";
            }
        }
        ++outcomes[outcome];
    }
    std::printf("%-26s %4zu shown, %4d with an entry, %4d (%5.1f%%) with a picture that shows them, %d with one "
                "that does not; shown to seen median %5.0f ms p95 %5.0f ms; shown to picture written median "
                "%5.0f ms p95 %5.0f ms\n",
                what, windows.size(), caught, withPicture,
                windows.empty() ? 0.0 : withPicture * 100.0 / static_cast<double>(windows.size()), wrongPicture,
                Percentile(seen, 0.5), Percentile(seen, 0.95), Percentile(pictured, 0.5), Percentile(pictured, 0.95));
    for (const auto& [outcome, count] : outcomes) {
        std::printf("    %5d  %s\n", count, outcome.c_str());
    }
}

void PrintEnding(const std::wstring& folder)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((folder + L"\\Log\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            continue;
        }
        std::istringstream lines(TestSupport::ReadWholeFile(folder + L"\\Log\\" + found.cFileName));
        std::vector<std::string> ending;
        for (std::string line; std::getline(lines, line);) {
            if (line.find("Watching stops") != std::string::npos) {
                ending.clear();
            }
            ending.push_back(line);
        }
        for (size_t index = 0; index < ending.size() && index < 12; ++index) {
            std::printf("  log: %s\n", ending[index].c_str());
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

bool WatchProcess::Start(const std::wstring& extraArguments)
{
    std::wstring commandLine = L"\"" + TestSupport::ProgramDirectory() + L"\\Morvane.exe\" --watch";
    if (!extraArguments.empty()) {
        commandLine += L" " + extraArguments;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION information{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &information)) {
        return false;
    }
    ::CloseHandle(information.hThread);
    mProcess.reset(information.hProcess);
    mProcessId = information.dwProcessId;
    return true;
}

std::wstring WatchProcess::StartWatching(const std::wstring& extraArguments)
{
    if (!Start(extraArguments)) {
        std::printf("Morvane.exe --watch did not start\n");
        return {};
    }
    const std::wstring folder = TestSupport::WaitForWatchFolder(Morvane::kWatchFolderMappingName, 900000);
    if (folder.empty()) {
        std::printf("the watch did not start\n");
        (void)Morvane::SignalRunningWatchToStop();
        (void)ConfirmCompletion(60000);
        (void)WaitForExit(10000);
    }
    return folder;
}

long long WatchProcess::ConfirmCompletion(DWORD timeoutMs)
{
    for (DWORD waited = 0; waited < timeoutMs; waited += 5) {
        struct Search {
            DWORD processId;
            HWND box;
        } search{mProcessId, nullptr};
        ::EnumWindows(
            [](HWND window, LPARAM parameter) -> BOOL {
                auto& found = *reinterpret_cast<Search*>(parameter);
                DWORD processId = 0;
                ::GetWindowThreadProcessId(window, &processId);
                wchar_t className[16] = {};
                ::GetClassNameW(window, className, 16);
                if (processId == found.processId && ::IsWindowVisible(window) && std::wstring(className) == L"#32770") {
                    found.box = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.box != nullptr) {
            const long long seenAt = UtcMilliseconds();
            ::PostMessageW(search.box, WM_COMMAND, IDOK, 0);
            return seenAt;
        }
        ::Sleep(5);
    }
    return -1;
}

DWORD WatchProcess::WaitForExit(DWORD timeoutMs)
{
    DWORD exitCode = STILL_ACTIVE;
    if (::WaitForSingleObject(mProcess.get(), timeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(mProcess.get(), 0xDEAD);
        ::WaitForSingleObject(mProcess.get(), 5000);
    }
    ::GetExitCodeProcess(mProcess.get(), &exitCode);
    return exitCode;
}

} // namespace MorvaneBench
