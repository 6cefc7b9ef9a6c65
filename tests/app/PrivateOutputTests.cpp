// Who may read a run's output: the folders the tool makes let in the user, SYSTEM and the
// Administrators alone, and an existing "Morvane" or "Output" folder that someone else could have
// planted is refused for the fallback. Under Wine a DACL becomes the folder's Unix mode bits,
// which Linux's own stat reads here.

#include "OutputDirectory.h"
#include "OutputFolderRule.h"
#include "PrivateFolder.h"

#include "EnvironmentOverride.h"
#include "UnixFolderMode.h"
#include "FolderEntries.h"
#include "capture/CaptureContext.h"
#include "capture/OutputFileNames.h"
#include "capture/WindowInfo.h"
#include "capture/WindowShot.h"
#include "support/DebugCapture.h"
#include "support/FixtureWindows.h"
#include "support/ImportPatch.h"
#include "support/JpegReader.h"
#include "support/TestPaths.h"
#include "support/TestText.h"
#include "system/Directory.h"
#include "system/File.h"
#include "system/TextConversion.h"
#include "system/UniqueResource.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <string>

TEST_SUPPORT_IMPORT_SLOT(GetSecurityInfo);
TEST_SUPPORT_IMPORT_SLOT(GetFileInformationByHandle);

namespace {

using namespace Morvane;
using MorvaneTests::UnixCommandOutput;
using MorvaneTests::UnixModeOf;
using TestSupport::UnixPathOf;
using MorvaneTests::UsersAlone;

TEST(OutputFolderRule, TrustsOnlyFoldersOfTheUserOrTheAdministrators)
{
    struct Case {
        ExistingFolderSighting sighting; // {reparsePoint, ownerKnown, ownerIsUser, ownerIsAdministrators}
        FolderRefusal expected;
    };
    const Case cases[] = {
        {{false, true, true, false}, FolderRefusal::None},
        {{false, true, false, true}, FolderRefusal::None}, // made by an elevated process
        {{false, true, true, true}, FolderRefusal::None},
        {{false, true, false, false}, FolderRefusal::ForeignOwner},
        {{false, false, false, false}, FolderRefusal::OwnerUnknown},
        {{true, true, true, false}, FolderRefusal::ReparsePoint}, // the user's own link, all the same
        {{true, false, false, false}, FolderRefusal::ReparsePoint},
    };
    for (const Case& item : cases) {
        const ExistingFolderSighting& s = item.sighting;
        EXPECT_EQ(JudgeExistingFolder(s), item.expected)
            << s.reparsePoint << s.ownerKnown << s.ownerIsUser << s.ownerIsAdministrators;
    }
    EXPECT_STREQ(FolderRefusalText(FolderRefusal::None), L"");
    for (const FolderRefusal refusal :
         {FolderRefusal::ReparsePoint, FolderRefusal::ForeignOwner, FolderRefusal::OwnerUnknown}) {
        EXPECT_STRNE(FolderRefusalText(refusal), L"");
    }
}

std::wstring Lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return text;
}

// One folder, found by the path its handle names, made to look planted: a link, another
// account's, or of an owner that cannot be read.
struct PlantedFolder {
    enum class Kind { ReparsePoint, ForeignOwner, OwnerUnreadable };
    static inline std::wstring sPath; // lower case
    static inline Kind sKind = Kind::ForeignOwner;
    static inline decltype(&::GetSecurityInfo) sRealSecurity = nullptr;
    static inline decltype(&::GetFileInformationByHandle) sRealInformation = nullptr;
    static inline BYTE sGuests[SECURITY_MAX_SID_SIZE] = {};

    static bool Is(HANDLE handle)
    {
        wchar_t name[4096] = {};
        const DWORD length = ::GetFinalPathNameByHandleW(handle, name, 4096, FILE_NAME_NORMALIZED);
        const std::wstring path = Lower(std::wstring(name, length < 4096 ? length : 0));
        return path.size() >= sPath.size() && path.compare(path.size() - sPath.size(), sPath.size(), sPath) == 0;
    }
    static DWORD WINAPI Security(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION information, PSID* owner,
                                 PSID* group, PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor)
    {
        const DWORD result = sRealSecurity(handle, type, information, owner, group, dacl, sacl, descriptor);
        if (result != ERROR_SUCCESS || !Is(handle)) {
            return result;
        }
        if (sKind == Kind::OwnerUnreadable) {
            ::LocalFree(*descriptor);
            *descriptor = nullptr;
            return ERROR_ACCESS_DENIED;
        }
        if (sKind == Kind::ForeignOwner && owner != nullptr) {
            DWORD size = sizeof sGuests;
            ::CreateWellKnownSid(WinBuiltinGuestsSid, nullptr, sGuests, &size);
            *owner = sGuests;
        }
        return result;
    }
    static BOOL WINAPI Information(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information)
    {
        const BOOL result = sRealInformation(handle, information);
        if (result && sKind == Kind::ReparsePoint && Is(handle)) {
            information->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        }
        return result;
    }
};

