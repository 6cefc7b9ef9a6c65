// Window pictures stored once, on real files: bytes equal to an earlier picture's make a further
// name of its file (same volume and file index), and never of a file whose bytes differ; a link
// that fails writes a copy that later pictures link to.

#include "capture/WindowPictureStore.h"

#include "support/DebugLineCapture.h"
#include "support/FileIdentity.h"
#include "support/ImportPatch.h"
#include "support/TestPaths.h"
#include "support/TestText.h"
#include "system/File.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

TEST_SUPPORT_IMPORT_SLOT(CreateHardLinkW);

namespace {

using Morvane::WindowPictureStore;
using TestSupport::FileIdentity;
using TestSupport::IdentifyFile;

// Stand-ins for JPEG bytes: the store only compares them.
const std::string kMenu = "\xFF\xD8 the same menu shown again \xFF\xD9";
const std::string kDialog = "\xFF\xD8 a dialog, as long as a menu \xFF\xD9";

class WindowPictures : public ::testing::Test {
protected:
    void SetUp() override { mRoot = TestSupport::MakeScratchDirectory(L"WindowPictures"); }
    void TearDown() override { TestSupport::RemoveTree(mRoot); }

    [[nodiscard]] std::wstring Path(const std::wstring& name) const { return mRoot + L"\\" + name; }
    HRESULT Write(const std::wstring& name, const std::string& bytes)
    {
        return mStore->Write(Path(name), reinterpret_cast<const unsigned char*>(bytes.data()),
                             static_cast<unsigned int>(bytes.size()));
    }
    [[nodiscard]] FileIdentity Identity(const std::wstring& name) const { return IdentifyFile(Path(name)); }
    [[nodiscard]] std::string Bytes(const std::wstring& name) const { return TestSupport::ReadWholeFile(Path(name)); }

    // Another run, which knows no picture yet.
    void NewRun() { mStore = std::make_unique<WindowPictureStore>(); }

    std::wstring mRoot;
    std::unique_ptr<WindowPictureStore> mStore = std::make_unique<WindowPictureStore>();
};

TEST_F(WindowPictures, EqualBytesAreOneFileEvenInAFolderNotMadeYet)
{
    ASSERT_EQ(Write(L"1\\w.jpg", kMenu), S_OK);
    ASSERT_EQ(Write(L"2\\w.jpg", kDialog), S_OK);
    // A watch writes a window's picture before anything else of its folder.
    ASSERT_EQ(Write(L"3\\w.jpg", kMenu), S_OK);
    ASSERT_EQ(Write(L"4\\w.jpg", kMenu), S_OK);
    EXPECT_EQ(mStore->Reuses(), 2u);
    EXPECT_EQ(mStore->Links(), 2u);
    EXPECT_EQ(Bytes(L"4\\w.jpg"), kMenu);
    EXPECT_TRUE(Identity(L"3\\w.jpg").SameFileAs(Identity(L"1\\w.jpg")));
    EXPECT_TRUE(Identity(L"4\\w.jpg").SameFileAs(Identity(L"1\\w.jpg")));
    EXPECT_EQ(Identity(L"1\\w.jpg").links, 3u);
    EXPECT_FALSE(Identity(L"2\\w.jpg").SameFileAs(Identity(L"1\\w.jpg")));
    EXPECT_EQ(Identity(L"2\\w.jpg").links, 1u);
}

// The earlier file no longer holds the bytes its key was remembered with (a stand-in for two
// pictures of one hash and length): the new picture is a file of its own, the earlier one is left
// as it is, and the new file takes the later links.
TEST_F(WindowPictures, EarlierFileWithOtherBytesOrGoneIsNeverLinkedTo)
{
    const struct {
        const char* why;
        const char* earlierNow; // what the earlier file holds before the second write; null: removed
    } cases[] = {
        {"other bytes of the same length", "\xFF\xD8 the same menu shown aga1n \xFF\xD9"},
        {"the bytes and one more", "\xFF\xD8 the same menu shown again \xFF\xD9!"},
        {"the file gone", nullptr},
    };
    int run = 0;
    for (const auto& example : cases) {
        SCOPED_TRACE(example.why);
        NewRun();
        const std::wstring earlier = std::to_wstring(++run) + L"-earlier.jpg";
        const std::wstring later = std::to_wstring(run) + L"-later.jpg";
        const std::wstring third = std::to_wstring(run) + L"-third.jpg";
        ASSERT_EQ(Write(earlier, kMenu), S_OK);
        if (example.earlierNow == nullptr) {
            ASSERT_TRUE(::DeleteFileW(Path(earlier).c_str()));
        } else {
            const std::string changed = example.earlierNow;
            ASSERT_EQ(TalvexBasic::Files::File::WriteToFile$Static(
                          Path(earlier), changed.data(), static_cast<unsigned>(changed.size()), CREATE_ALWAYS),
                      S_OK);
        }
        const unsigned links = mStore->Links();
        TestSupport::DebugLineCapture lines;
        ASSERT_EQ(Write(later, kMenu), S_OK);
        EXPECT_EQ(mStore->Links(), links);
        EXPECT_EQ(lines.CountContaining("a copy is written"), 0u);
        EXPECT_EQ(Bytes(later), kMenu);
        EXPECT_EQ(Identity(later).links, 1u);
        if (example.earlierNow != nullptr) {
            EXPECT_EQ(Bytes(earlier), example.earlierNow);
            EXPECT_FALSE(Identity(later).SameFileAs(Identity(earlier)));
        }
        ASSERT_EQ(Write(third, kMenu), S_OK);
        EXPECT_TRUE(Identity(third).SameFileAs(Identity(later)));
    }
}

BOOL WINAPI FailingCreateHardLink(LPCWSTR, LPCWSTR, LPSECURITY_ATTRIBUTES)
{
    ::SetLastError(ERROR_TOO_MANY_LINKS);
    return FALSE;
}

// A file with all the names NTFS allows, which the platform will not refuse here on demand (the
// monitor pictures' tests take the other refusals through the same link-or-copy step).
TEST_F(WindowPictures, FailedLinkWritesACopyThatLaterPicturesLinkTo)
{
    ASSERT_EQ(Write(L"first.jpg", kMenu), S_OK);
    {
        const TestSupport::ImportPatch<decltype(&::CreateHardLinkW)> patch(__imp_CreateHardLinkW,
                                                                           &FailingCreateHardLink);
        TestSupport::DebugLineCapture lines;
        EXPECT_EQ(Write(L"copy.jpg", kMenu), S_OK);
        EXPECT_EQ(lines.CountContaining(" Morvane::WindowPictureStore::Write,"), 1u);
        EXPECT_EQ(lines.CountContaining("]:LinkToFile$Static(" + TestSupport::Narrow(Path(L"copy.jpg")) +
                                        ") return:0x80070476, a copy is written.\r\n"),
                  1u);
    }
    EXPECT_EQ(mStore->Links(), 0u);
    EXPECT_EQ(Bytes(L"copy.jpg"), kMenu);
    EXPECT_EQ(Identity(L"copy.jpg").links, 1u);
    ASSERT_EQ(Write(L"linked.jpg", kMenu), S_OK);
    EXPECT_EQ(mStore->Reuses(), 2u);
    EXPECT_EQ(mStore->Links(), 1u);
    EXPECT_TRUE(Identity(L"linked.jpg").SameFileAs(Identity(L"copy.jpg")));
}

} // namespace
