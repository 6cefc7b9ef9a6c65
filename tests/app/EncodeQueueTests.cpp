// The watch's encode queue: the pure admission of a picture to those waiting, the worker that
// runs the steps in order on a thread of its own, and a full queue that leaves a real window's
// pictures out, with the reason in its entry and the count in the watch summary, as the journal
// carries them into the record.

#include "capture/EncodeQueue.h"
#include "capture/EncodeQueueRule.h"
#include "capture/OutputFileNames.h"
#include "capture/WindowShot.h"
#include "record/RunJournal.h"
#include "record/RunRecorder.h"
#include "support/DebugLineCapture.h"
#include "support/FixtureWindows.h"
#include "support/JpegReader.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace {

using Morvane::EncodeAdmission;
using Morvane::EncodeQueue;
using Morvane::TakenPicture;
using Morvane::WindowShotOutcome;
using nlohmann::json;

constexpr unsigned long long kMiB = 1ULL << 20;
constexpr char kAt[] = "2026-12-07T06:10:00.250+01:00";

TEST(EncodeQueue, AdmissionKeepsThePendingBytesWithinTheLimit)
{
    const struct {
        unsigned pendingPictures;
        unsigned long long pendingBytes;
        unsigned long long pictureBytes;
        unsigned long long limitBytes;
        EncodeAdmission admission;
        const char* why;
    } cases[] = {
        {0, 0, 8 * kMiB, 64 * kMiB, EncodeAdmission::Admit, "an empty queue"},
        {7, 56 * kMiB, 8 * kMiB, 64 * kMiB, EncodeAdmission::Admit, "exactly at the limit"},
        {7, 56 * kMiB, 8 * kMiB + 1, 64 * kMiB, EncodeAdmission::QueueFull, "one byte past the limit"},
        {8, 64 * kMiB, 36'800, 64 * kMiB, EncodeAdmission::QueueFull, "a small picture behind a full queue"},
        {1, 8 * kMiB, 36'800, 64 * kMiB, EncodeAdmission::Admit, "a small picture behind one monitor"},
        // A monitor larger than the limit still gets its pictures, one at a time.
        {0, 0, 133 * kMiB, 64 * kMiB, EncodeAdmission::Admit, "a huge picture alone"},
        {1, 133 * kMiB, 36'800, 64 * kMiB, EncodeAdmission::QueueFull, "anything behind a huge picture"},
        // A text record alone holds no pixels.
        {8, 64 * kMiB, 0, 64 * kMiB, EncodeAdmission::Admit, "no picture"},
        {1, 133 * kMiB, 0, 64 * kMiB, EncodeAdmission::Admit, "no picture past the limit"},
        // No sum of the two may wrap around.
        {1, 8 * kMiB, ~0ULL, 64 * kMiB, EncodeAdmission::QueueFull, "a picture of the largest size"},
        {1, 1, 1, 1, EncodeAdmission::QueueFull, "a limit of one byte"},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.why);
        const EncodeAdmission admission = Morvane::AdmitPicture(example.pendingPictures, example.pendingBytes,
                                                                example.pictureBytes, example.limitBytes);
        EXPECT_EQ(admission, example.admission);
    }
    EXPECT_EQ(Morvane::EncodeAdmissionName(EncodeAdmission::Admit), nullptr);
    EXPECT_STREQ(Morvane::EncodeAdmissionName(EncodeAdmission::QueueFull), "queueFull");
}

TEST(EncodeQueue, StepsRunInTheirOrderOnTheWorkerAndAllRunBeforeItEnds)
{
    std::vector<unsigned> order;
    std::vector<DWORD> threads;
    {
        EncodeQueue queue;
        ASSERT_EQ(queue.Start(), S_OK);
        for (unsigned step = 0; step < 20; ++step) {
            // Steps with and without pixels, the first ones slow, so that later ones pile up.
            const std::uint64_t number = queue.Queue(step % 2 == 0 ? 4096 : 0, [&, step] {
                ::Sleep(step < 3 ? 30 : 0);
                order.push_back(step);
                threads.push_back(::GetCurrentThreadId());
            });
            EXPECT_EQ(number, step + 1u);
        }
        EXPECT_EQ(queue.Queued(), 20u);
        // The queue ends here, while steps still wait: they all run first.
    }
    ASSERT_EQ(order.size(), 20u);
    for (unsigned step = 0; step < 20; ++step) {
        EXPECT_EQ(order[step], step);
        EXPECT_NE(threads[step], ::GetCurrentThreadId());
        EXPECT_EQ(threads[step], threads[0]);
    }
}

// The real picture path on a window of this process, where Wine's PrintWindow paints it.
class FullEncodeQueue : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mGdiplus.Started());
        TestSupport::FixtureWindowSpec layout;
        layout.rect = RECT{700, 150, 900, 300};
        layout.caption = L"Queued";
        layout.className = L"EncodeQueueWindow";
        layout.fill = kFill;
        mWindow = mWindows.Open(layout);
        ASSERT_TRUE(mWindow) << mWindow.failure;
        ASSERT_EQ(mRecord.SampleInitialize(mWindow.handle), S_OK);
        mRecord.mCaption = layout.caption;
        mRecord.mClassName = layout.className;
        mContext.outputDirectory = TestSupport::MakeScratchDirectory(L"EncodeQueue");
    }
    void TearDown() override { TestSupport::RemoveTree(mContext.outputDirectory); }

    static constexpr COLORREF kFill = RGB(30, 160, 220);
    TestSupport::GdiplusSession mGdiplus;
    TestSupport::FixtureWindows mWindows;
    TestSupport::FixtureWindow mWindow;
    Morvane::WindowInfo mRecord;
    Morvane::CaptureContext mContext;
};