class PrivateOutputFolders : public ::testing::Test {
protected:
    void SetUp() override { mRoot = TestSupport::MakeScratchDirectory(L"Private"); }
    void TearDown() override { TestSupport::RemoveTree(mRoot); }

    std::wstring mRoot;
    PrivateFolderSecurity mSecurity;
};

// The folders the tool makes are the user's alone; the folders it finds, the user's own, are used
// as they are and keep what they had, readable by others here.
TEST_F(PrivateOutputFolders, TheToolsFoldersAreTheUsersAloneAndTheUsersOwnAreKept)
{
    ASSERT_EQ(mSecurity.Result(), S_OK);
    ASSERT_NE(mSecurity.Attributes(), nullptr);
    for (const bool outputExists : {false, true}) {
        SCOPED_TRACE(outputExists ? "Output exists" : "nothing exists");
        const std::wstring base = outputExists ? mRoot + L"\\existing" : mRoot;
        if (outputExists) {
            ASSERT_EQ(TalvexBasic::Files::Directory::MakeSureDirectoryPathExists$Static(base + L"\\Morvane\\Output\\"),
                      S_OK);
        }
        const std::wstring run = base + L"\\Morvane\\Output\\run";
        const OutputDirectoryChoice choice = CreateOutputDirectory(run, [] { return std::wstring(); });
        ASSERT_TRUE(choice.created);
        EXPECT_EQ(choice.directory, run);
        EXPECT_TRUE(choice.failures.empty());
        const struct {
            std::wstring folder;
            bool made;
        } folders[] = {{base, false}, {base + L"\\Morvane", !outputExists}, {base + L"\\Morvane\\Output", !outputExists},
                       {run, true}};
        for (const auto& one : folders) {
            const std::string mode = UnixModeOf(one.folder, mRoot);
            ASSERT_EQ(mode.size(), 3u) << TestSupport::Utf8(one.folder);
            if (one.made) {
                EXPECT_TRUE(UsersAlone(mode)) << mode << " " << TestSupport::Utf8(one.folder);
            } else {
                EXPECT_NE(mode[2], '0') << TestSupport::Utf8(one.folder);
            }
        }
    }
}

TEST_F(PrivateOutputFolders, APlantedFolderIsRefusedForTheFallback)
{
    struct Case {
        const wchar_t* level;
        PlantedFolder::Kind kind;
        FolderRefusal expected;
    };
    const Case cases[] = {
        {L"Morvane", PlantedFolder::Kind::ReparsePoint, FolderRefusal::ReparsePoint},
        {L"Morvane", PlantedFolder::Kind::ForeignOwner, FolderRefusal::ForeignOwner},
        {L"Morvane\\Output", PlantedFolder::Kind::ForeignOwner, FolderRefusal::ForeignOwner},
        {L"Morvane\\Output", PlantedFolder::Kind::OwnerUnreadable, FolderRefusal::OwnerUnknown},
        {L"Morvane\\Output\\run", PlantedFolder::Kind::ReparsePoint, FolderRefusal::ReparsePoint},
    };
    int round = 0;
    for (const Case& item : cases) {
        const std::wstring program = mRoot + L"\\" + std::to_wstring(++round);
        const std::wstring planted = program + L"\\" + item.level;
        SCOPED_TRACE(planted);
        ASSERT_EQ(TalvexBasic::Files::Directory::MakeSureDirectoryPathExists$Static(planted + L"\\"), S_OK);
        PlantedFolder::sPath = Lower(planted);
        PlantedFolder::sKind = item.kind;
        OutputDirectoryChoice choice;
        {
            TestSupport::ImportPatch<decltype(&::GetSecurityInfo)> security(__imp_GetSecurityInfo,
                                                                             &PlantedFolder::Security);
            TestSupport::ImportPatch<decltype(&::GetFileInformationByHandle)> information(
                __imp_GetFileInformationByHandle, &PlantedFolder::Information);
            PlantedFolder::sRealSecurity = security.Original();
            PlantedFolder::sRealInformation = information.Original();
            choice = CreateOutputDirectory(program + L"\\Morvane\\Output\\run",
                                           [&] { return program + L"\\Local\\Morvane\\Output\\run"; });
        }
        ASSERT_TRUE(choice.created);
        EXPECT_EQ(choice.directory, program + L"\\Local\\Morvane\\Output\\run");
        ASSERT_EQ(choice.failures.size(), 1u);
        EXPECT_EQ(choice.failures[0].folder, program + L"\\Morvane\\Output\\run");
        EXPECT_EQ(choice.failures[0].refusal, item.expected);
        EXPECT_EQ(choice.failures[0].refusedFolder, planted);
        EXPECT_EQ(choice.failures[0].result, E_ACCESSDENIED);
    }
}

