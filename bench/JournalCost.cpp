#include "JournalCost.h"

#include "BenchClock.h"
#include "basic/PathParts.h"
#include "capture/OutputFileNames.h"
#include "record/RunHistory.h"
#include "record/RunFiles.h"
#include "record/RunJournal.h"
#include "record/RunPage.h"
#include "record/RunRecord.h"
#include "support/TestPaths.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace MorvaneBench {
namespace {

constexpr int kWindows = 50'000;
constexpr int kSample = 1'000;

Morvane::RunWindow Entry(int index)
{
    Morvane::RunWindow window;
    window.handle = 0x10000 + static_cast<std::uint64_t>(index);
    window.processId = 4000;
    window.threadId = 4001;
    window.caption = L"A tooltip that came and went " + std::to_wstring(index);
    window.className = L"tooltips_class32";
    window.imagePath = L"C:\\Program Files\\Some Vendor\\Some Program\\program.exe";
    window.rect = {100, 100, 400, 140};
    window.frame = window.rect;
    window.folder = L"WindowShot/[program.exe]-0x" + std::to_wstring(window.handle) + L"-4000-4001";
    window.shot = {S_OK, S_OK, S_OK, Morvane::PictureSource::Screen, true, window.folder};
    window.watch.caughtBy = Morvane::CaughtBy::Event;
    window.watch.appearedAt = "2026-12-07T05:59:57.704+01:00";
    window.watch.savedAfterMs = 20;
    return window;
}

// FNV-1a over the bytes, to compare what two builds write.
unsigned long long Digest(const std::string& bytes)
{
    unsigned long long digest = 14695981039346656037ull;
    for (const char byte : bytes) {
        digest = (digest ^ static_cast<unsigned char>(byte)) * 1099511628211ull;
    }
    return digest;
}

// Where the end's time goes: reading the journal, parsing its lines alone, the fold (parse and
// record), the page, and writing both; the digests show that a change keeps every byte.
void TimeTheEnd(const std::wstring& folder, const std::string& lastAt, const Morvane::EarlierRun* previous)
{
    double start = Now();
    const std::string text = TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.jsonl");
    const double read = Now() - start;
    start = Now();
    const Morvane::JournalState state = Morvane::ReadJournalState(text);
    const double parse = Now() - start;
    start = Now();
    const std::string folded = Morvane::FoldJournal(text, previous, false, lastAt);
    const double fold = Now() - start;
    start = Now();
    const std::string page = Morvane::MakeRunPage(folded, "0123456789abcdef0123456789abcdef");
    const double made = Now() - start;
    start = Now();
    Morvane::WriteRecordAndPage(folder, folded, L".tmp");
    const double written = Now() - start;
    start = Now();
    Morvane::WriteRunFilesFromJournal(folder, false, lastAt, L".tmp", previous);
    const double atTheEnd = Now() - start;
    std::printf("the record folded from the journal of %zu lines (%.1f MB, %s), at the end: read %.0f ms, "
                "lines parsed alone %.0f ms, fold %.0f ms, page %.0f ms, record and page written %.0f ms; "
                "all of it as the end does %.0f ms\n",
                static_cast<size_t>(std::count(text.begin(), text.end(), '\n')), static_cast<double>(text.size()) / 1e6, state.ended ? "ended" : "not ended", read, parse,
                fold, made, written, atTheEnd);
    std::printf("digests: record %016llx (%zu bytes), page %016llx (%zu bytes)\n", Digest(folded), folded.size(),
                Digest(page), page.size());
}

} // namespace

void RunJournalCost()
{
    const std::wstring folder = TestSupport::MakeScratchDirectory(L"journal-cost");
    Morvane::RunSummary run;
    run.startedAt = "2026-12-07T05:59:57.704+01:00";
    run.watch = {true, run.startedAt, 0, true};
    Morvane::RunJournal journal;
    if (!journal.Open(folder)) {
        std::printf("the journal could not be opened\n");
        return;
    }
    journal.Append(Morvane::JournalStartLine(run.startedAt, run));
    double firstLines = 0;
    double lastLines = 0;
    for (int index = 0; index < kWindows; ++index) {
        const double start = Now();
        journal.Append(Morvane::JournalWindowLine(run.startedAt, Entry(index)));
        const double spent = Now() - start;
        if (index < kSample) {
            firstLines += spent;
        } else if (index >= kWindows - kSample) {
            lastLines += spent;
        }
        run.windows.push_back(Entry(index));
    }
    journal.Append(Morvane::JournalEndLine(run.startedAt, "stopped"));
    journal.Close();
    std::printf("journal: one window line appended, windows 1-%d: %.4f ms; windows %d-%d: %.4f ms\n", kSample,
                firstLines / kSample, kWindows - kSample + 1, kWindows, lastLines / kSample);

    double start = Now();
    const std::string whole = Morvane::MakeRunRecordJson(run);
    std::printf("the whole record of %zu entries, made once (each second's cost before the journal): %.1f ms, "
                "%.1f MB\n",
                run.windows.size(), Now() - start, static_cast<double>(whole.size()) / 1e6);

    // The watch's end compares with the run before; one that saw a tenth of these windows leaves
    // most entries new, each marked anew.
    Morvane::EarlierRun previous;
    for (int index = 0; index < kWindows; index += 10) {
        previous.savedWindows.push_back(Morvane::KeyOf(Entry(index)));
    }
    TimeTheEnd(folder, run.startedAt, &previous);
    TestSupport::RemoveTree(folder);
}

void RunJournalCost(const std::wstring& journalPath)
{
    const std::string journal = TestSupport::ReadWholeFile(journalPath);
    if (journal.empty()) {
        std::printf("%ls: no journal to read\n", journalPath.c_str());
        return;
    }
    // A copy, so that the record and page written beside it leave the run's own alone.
    const std::wstring folder = TestSupport::MakeScratchDirectory(L"journal-cost");
    if (!::CopyFileW(journalPath.c_str(), (folder + L"\\Morvane.Run.jsonl").c_str(), FALSE)) {
        std::printf("%ls: the journal could not be copied\n", journalPath.c_str());
        return;
    }
    // The run it is compared with, as the watch's end compares it: most entries are then marked anew.
    const Morvane::JournalState state = Morvane::ReadJournalState(journal);
    const std::wstring runFolder(Basic::Paths::FolderPart(journalPath));
    const std::wstring previousRecord = std::wstring(Basic::Paths::FolderPart(runFolder)) + L"\\" +
                                        Morvane::FromUtf8(state.previousRun) + L"\\" + Morvane::kRunRecordFileName;
    Morvane::EarlierRun previous;
    std::string why;
    const bool compared = !state.previousRun.empty() &&
                          Morvane::ReadEarlierRun(TestSupport::ReadWholeFile(previousRecord), previous, why);
    std::printf("compared with the earlier run: %s (%zu saved windows)\n", compared ? "yes" : "no",
                previous.savedWindows.size());
    TimeTheEnd(folder, state.lastAt, compared ? &previous : nullptr);
    TestSupport::RemoveTree(folder);
}

} // namespace MorvaneBench
