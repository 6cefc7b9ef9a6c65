// The facts of the process behind a window: its command line, parent, version strings and
// signature, read from real fixture processes started by a launcher with a known command line.
// The parent rule and the trust verdict are tables; the "signed" branch and slow checks come
// from an injected WinVerifyTrust, since nothing here signs files.

#include "capture/CatalogMember.h"
#include "capture/ParentProcessRule.h"
#include "capture/ProcessFacts.h"
#include "capture/SignatureCheck.h"
#include "capture/WindowInfo.h"
#include "record/ProcessCatalog.h"

#include "support/DebugLineCapture.h"
#include "support/FixtureProcess.h"
#include "support/FixtureVersion.h"
#include "support/ImportPatch.h"
#include "support/TestPaths.h"
#include "system/UniqueResource.h"

#include <gtest/gtest.h>

#include <softpub.h>
#include <wintrust.h>

#include <atomic>
#include <optional>
#include <string>

TEST_SUPPORT_IMPORT_SLOT(WinVerifyTrust);
TEST_SUPPORT_IMPORT_SLOT(OpenProcess);

namespace {

using namespace TestSupport;
using namespace Morvane;

TEST(ParentProcessRule, CountsOnlyARunningParentThatStartedFirst)
{
    struct Case {
        ParentSighting sighting;
        ParentStanding expected;
    };
    // {opened, stillActive, parentCreation, childCreation, openDenied, noParentId}
    const Case cases[] = {
        {{true, true, 100, 200}, ParentStanding::Running},
        {{true, true, 200, 200}, ParentStanding::Running},   // same tick: not later
        {{true, true, 300, 200}, ParentStanding::Gone},      // a later process reuses the id
        {{true, false, 100, 200}, ParentStanding::Gone},     // ended, its handle still held
        {{false, false, 0, 200}, ParentStanding::Gone},      // no such process
        {{true, true, 0, 200}, ParentStanding::Unreadable},  // its start unknown
        {{true, true, 100, 0}, ParentStanding::Unreadable},  // the child's start unknown
        {{false, false, 0, 200, true}, ParentStanding::Unreadable}, // runs, but may not be opened
        {{false, false, 0, 0, true}, ParentStanding::Unreadable},   // neither start known
        {{false, false, 0, 200, false, true}, ParentStanding::None}, // id 0: started from outside
        {{false, false, 0, 0, true, true}, ParentStanding::None},    // id 0 whatever its open said
        {{true, true, 100, 200, false, true}, ParentStanding::None},
    };
    for (const Case& item : cases) {
        EXPECT_EQ(JudgeParent(item.sighting), item.expected)
            << item.sighting.opened << item.sighting.stillActive << " " << item.sighting.parentCreation << " "
            << item.sighting.childCreation << " " << item.sighting.openDenied << item.sighting.noParentId;
    }
}

TEST(SignatureVerdict, NoSignatureIsUnsignedOnlyWhenTheFileSaysSoAndABrokenChainIsUntrusted)
{
    constexpr auto kFile = SignatureSource::File;
    constexpr auto kCatalog = SignatureSource::Catalog;
    const auto noSignature = static_cast<DWORD>(TRUST_E_NOSIGNATURE);
    struct Case {
        TrustAnswer answer;
        SignatureState expected;
    };
    const Case cases[] = {
        {{S_OK, 0, kFile}, SignatureState::Signed},
        {{S_OK, 0, kCatalog}, SignatureState::Signed},
        {{S_OK, 0, SignatureSource::None}, SignatureState::Unknown}, // no signature was asked about
        // "No signature" is unsigned only when the last error says the subject carries none.
        {{TRUST_E_NOSIGNATURE, noSignature, kFile}, SignatureState::Unsigned},
        {{TRUST_E_NOSIGNATURE, static_cast<DWORD>(TRUST_E_SUBJECT_FORM_UNKNOWN), kFile}, SignatureState::Unsigned},
        {{TRUST_E_NOSIGNATURE, static_cast<DWORD>(TRUST_E_PROVIDER_UNKNOWN), kFile}, SignatureState::Unsigned},
        {{TRUST_E_NOSIGNATURE, ERROR_ACCESS_DENIED, kFile}, SignatureState::Unknown},
        {{TRUST_E_NOSIGNATURE, static_cast<DWORD>(TRUST_E_BAD_DIGEST), kFile}, SignatureState::Unknown},
        {{TRUST_E_NOSIGNATURE, ERROR_SUCCESS, kFile}, SignatureState::Unknown},
        // A catalog was found by the file's hash: it is a signature, whatever the check says.
        {{TRUST_E_NOSIGNATURE, noSignature, kCatalog}, SignatureState::Unknown},
        // A sound signature whose chain is not trusted now.
        {{CERT_E_UNTRUSTEDROOT, 0, kFile}, SignatureState::Untrusted},
        {{CERT_E_UNTRUSTEDROOT, 0, kCatalog}, SignatureState::Untrusted},
        {{CERT_E_EXPIRED, 0, kFile}, SignatureState::Untrusted},
        {{CERT_E_CHAINING, 0, kCatalog}, SignatureState::Untrusted},
        {{CERT_E_UNTRUSTEDTESTROOT, 0, kFile}, SignatureState::Untrusted},
        {{TRUST_E_EXPLICIT_DISTRUST, 0, kFile}, SignatureState::Untrusted},
        {{CERT_E_UNTRUSTEDROOT, 0, SignatureSource::None}, SignatureState::Unknown},
        // An altered file, a failed check or one that did not finish says nothing of a signer.
        {{TRUST_E_BAD_DIGEST, 0, kFile}, SignatureState::Unknown},
        {{TRUST_E_SUBJECT_FORM_UNKNOWN, noSignature, kFile}, SignatureState::Unknown},
        {{TRUST_E_PROVIDER_UNKNOWN, noSignature, kFile}, SignatureState::Unknown},
        {{HRESULT_FROM_WIN32(ERROR_TIMEOUT), 0, kFile}, SignatureState::Unknown},
        {{S_FALSE, 0, kCatalog}, SignatureState::Unknown},
    };
    for (const Case& item : cases) {
        EXPECT_EQ(ClassifyTrust(item.answer), item.expected)
            << std::hex << item.answer.result << " " << item.answer.lastError << " "
            << static_cast<int>(item.answer.where);
    }
    EXPECT_STREQ(SignatureStateName(SignatureState::Untrusted), "untrusted");
    EXPECT_STREQ(SignatureSourceName(SignatureSource::File), "file");
    EXPECT_STREQ(SignatureSourceName(SignatureSource::Catalog), "catalog");
    EXPECT_EQ(SignatureSourceName(SignatureSource::None), nullptr);
    EXPECT_EQ(UpperHex({0x00, 0xAB, 0x1F, 0xF0}), L"00AB1FF0");
}

// A fixture started by a launcher that stays, and one whose launcher has left. Their facts in full
// are checked end to end (ProcessRecordEndToEnd); here what the run cannot show.
class LaunchedFixtures : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sStaying = new FixtureProcess;
        sOrphan = new FixtureProcess;
        ASSERT_TRUE(sStaying->StartThroughLauncher(FixtureProcess::Launcher::Stays)) << sStaying->Failure();
        ASSERT_TRUE(sOrphan->StartThroughLauncher(FixtureProcess::Launcher::Leaves)) << sOrphan->Failure();
        // The leaving launcher must be gone before the facts are read.
        const TalvexBasic::UniqueHandle launcher(::OpenProcess(SYNCHRONIZE, FALSE, sOrphan->LauncherProcessId()));
        if (launcher) {
            ::WaitForSingleObject(launcher.get(), 10000);
        }
    }
    static void TearDownTestSuite()
    {
        delete sStaying;
        delete sOrphan;
    }

    static inline FixtureProcess* sStaying = nullptr;
    static inline FixtureProcess* sOrphan = nullptr;
};