// Wine starts no program from a path longer than MAX_PATH, so the run's own steps go in process:
// the output folders below a program folder that deep, then one window's shot saved there.
TEST_F(PrivateOutputFolders, AWindowShotBelowADeepProgramFolderIsSavedWhole)
{
    std::wstring program = mRoot;
    while (program.size() <= MAX_PATH) {
        program += L"\\" + std::wstring(60, L'p');
    }
    const OutputDirectoryChoice choice =
        CreateOutputDirectory(program + L"\\Morvane\\Output\\run", [] { return std::wstring(); });
    ASSERT_TRUE(choice.created);
    EXPECT_TRUE(UsersAlone(UnixModeOf(choice.directory, mRoot)));

    TestSupport::GdiplusSession gdiplus;
    ASSERT_TRUE(gdiplus.Started());
    TestSupport::FixtureWindows windows;
    const TestSupport::FixtureWindow window = windows.Open(
        {{40, 40, 240, 200}, L"Deep folder", L"MorvaneDeepFolder", WS_POPUP | WS_VISIBLE, 0, RGB(20, 160, 90)});
    ASSERT_TRUE(window) << window.failure;
    WindowInfo record;
    ASSERT_EQ(record.SampleInitialize(window.handle), S_OK);
    CaptureContext context;
    context.outputDirectory = choice.directory;
    EXPECT_EQ(SaveWindowShot(context, record), S_OK);

    const std::vector<MorvaneTests::FolderEntry> shots = MorvaneTests::EntriesIn(choice.directory + L"\\WindowShot");
    ASSERT_EQ(shots.size(), 1u);
    const std::wstring folder = choice.directory + L"\\WindowShot\\" + shots[0].name + L"\\";
    EXPECT_GT(folder.size(), static_cast<size_t>(MAX_PATH));
    TestSupport::DecodedImage picture;
    std::string reason;
    ASSERT_TRUE(TestSupport::DecodeJpegFile(folder + kWindowPictureFileName, picture, reason)) << reason;
    EXPECT_EQ(picture.width, 200);
    EXPECT_EQ(picture.height, 160);
    const TestSupport::Rgb middle = picture.MeanAround(100, 80, 3);
    EXPECT_TRUE(TestSupport::IsNear(middle, 20, 160, 90)) << TestSupport::Describe(middle);
    ASSERT_TRUE(TestSupport::DecodeJpegFile(folder + kMonitorPictureFileName, picture, reason)) << reason;
    EXPECT_NE(::GetFileAttributesW((folder + kInfoFileName).c_str()), INVALID_FILE_ATTRIBUTES);
}

// A "Morvane" folder that is a Unix symbolic link (a reparse point to Wine) beside the real
// Morvane.exe: the run goes below %LOCALAPPDATA%, writes nothing where the link points, and its
// log says why.
TEST_F(PrivateOutputFolders, ARunBesideALinkedFolderGoesBelowLocalApplicationData)
{
    const std::wstring program = mRoot + L"\\Program";
    const std::wstring local = mRoot + L"\\Local";
    const std::wstring elsewhere = mRoot + L"\\Elsewhere";
    for (const std::wstring& folder : {program, local, elsewhere}) {
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    }
    ASSERT_TRUE(::CopyFileW((TestSupport::ProgramDirectory() + L"\\Morvane.exe").c_str(),
                            (program + L"\\Morvane.exe").c_str(), FALSE));
    ASSERT_EQ(UnixCommandOutput("ln -s '" + UnixPathOf(elsewhere) + "' '" + UnixPathOf(program) + "/Morvane' && echo linked",
                                mRoot),
              "linked");
    ASSERT_TRUE(JudgeExistingFolder(SightExistingFolder(program + L"\\Morvane", mSecurity.User())) ==
                FolderRefusal::ReparsePoint);

    MorvaneTests::EnvironmentOverride localOverride(L"LOCALAPPDATA", local.c_str());
    TestSupport::DebugCaptureOptions options;
    options.program = program + L"\\Morvane.exe";
    options.timeLimitMilliseconds = 120000;
    const TestSupport::DebugCaptureResult result = TestSupport::RunWithDebugCapture(options);
    ASSERT_TRUE(result.failure.empty()) << result.failure;
    ASSERT_TRUE(result.exited);
    EXPECT_EQ(result.exitCode, 0u);
    ASSERT_EQ(result.messageBoxTexts.size(), 1u);
    const std::wstring& text = result.messageBoxTexts[0];
    const std::wstring named = L"Success Save All Window To \r\n\"" + local + L"\\Morvane\\Output\\";
    ASSERT_EQ(text.compare(0, named.size(), named), 0) << TestSupport::Utf8(text);
    EXPECT_TRUE(MorvaneTests::EntriesIn(elsewhere).empty());
    // The message ends with the folder's closing quote and a full stop.
    const size_t quote = text.find(L'"');
    const std::wstring run = text.substr(quote + 1, text.size() - quote - 3);
    const std::vector<std::wstring> logs = TestSupport::FilesIn(run + L"\\Log");
    ASSERT_EQ(logs.size(), 1u);
    const std::string log = TestSupport::ReadWholeFile(run + L"\\Log\\" + logs[0]);
    const std::string refused = "]:" + TalvexBasic::ToThreadAnsi(program) + "\\Morvane refused: a reparse point.\r\n";
    EXPECT_NE(log.find(refused), std::string::npos) << log.substr(0, 1500);
}

} // namespace
