#include "LongWatch.h"

#include "BenchClock.h"
#include "DiskTally.h"
#include "WatchProbe.h"
#include "WritingRate.h"
#include "record/RunJournal.h"
#include "support/DebugCapture.h"
#include "support/FileIdentity.h"
#include "support/FixtureProcess.h"
#include "support/JpegReader.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "watch/WatchSignals.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace MorvaneBench {
namespace {

using nlohmann::json;

constexpr wchar_t kJournalName[] = L"Morvane.Run.jsonl";
constexpr int kTen = 10;
constexpr unsigned kTenShownMs = 300;
constexpr int kSenders = 8;

double Mebibytes(double bytes)
{
    return bytes / 1048576.0;
}

long long FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return static_cast<long long>((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

// The bytes of the file from offset on, up to its last complete line.
std::string ReadWholeLinesFrom(const std::wstring& path, long long offset)
{
    std::string content = TestSupport::ReadFileFrom(path, offset);
    const size_t lastEnd = content.rfind('\n');
    content.resize(lastEnd == std::string::npos ? 0 : lastEnd + 1);
    return content;
}

// Each second: the journal's size and the bytes the watch's process has handed to write calls.
class SecondSampler {
public:
    SecondSampler(std::wstring journal, std::wstring unixFolder)
        : mJournal(std::move(journal)), mUnixFolder(std::move(unixFolder)), mThread([this] { Run(); })
    {
    }
    ~SecondSampler() { Stop(); }
    SecondSampler(const SecondSampler&) = delete;
    SecondSampler& operator=(const SecondSampler&) = delete;

    void Stop()
    {
        mStop = true;
        if (mThread.joinable()) {
            mThread.join();
        }
    }
    // The seconds sampled from..to (UTC ms).
    [[nodiscard]] std::vector<WriteSample> Between(long long from, long long to)
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        std::vector<WriteSample> found;
        std::copy_if(mSeconds.begin(), mSeconds.end(), std::back_inserter(found),
                     [&](const WriteSample& second) { return second.at >= from && second.at <= to; });
        return found;
    }

private:
    void Run()
    {
        while (!mStop) {
            WriteSample second{UtcMilliseconds(), FileSize(mJournal), UnixBytesWrittenOf(mUnixFolder)};
            {
                const std::lock_guard<std::mutex> lock(mMutex);
                mSeconds.push_back(second);
            }
            ::Sleep(1000);
        }
    }

    std::wstring mJournal;
    std::wstring mUnixFolder;
    std::mutex mMutex;
    std::vector<WriteSample> mSeconds;
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

// One stretch of the watch between two readings of its memory.
struct Stretch {
    std::string label; // how many windows were shown by its end
    long long at = 0;  // UTC ms at its end
    ProcessUse use;
    UnixMemory memory;
    long long journalBytes = 0;
    // The journal lines the watch appended during the stretch, appended again by the benchmark
    // with the watch's own writer to a journal of its own of the same size on the same disk.
    JournalStretch journal;
    WritingRate rate;
};

// Replays the watch's journal lines, read since the last stretch, into the benchmark's own journal.
class JournalReplay {
public:
    explicit JournalReplay(std::wstring watchJournal)
        : mWatchJournal(std::move(watchJournal)), mScratch(TestSupport::MakeScratchDirectory(L"long-watch-journal"))
    {
        mOpen = mJournal.Open(mScratch);
    }
    ~JournalReplay()
    {
        mJournal.Close();
        TestSupport::RemoveTree(mScratch);
    }
    JournalReplay(const JournalReplay&) = delete;
    JournalReplay& operator=(const JournalReplay&) = delete;

    void Into(Stretch& stretch)
    {
        const std::string added = ReadWholeLinesFrom(mWatchJournal, mOffset);
        mOffset += static_cast<long long>(added.size());
        stretch.journal.bytes = static_cast<long long>(added.size());
        stretch.journalBytes = mOffset;
        if (!mOpen) {
            return;
        }
        size_t from = 0;
        for (size_t end = added.find('\n'); end != std::string::npos; end = added.find('\n', from)) {
            const std::string line = added.substr(from, end + 1 - from);
            const double start = Now();
            mJournal.Append(line);
            stretch.journal.appendMs += Now() - start;
            ++stretch.journal.lines;
            from = end + 1;
        }
    }

private:
    std::wstring mWatchJournal;
    std::wstring mScratch;
    Morvane::RunJournal mJournal;
    bool mOpen = false;
    long long mOffset = 0;
};

// The ten windows of 300 ms, shown one after another.
std::vector<Shown> ShowTen(TestSupport::FixtureProcess& fixture, int firstIndex)
{
    return ShowWindows(fixture, kTenShownMs, kTen, firstIndex, kTenShownMs + 150);
}

// Waits until the journal has not grown for two seconds (the watch has caught up), at most a
// minute; the milliseconds waited.
long long WaitForQuietJournal(const std::wstring& journal)
{
    const long long from = UtcMilliseconds();
    long long size = FileSize(journal);
    long long sameSince = from;
    while (UtcMilliseconds() - sameSince < 2000 && UtcMilliseconds() - from < 60000) {
        ::Sleep(100);
        const long long now = FileSize(journal);
        if (now != size) {
            size = now;
            sameSince = UtcMilliseconds();
        }
    }
    return UtcMilliseconds() - from;
}

struct JournalFigures {
    int windowLines = 0;
    std::map<std::string, int> lineKinds;
    std::map<std::string, int> outcomes; // of the entries of the short windows
    std::vector<double> savedAfterMs;    // of the short windows with a window picture
    EntriesByHandle samples;             // the entries of the handles asked for
};

JournalFigures ReadJournal(const std::wstring& journal, const std::set<std::string>& sampleHandles)
{
    JournalFigures figures;
    std::istringstream lines(TestSupport::ReadWholeFile(journal));
    for (std::string text; std::getline(lines, text);) {
        const json line = json::parse(text, nullptr, false);
        if (line.is_discarded() || !line["line"].is_string()) {
            ++figures.lineKinds["unreadable"];
            continue;
        }
        const std::string kind = line["line"].get<std::string>();
        ++figures.lineKinds[kind];
        if (kind != "window") {
            continue;
        }
        ++figures.windowLines;
        const json& entry = line["entry"];
        const std::string handle = entry["handle"].is_string() ? entry["handle"].get<std::string>() : "";
        if (sampleHandles.count(handle) != 0) {
            figures.samples[handle].push_back(entry);
        }
        if (entry["caption"] == "Long watch") {
            std::string outcome = entry["outcome"].is_string() ? entry["outcome"].get<std::string>() : "?";
            if (entry["pictureDropped"].is_string()) {
                outcome += ", picture dropped: " + entry["pictureDropped"].get<std::string>();
            }
            ++figures.outcomes[outcome];
            if (entry["savedAfterMs"].is_number() && !entry["pictureDropped"].is_string()) {
                figures.savedAfterMs.push_back(entry["savedAfterMs"].get<double>());
            }
        }
    }
    return figures;
}

// The run folder's files by what they are, each by name and by file on the disk.
struct RunFolderDisk {
    DiskTally all;
    DiskTally windowFolders; // below WindowShot: text records and pictures
    DiskTally monitorPictures;
    DiskTally windowPictures;
    DiskTally log;
    int pictureFolders = 0; // window folders holding a window picture
};

void TallyFolder(const std::wstring& folder, const std::wstring& top, RunFolderDisk& disk)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        const std::wstring path = folder + L"\\" + name;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            TallyFolder(path, top.empty() ? name : top, disk);
            continue;
        }
        const unsigned long long bytes =
            (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        const TestSupport::FileIdentity identity = TestSupport::IdentifyFile(path);
        // A file that cannot be asked counts as a file of its own.
        const unsigned long long index = identity.read ? identity.index : disk.all.Names() + (1ULL << 62);
        disk.all.Add(identity.volume, index, bytes);
        if (top == L"WindowShot") {
            disk.windowFolders.Add(identity.volume, index, bytes);
        } else if (top == L"Log") {
            disk.log.Add(identity.volume, index, bytes);
        }
        if (name == L"Morvane.DisplayMonitor.jpg") {
            disk.monitorPictures.Add(identity.volume, index, bytes);
        } else if (name == L"Morvane.Window.jpg") {
            disk.windowPictures.Add(identity.volume, index, bytes);
            ++disk.pictureFolders;
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

double Megabytes(unsigned long long bytes)
{
    return static_cast<double>(bytes) / 1e6;
}

void PrintDisk(const RunFolderDisk& disk, int windows)
{
    const auto perWindow = [](unsigned long long bytes, int count) {
        return static_cast<double>(bytes) / std::max(1, count) / 1000.0;
    };
    std::printf(
        "\ndisk: the run folder's %llu files hold %.1f MB as stored (each file once), %.1f MB were every link a "
        "copy\n",
        disk.all.Names(), Megabytes(disk.all.StoredBytes()), Megabytes(disk.all.NamedBytes()));
    std::printf("  window folders: %.1f MB stored / %.1f MB copied; per window entry (%d) %.1f / %.1f KB, per folder "
                "with a window picture (%d) %.1f / %.1f KB\n",
                Megabytes(disk.windowFolders.StoredBytes()), Megabytes(disk.windowFolders.NamedBytes()), windows,
                perWindow(disk.windowFolders.StoredBytes(), windows),
                perWindow(disk.windowFolders.NamedBytes(), windows), disk.pictureFolders,
                perWindow(disk.windowFolders.StoredBytes(), disk.pictureFolders),
                perWindow(disk.windowFolders.NamedBytes(), disk.pictureFolders));
    std::printf("  monitor pictures: %llu names, %llu files, %.1f MB stored / %.1f MB copied; the log: %.1f MB\n",
                disk.monitorPictures.Names(), disk.monitorPictures.Files(),
                Megabytes(disk.monitorPictures.StoredBytes()), Megabytes(disk.monitorPictures.NamedBytes()),
                Megabytes(disk.log.StoredBytes()));
    std::printf("  window pictures: %llu names, %llu files, %.1f MB stored / %.1f MB copied\n",
                disk.windowPictures.Names(), disk.windowPictures.Files(), Megabytes(disk.windowPictures.StoredBytes()),
                Megabytes(disk.windowPictures.NamedBytes()));
}

void PrintStretches(const std::vector<Stretch>& stretches)
{
    std::printf("\n| windows shown | working set (Wine) | resident, anonymous (Linux) | handles | journal | journal "
                "lines a second | "
                "appending them, per second of watching | the busiest second | all the watch's writes |\n"
                "|---|---|---|---|---|---|---|---|---|\n");
    for (const Stretch& stretch : stretches) {
        std::printf(
            "| %s | %.1f MiB | %.1f, %.1f MiB | %ld | %.1f MB | %.0f | %.2f ms (%.3f ms a line) | %.0f KB, %.2f ms | "
            "%.0f KB/s |\n",
            stretch.label.c_str(), Mebibytes(static_cast<double>(stretch.use.workingSet)),
            Mebibytes(static_cast<double>(stretch.memory.residentBytes)),
            Mebibytes(static_cast<double>(stretch.memory.anonymousBytes)), stretch.use.handles,
            static_cast<double>(stretch.journalBytes) / 1e6, stretch.rate.linesPerSecond, stretch.rate.msPerSecond,
            stretch.rate.msPerLine, stretch.rate.busiestSecondBytes / 1000.0, stretch.rate.busiestSecondMs,
            stretch.rate.writtenBytesPerSecond / 1000.0);
    }
}

} // namespace

int RunLongWatch(const LongWatchOptions& options)
{
    TestSupport::GdiplusSession gdiplus;
    TestSupport::FixtureProcess fixture;
    if (!fixture.Start()) {
        std::printf("fixture failed: %s\n", fixture.Failure().c_str());
        return 1;
    }
    WatchProcess watch;
    const long long startedAt = UtcMilliseconds();
    const std::wstring folder =
        watch.StartWatching(L"--max-size " + options.maxSize + (options.quiet ? L" --quiet" : L""));
    if (folder.empty()) {
        return 1;
    }
    const std::wstring journal = folder + L"\\" + kJournalName;
    // This watch's own process among those of the machine: other watches may run beside it.
    std::string program;
    for (const wchar_t letter : TestSupport::ProgramDirectory() + L"\\Morvane.exe") {
        program += static_cast<char>(letter);
    }
    const std::wstring unixFolder = UnixProcessFolder({program.substr(2), "--watch"});
    std::printf("Long watch: %d windows of %u ms, %d a second, then ten of %u ms; screen %dx%d; the watch started in "
                "%.1f s; its Linux process %ls\n",
                options.windows, options.shownMs, options.perSecond, kTenShownMs, ::GetSystemMetrics(SM_CXSCREEN),
                ::GetSystemMetrics(SM_CYSCREEN), static_cast<double>(UtcMilliseconds() - startedAt) / 1000.0,
                unixFolder.empty() ? L"not found" : unixFolder.c_str());
    std::fflush(stdout);
    ::Sleep(2000);

    SecondSampler sampler(journal, unixFolder);
    JournalReplay replay(journal);
    std::vector<Stretch> stretches;
    const auto endStretch = [&](const std::string& label) {
        Stretch stretch;
        stretch.label = label;
        stretch.at = UtcMilliseconds();
        stretch.use = UseOf(watch.Handle(), watch.Id(), unixFolder);
        stretch.memory = UnixMemoryOf(unixFolder);
        replay.Into(stretch);
        const long long from = stretches.empty() ? startedAt : stretches.back().at;
        stretch.journal.seconds = static_cast<double>(stretch.at - from) / 1000.0;
        stretch.rate = RateOf(stretch.journal, sampler.Between(from, stretch.at));
        stretches.push_back(stretch);
        std::printf("  %s: working set %.1f MiB, resident %.1f MiB (anonymous %.1f MiB), journal %.1f MB\n",
                    label.c_str(), Mebibytes(static_cast<double>(stretch.use.workingSet)),
                    Mebibytes(static_cast<double>(stretch.memory.residentBytes)),
                    Mebibytes(static_cast<double>(stretch.memory.anonymousBytes)),
                    static_cast<double>(stretch.journalBytes) / 1e6);
        std::fflush(stdout);
    };
    endStretch("the start");

    const std::vector<Shown> tenBefore = ShowTen(fixture, 1'000'000);
    (void)WaitForQuietJournal(journal);
    // Apart from the start: the first pictures load the encoders once (under Wine, builtin
    // libraries are read into memory that Linux counts as anonymous).
    endStretch("the ten before");

    // The short windows, started on a fixed beat by several fixture processes at once: one round
    // trip to a fixture (a thread and a window made, the watch's hooks told) takes longer than the
    // beat under Wine. A fixture that falls behind sends its next window at once.
    const long long burstFrom = UtcMilliseconds();
    const double beatMs = 1000.0 / options.perSecond;
    std::atomic<int> shownCount{0};
    std::atomic<int> failed{0};
    std::atomic<int> nextIndex{0};
    std::vector<std::unique_ptr<TestSupport::FixtureProcess>> senders;
    for (int sender = 0; sender < kSenders; ++sender) {
        senders.push_back(std::make_unique<TestSupport::FixtureProcess>());
        if (!senders.back()->Start()) {
            std::printf("fixture failed: %s\n", senders.back()->Failure().c_str());
            return 1;
        }
    }
    std::vector<std::thread> threads;
    for (int sender = 0; sender < kSenders; ++sender) {
        threads.emplace_back([&, sender] {
            for (int index = nextIndex++; index < options.windows; index = nextIndex++) {
                const double dueAt = static_cast<double>(burstFrom) + index * beatMs;
                const double now = static_cast<double>(UtcMilliseconds());
                if (dueAt > now) {
                    ::Sleep(static_cast<DWORD>(dueAt - now));
                }
                TestSupport::FixtureWindowSpec layout = ShownLayout(index);
                layout.caption = L"Long watch";
                (senders[static_cast<size_t>(sender)]->Flash(layout, options.shownMs) ? shownCount : failed)++;
            }
        });
    }
    // The watch's memory along the way, read as the windows go by.
    const int memoryEvery = options.windows <= 10'000 ? std::min(options.memoryEvery, 1'000) : options.memoryEvery;
    for (int mark = memoryEvery; mark < options.windows; mark += memoryEvery) {
        while (nextIndex < mark) {
            ::Sleep(50);
        }
        endStretch(std::to_string(mark));
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    endStretch(std::to_string(options.windows));
    {
        // Growth over the short windows: from after the ten before to the last of them.
        const Stretch& from = stretches[1];
        const Stretch& to = stretches.back();
        const double workingSet = static_cast<double>(to.use.workingSet) - static_cast<double>(from.use.workingSet);
        const double anonymous =
            static_cast<double>(to.memory.anonymousBytes) - static_cast<double>(from.memory.anonymousBytes);
        std::printf("  growth over the %d windows: working set %+.1f MiB, anonymous %+.1f MiB (%+.0f bytes a "
                    "window); from the start: %+.1f MiB, %+.1f MiB\n",
                    options.windows, Mebibytes(workingSet), Mebibytes(anonymous), anonymous / options.windows,
                    Mebibytes(static_cast<double>(to.use.workingSet) - static_cast<double>(stretches[0].use.workingSet)),
                    Mebibytes(static_cast<double>(to.memory.anonymousBytes) -
                              static_cast<double>(stretches[0].memory.anonymousBytes)));
        std::fflush(stdout);
    }
    const long long burstMs = UtcMilliseconds() - burstFrom;
    const long long caughtUpMs = WaitForQuietJournal(journal);
    const std::vector<Shown> tenAfter = ShowTen(fixture, 2'000'000);
    (void)WaitForQuietJournal(journal);
    endStretch(std::to_string(options.windows) + " and the ten after");

    // Idle watching.
    const ProcessUse idleFrom = UseOf(watch.Handle(), watch.Id(), unixFolder);
    const long long idleAt = UtcMilliseconds();
    ::Sleep(static_cast<DWORD>(options.idleSeconds) * 1000);
    const ProcessUse idleTo = UseOf(watch.Handle(), watch.Id(), unixFolder);
    const long long idleMs = UtcMilliseconds() - idleAt;
    sampler.Stop();

    // --stop as people type it.
    TestSupport::DebugCaptureOptions stop;
    stop.program = TestSupport::ProgramDirectory() + L"\\Morvane.exe";
    stop.arguments = L"--stop";
    const long long commandAt = UtcMilliseconds();
    const TestSupport::DebugCaptureResult stopped = TestSupport::RunWithDebugCapture(stop);
    const long long commandEnded = UtcMilliseconds();
    const long long boxAt = options.quiet ? -1 : watch.ConfirmCompletion(300000);
    const DWORD exitCode = watch.WaitForExit(120000);
    const long long exitedAt = UtcMilliseconds();

    std::set<std::string> sampleHandles;
    for (const std::vector<Shown>* ten : {&tenBefore, &tenAfter}) {
        for (const Shown& shown : *ten) {
            sampleHandles.insert(Handle(shown.window.handle));
        }
    }
    const double readFrom = Now();
    const JournalFigures figures = ReadJournal(journal, sampleHandles);
    const double readMs = Now() - readFrom;
    RunFolderDisk disk;
    TallyFolder(folder, {}, disk);

    std::printf("\nThe %d short windows: %d started in %.1f s (%.1f a second), %d refused by the fixture; the journal "
                "stopped growing %.1f s after the last\n",
                options.windows, shownCount.load(), static_cast<double>(burstMs) / 1000.0,
                shownCount * 1000.0 / static_cast<double>(std::max(1LL, burstMs)), failed.load(),
                static_cast<double>(caughtUpMs) / 1000.0 - 2.0);
    int shortEntries = 0;
    for (const auto& [outcome, count] : figures.outcomes) {
        std::printf("    %6d  %s\n", count, outcome.c_str());
        shortEntries += count;
    }
    std::printf("  %d entries in all; with a window picture: seen to picture written median %.0f ms, p95 %.0f ms\n",
                shortEntries, Percentile(figures.savedAfterMs, 0.5), Percentile(figures.savedAfterMs, 0.95));
    ReportShown("ten of 300 ms before", tenBefore, figures.samples, folder);
    ReportShown("ten of 300 ms after", tenAfter, figures.samples, folder);

    PrintStretches(stretches);
    std::printf("\n(journal lines a second: over each stretch; appending them: the benchmark appends the same lines "
                "with the watch's journal writer to a journal of its own on the same disk, of the same size, and "
                "times it; the busiest second: journal bytes in the second that grew it most; all the watch's "
                "writes: bytes its process handed to write calls, pictures and text records included)\n");
    std::printf("\n");
    PrintCpu("idle watching after the windows", idleFrom, idleTo, idleMs);
    std::printf("--stop%s: the command took %lld ms (exit code %lu); the completion box showed %lld ms after it began, "
                "the watch exited %lld ms after it began (exit code %lu)\n",
                options.quiet ? " (a watch started with --quiet: no box)" : "", commandEnded - commandAt,
                static_cast<unsigned long>(stopped.exitCode), boxAt < 0 ? -1 : boxAt - commandAt,
                exitedAt - commandAt, static_cast<unsigned long>(exitCode));
    std::printf("journal: %.1f MB, %d window lines; read back by the benchmark in %.1f s; lines:",
                static_cast<double>(FileSize(journal)) / 1e6, figures.windowLines, readMs / 1000.0);
    for (const auto& [kind, count] : figures.lineKinds) {
        std::printf(" %s %d", kind.c_str(), count);
    }
    std::printf("\n");
    PrintEnding(folder);
    PrintDisk(disk, figures.windowLines);
    if (::GetEnvironmentVariableW(L"MORVANE_BENCH_KEEP", nullptr, 0) == 0) {
        TestSupport::RemoveTree(folder);
    } else {
        std::printf("kept: %ls\n", folder.c_str());
    }
    return 0;
}

} // namespace MorvaneBench