// OpenProcess denied for one process id: every open, or (sDeniedRights not 0) those that ask for
// one of the given rights.
struct DeniedOpen {
    static inline DWORD sDenied = 0;
    static inline DWORD sDeniedRights = 0;
    static inline decltype(&::OpenProcess) sReal = nullptr;
    static HANDLE WINAPI Call(DWORD access, BOOL inherit, DWORD id)
    {
        if (id == sDenied && (sDeniedRights == 0 || (access & sDeniedRights) != 0)) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        return sReal(access, inherit, id);
    }
};

// A process that cannot be opened costs its command line and start, and nothing else.
TEST_F(LaunchedFixtures, AProcessThatCannotBeOpenedCostsOnlyItsOwnFields)
{
    DeniedOpen::sDenied = sStaying->ProcessId();
    DeniedOpen::sDeniedRights = 0;
    ProcessFacts facts;
    {
        ImportPatch<decltype(&::OpenProcess)> patch(__imp_OpenProcess, &DeniedOpen::Call);
        DeniedOpen::sReal = patch.Original();
        facts = ReadProcessFacts(sStaying->ProcessId(), DesktopFixturePath());
        EXPECT_EQ(ReadImagePathOf(sStaying->ProcessId()), L"");
    }
    // What a window that vanished before it was saved keeps of its process.
    const std::wstring imagePath = ReadImagePathOf(sStaying->ProcessId());
    const size_t name = imagePath.rfind(L'\\');
    ASSERT_NE(name, std::wstring::npos) << imagePath;
    EXPECT_EQ(imagePath.substr(name + 1), L"DesktopFixture.exe");
    EXPECT_FALSE(facts.commandLine);
    EXPECT_EQ(facts.creationTime, 0u);
    ASSERT_TRUE(facts.parentProcessId);
    EXPECT_EQ(*facts.parentProcessId, sStaying->LauncherProcessId());
    // Without the child's start nothing tells the parent from a later one with its id.
    EXPECT_FALSE(facts.parentImagePath);
    EXPECT_FALSE(facts.parentGone);
    EXPECT_TRUE(facts.parentUnreadable);
}

