#include "JournalCost.h"

#include "BenchClock.h"
#include "record/RunJournal.h"
#include "record/RunRecord.h"
#include "support/TestPaths.h"

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

    start = Now();
    const std::string text = TestSupport::ReadWholeFile(folder + L"\\Morvane.Run.jsonl");
    const std::string folded = Morvane::FoldJournal(text, nullptr, false, run.startedAt);
    std::printf("the record folded from the journal of %d windows (%.1f MB), at the end: %.0f ms\n", kWindows,
                static_cast<double>(text.size()) / 1e6, Now() - start);
    TestSupport::RemoveTree(folder);
}

} // namespace MorvaneBench