TEST_F(FullEncodeQueue, LeavesPicturesOutWithTheirReasonAndCountsThem)
{
    TestSupport::DebugLineCapture lines;
    const unsigned long long windowBytes = 200ULL * 150 * 4;
    // Room for one picture of the window and a half.
    EncodeQueue queue(windowBytes + windowBytes / 2);
    ASSERT_EQ(queue.Start(), S_OK);
    TalvexBasic::UniqueHandle gate(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(gate);

    // The first showing: admitted, and its write held back as a long encode would hold it.
    WindowShotOutcome first;
    TakenPicture firstTaken;
    Morvane::TakeJustShownWindowPicture(mContext, mRecord, {}, first, firstTaken);
    ASSERT_TRUE(firstTaken.bitmap);
    EXPECT_EQ(firstTaken.Bytes(), windowBytes);
    EXPECT_EQ(first.window, E_PENDING);
    ASSERT_TRUE(queue.Admits(firstTaken.Bytes()));
    const std::wstring firstPicture = firstTaken.path;
    queue.Queue(firstTaken.Bytes(), [&] {
        ::WaitForSingleObject(gate.get(), 10000);
        Morvane::WriteTakenPicture(mContext, firstTaken, first);
    });

    // The second showing finds no room for its window picture nor its monitor picture.
    WindowShotOutcome second;
    TakenPicture secondTaken;
    Morvane::TakeJustShownWindowPicture(mContext, mRecord, {L"-2"}, second, secondTaken);
    ASSERT_TRUE(secondTaken.bitmap);
    EXPECT_FALSE(queue.Admits(secondTaken.Bytes()));
    const std::wstring secondPicture = secondTaken.path;
    Morvane::LeaveOutTakenPicture(secondTaken, second, "queueFull");
    EXPECT_FALSE(secondTaken.bitmap);
    queue.Queue(secondTaken.Bytes(), [&] { Morvane::WriteTakenPicture(mContext, secondTaken, second); });
    WindowShotOutcome secondMonitor = second;
    TakenPicture monitorTaken;
    Morvane::TakeJustShownMonitorPicture(mContext, mRecord, {L"-2"}, secondMonitor, monitorTaken);
    ASSERT_TRUE(monitorTaken.bitmap);
    EXPECT_FALSE(queue.Admits(monitorTaken.Bytes()));
    Morvane::LeaveOutTakenPicture(monitorTaken, secondMonitor, "queueFull");
    EXPECT_EQ(queue.Refused(), 2u);
    EXPECT_TRUE(queue.Refusing());
    EXPECT_EQ(lines.CountContaining("The encode queue is full (120000 bytes of pictures wait, 1 of them; the limit is 180000)"), 1u);

    ::SetEvent(gate.get());
    queue.Drain();
    EXPECT_EQ(queue.Done(), 2u);
    EXPECT_TRUE(queue.Admits(windowBytes));
    EXPECT_FALSE(queue.Refusing());
    EXPECT_EQ(lines.CountContaining("The encode queue takes pictures again: 2 were not written."), 1u);

    // The admitted picture is written with the window's colour; the other showing has its text
    // record only.
    EXPECT_NE(first.windowWrittenAt, 0);
    TestSupport::DecodedImage image;
    std::string reason;
    ASSERT_TRUE(TestSupport::DecodeJpegFile(firstPicture, image, reason)) << reason;
    EXPECT_TRUE(TestSupport::IsNear(image.MeanAround(100, 75, 4), GetRValue(kFill), GetGValue(kFill), GetBValue(kFill)));
    EXPECT_EQ(::GetFileAttributesW(secondPicture.c_str()), INVALID_FILE_ATTRIBUTES);
    const std::wstring secondFolder = secondPicture.substr(0, secondPicture.find_last_of(L'\\') + 1);
    EXPECT_NE(::GetFileAttributesW((secondFolder + Morvane::kInfoFileName).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(::GetFileAttributesW((secondFolder + Morvane::kMonitorPictureFileName).c_str()), INVALID_FILE_ATTRIBUTES);

    // The entries and the watch's count, as the journal carries them into the record.
    Morvane::RunRecorder recorder;
    Morvane::RunSummary run;
    run.startedAt = kAt;
    run.watch.watched = true;
    run.watch.since = kAt;
    std::string journal = Morvane::JournalStartLine(kAt, run);
    journal += Morvane::JournalWindowLine(kAt, recorder.AddSaved(mRecord, first));
    Morvane::RunWindow secondEntry = recorder.AddSaved(mRecord, second);
    journal += Morvane::JournalWindowLine(kAt, secondEntry);
    // As the recorder notes a monitor picture in the entry it belongs to.
    secondEntry.shot.monitor = secondMonitor.monitor;
    secondEntry.shot.monitorSkipped = secondMonitor.monitorSkipped;
    journal += Morvane::JournalMonitorPictureLine(kAt, secondEntry);
    run.watch.picturesDroppedQueueFull = queue.Refused();
    journal += Morvane::JournalWatchLine(kAt, run.watch);
    const json record = json::parse(Morvane::FoldJournal(journal, nullptr, true, kAt));
    ASSERT_EQ(record["windows"].size(), 2u);
    const json& written = record["windows"][0];
    EXPECT_TRUE(written["pictureSkipped"].is_null());
    EXPECT_EQ(written["results"]["window"], 0);
    EXPECT_EQ(written["pictureSource"], "printWindow");
    const json& skipped = record["windows"][1];
    EXPECT_EQ(skipped["pictureSkipped"], "queueFull");
    EXPECT_EQ(skipped["results"]["window"], 1);
    EXPECT_TRUE(skipped["pictureSource"].is_null());
    EXPECT_EQ(skipped["monitorSkipped"], "queueFull");
    EXPECT_EQ(skipped["results"]["monitor"], 1);
    EXPECT_EQ(skipped["results"]["record"], 0);
    EXPECT_EQ(record["watch"]["picturesDroppedQueueFull"], 2);
}

} // namespace