// The facts read with the limited right stay when the right to read memory is refused, and a
// parent that may not be opened at all is unreadable, not gone.
TEST_F(LaunchedFixtures, RefusedRightsCostOnlyWhatTheyGuard)
{
    struct Case {
        const char* name;
        DWORD denied;
        DWORD deniedRights;
        bool commandLine;
        bool parentImage;
        bool parentUnreadable;
        const char* traced; // the line that says why; "%c" is the child's id, "%p" the parent's
    };
    const DWORD child = sStaying->ProcessId();
    const DWORD parent = sStaying->LauncherProcessId();
    const Case cases[] = {
        {"memory refused", child, PROCESS_VM_READ, false, true, false, "OpenProcess(%c, PROCESS_VM_READ) error:5."},
        {"parent refused", parent, 0, true, false, true, "parent %p of process %c may not be opened."},
        {"parent's memory refused", parent, PROCESS_VM_READ, true, true, false, nullptr},
    };
    const std::string launched = Utf8(FixtureLaunch::LaunchedCommandLine(DesktopFixturePath()));
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        DeniedOpen::sDenied = item.denied;
        DeniedOpen::sDeniedRights = item.deniedRights;
        ProcessFacts facts;
        DebugLineCapture lines;
        {
            ImportPatch<decltype(&::OpenProcess)> patch(__imp_OpenProcess, &DeniedOpen::Call);
            DeniedOpen::sReal = patch.Original();
            facts = ReadProcessFacts(child, DesktopFixturePath());
            // What a gone window keeps of its process: its executable, whatever else is refused.
            const std::wstring image = ReadImagePathOf(child);
            EXPECT_EQ(image.substr(image.rfind(L'\\') + 1), L"DesktopFixture.exe") << Utf8(image);
        }
        EXPECT_NE(facts.creationTime, 0u);
        ASSERT_EQ(facts.commandLine.has_value(), item.commandLine);
        if (item.commandLine) {
            EXPECT_EQ(Utf8(*facts.commandLine), launched);
        }
        ASSERT_TRUE(facts.parentProcessId);
        EXPECT_EQ(*facts.parentProcessId, parent);
        EXPECT_EQ(facts.parentImagePath.has_value(), item.parentImage);
        EXPECT_EQ(facts.parentUnreadable, item.parentUnreadable);
        EXPECT_FALSE(facts.parentGone);
        EXPECT_EQ(lines.CountContaining("is gone."), 0u);
        if (item.traced != nullptr) {
            std::string traced = item.traced;
            traced.replace(traced.find("%c"), 2, std::to_string(child));
            if (traced.find("%p") != std::string::npos) {
                traced.replace(traced.find("%p"), 2, std::to_string(parent));
            }
            EXPECT_EQ(lines.CountContaining(traced), 1u) << traced;
        }
    }
}

// Started from the shell, as every process Wine starts from outside: the snapshot names parent
// id 0, which is no parent at all and worth no trace line.
TEST(ProcessFactsOfThisProgram, ParentIdZeroIsNoParent)
{
    DebugLineCapture lines;
    const ProcessFacts facts = ReadProcessFacts(::GetCurrentProcessId(), std::wstring());
    ASSERT_TRUE(facts.parentProcessId);
    ASSERT_EQ(*facts.parentProcessId, 0u) << "this test needs a test program started from the shell";
    EXPECT_FALSE(facts.parentGone);
    EXPECT_FALSE(facts.parentUnreadable);
    EXPECT_FALSE(facts.parentImagePath);
    EXPECT_TRUE(facts.commandLine);
    for (const std::string& line : lines.Lines()) {
        EXPECT_EQ(line.find("parent"), std::string::npos) << line;
    }
}

TEST(ProcessCommandLine, ReadsAHugeCommandLineWhole)
{
    const std::wstring program = DesktopFixturePath();
    std::wstring commandLine = L"\"" + program + L"\" --hang ";
    while (commandLine.size() < 32000) {
        commandLine += L"\x6F22\x5B57 \"quoted words\" ";
    }
    // No console: under Wine a console of its own would outlive the process and hold the test
    // runner's output open. The fixture waits on its input, a pipe kept open until the end.
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    TalvexBasic::UniqueHandle input;
    TalvexBasic::UniqueHandle feed;
    ASSERT_TRUE(::CreatePipe(input.put(), feed.put(), &inherited, 0));
    ::SetHandleInformation(feed.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    PROCESS_INFORMATION information{};
    std::wstring mutableLine = commandLine;
    ASSERT_TRUE(::CreateProcessW(program.c_str(), mutableLine.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS,
                                 nullptr, nullptr, &startup, &information));
    const TalvexBasic::UniqueHandle process(information.hProcess);
    const TalvexBasic::UniqueHandle thread(information.hThread);
    // The new process sets its parameters up as it starts.
    std::wstring read;
    HRESULT result = E_FAIL;
    for (int attempt = 0; attempt < 100 && (FAILED(result) || read.empty()); ++attempt) {
        result = Morvane::ReadCommandLine(process.get(), read);
        ::Sleep(50);
    }
    ::TerminateProcess(process.get(), 0);
    ::WaitForSingleObject(process.get(), 5000);
    ASSERT_EQ(result, S_OK);
    EXPECT_EQ(read.size(), commandLine.size());
    EXPECT_TRUE(read == commandLine);
}

TEST(VersionStrings, AnImageWithoutAVersionResourceHasNone)
{
    // The test program carries none (Morvane.exe has its own since its events name its version).
    const VersionStrings strings = ReadVersionStrings(ProgramDirectory() + L"\\MorvaneTests.exe");
    EXPECT_FALSE(strings.company);
    EXPECT_FALSE(strings.product);
    EXPECT_FALSE(strings.description);
    EXPECT_FALSE(strings.fileVersion);
    EXPECT_FALSE(strings.originalFilename);
    const VersionStrings tool = ReadVersionStrings(ProgramDirectory() + L"\\Morvane.exe");
    EXPECT_FALSE(tool.company);
    EXPECT_EQ(tool.product, std::optional<std::wstring>(L"Morvane"));
    EXPECT_EQ(tool.fileVersion, std::optional<std::wstring>(L"1.0.0.0"));
    EXPECT_EQ(tool.originalFilename, std::optional<std::wstring>(L"Morvane.exe"));
}

// WinVerifyTrust answers from a table for one test, counting its verifications.
struct InjectedTrust {
    static inline LONG sResult = 0;
    static inline DWORD sLastError = ERROR_SUCCESS; // what the check leaves for GetLastError
    static inline DWORD sDelayMilliseconds = 0;
    static inline std::atomic<int> sVerifications{0};

    static LONG WINAPI Call(HWND, GUID*, LPVOID data)
    {
        const auto* trust = static_cast<const WINTRUST_DATA*>(data);
        if (trust->dwStateAction == WTD_STATEACTION_CLOSE) {
            return 0;
        }
        // The check must never show anything nor go to the network.
        if (trust->dwUIChoice != WTD_UI_NONE || trust->fdwRevocationChecks != WTD_REVOKE_NONE ||
            (trust->dwProvFlags & WTD_CACHE_ONLY_URL_RETRIEVAL) == 0) {
            return E_INVALIDARG;
        }
        ++sVerifications;
        ::Sleep(sDelayMilliseconds);
        ::SetLastError(sLastError);
        return sResult;
    }
};

TEST(SignatureCheck, TheUnsignedFixtureIsUnsignedAndInjectedResultsAreClassified)
{
    const SignatureVerdict unsigned_ = CheckSignature(DesktopFixturePath());
    EXPECT_EQ(unsigned_.state, SignatureState::Unsigned);
    EXPECT_EQ(unsigned_.result, TRUST_E_NOSIGNATURE);
    EXPECT_FALSE(unsigned_.signer);

    ImportPatch<decltype(&::WinVerifyTrust)> patch(__imp_WinVerifyTrust, &InjectedTrust::Call);
    InjectedTrust::sDelayMilliseconds = 0;
    InjectedTrust::sResult = 0;
    const SignatureVerdict signedVerdict = CheckSignature(DesktopFixturePath());
    EXPECT_EQ(signedVerdict.state, SignatureState::Signed);
    EXPECT_EQ(signedVerdict.result, S_OK);
    InjectedTrust::sResult = static_cast<LONG>(CERT_E_EXPIRED);
    const SignatureVerdict expired = CheckSignature(DesktopFixturePath());
    EXPECT_EQ(expired.state, SignatureState::Untrusted);
    EXPECT_EQ(expired.result, CERT_E_EXPIRED);
    // "No signature" is unsigned only as far as the last error says the file carries none.
    InjectedTrust::sResult = static_cast<LONG>(TRUST_E_NOSIGNATURE);
    InjectedTrust::sLastError = static_cast<DWORD>(TRUST_E_SUBJECT_FORM_UNKNOWN);
    EXPECT_EQ(CheckSignature(DesktopFixturePath()).state, SignatureState::Unsigned);
    InjectedTrust::sLastError = ERROR_ACCESS_DENIED;
    const SignatureVerdict unreadable = CheckSignature(DesktopFixturePath());
    EXPECT_EQ(unreadable.state, SignatureState::Unknown);
    EXPECT_EQ(unreadable.result, TRUST_E_NOSIGNATURE);
    InjectedTrust::sLastError = ERROR_SUCCESS;
}

TEST(SignatureChecks, ChecksEachPathOnceAndRecordsAnOverrunAsUnknown)
{
    ImportPatch<decltype(&::WinVerifyTrust)> patch(__imp_WinVerifyTrust, &InjectedTrust::Call);
    InjectedTrust::sResult = 0;
    InjectedTrust::sDelayMilliseconds = 0;
    InjectedTrust::sVerifications = 0;
    {
        SignatureChecks checks(2000);
        for (int round = 0; round < 3; ++round) {
            checks.Request(L"C:\\one.exe");
            checks.Request(L"C:\\two.exe");
        }
        const auto verdicts = checks.Collect();
        ASSERT_EQ(verdicts.size(), 2u);
        EXPECT_EQ(verdicts.at(L"C:\\one.exe").state, SignatureState::Signed);
        EXPECT_EQ(verdicts.at(L"C:\\two.exe").state, SignatureState::Signed);
        EXPECT_EQ(InjectedTrust::sVerifications.load(), 2);
    }

    // A check that takes longer than its bound is given up, and the run does not wait for it.
    InjectedTrust::sDelayMilliseconds = 3000;
    SignatureChecks slow(200);
    slow.Request(L"C:\\slow.exe");
    const ULONGLONG before = ::GetTickCount64();
    const auto verdicts = slow.Collect();
    const ULONGLONG waited = ::GetTickCount64() - before;
    ASSERT_EQ(verdicts.size(), 1u);
    EXPECT_EQ(verdicts.at(L"C:\\slow.exe").state, SignatureState::Unknown);
    EXPECT_EQ(verdicts.at(L"C:\\slow.exe").result, HRESULT_FROM_WIN32(ERROR_TIMEOUT));
    EXPECT_LT(waited, 2000u);
    // The check left behind must end inside the injected routine before the patch goes.
    ::Sleep(3200);
}

TEST_F(LaunchedFixtures, TheCatalogReadsEachProcessOnceByIdAndStart)
{
    ProcessCatalog catalog(5000);
    const std::wstring program = DesktopFixturePath();
    const std::string first = catalog.Note(sStaying->ProcessId(), 0, program);
    for (int window = 0; window < 3; ++window) {
        EXPECT_EQ(catalog.Note(sStaying->ProcessId(), 0, program), first);
        (void)catalog.Note(sOrphan->ProcessId(), 0, program);
        // A watch writes its record while windows go on arriving: what it takes leaves the
        // catalog whole.
        const std::vector<RunProcess> sofar = catalog.Snapshot();
        ASSERT_EQ(sofar.size(), 2u);
        EXPECT_TRUE(sofar[0].signature.state == SignatureState::Unsigned ||
                    sofar[0].signature.result == E_PENDING);
    }
    // The same id with another start is another process.
    (void)catalog.Note(sStaying->ProcessId(), 116445168000000000ull, program);
    const std::vector<RunProcess> processes = catalog.Finish();
    ASSERT_EQ(processes.size(), 3u);
    EXPECT_EQ(processes[0].facts.processId, sStaying->ProcessId());
    EXPECT_EQ(processes[1].facts.processId, sOrphan->ProcessId());
    EXPECT_EQ(processes[2].startedAt.substr(0, 10), "1970-01-01"); // noon UTC, any offset
    EXPECT_EQ(first.size(), 29u);
    for (const RunProcess& process : processes) {
        EXPECT_EQ(process.signature.state, SignatureState::Unsigned);
        EXPECT_EQ(process.facts.version.company, std::wstring(FIXTURE_VERSION_COMPANY));
    }
}

} // namespace
