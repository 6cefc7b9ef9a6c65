// Signatures through the real trust checks: a copy of the fixture signed by a test root that is
// not trusted, then trusted, and an unsigned copy listed in a catalog of the system's catalog
// folder. The material is made at build time (tests/signing); the root and the catalog are
// installed in the prefix for the length of a test and removed after, as other tests share it.

#include "capture/SignatureCheck.h"

#include "record/RunRecord.h"
#include "support/FixtureProcess.h"
#include "support/ImportPatch.h"
#include "support/MorvaneRun.h"
#include "support/TestPaths.h"
#include "system/UniqueResource.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <mscat.h>
#include <wincrypt.h>

#include <string>

TEST_SUPPORT_IMPORT_SLOT(CryptCATAdminCalcHashFromFileHandle);

namespace {

using namespace TestSupport;
using namespace Morvane;

constexpr wchar_t kSignerName[] = L"Morvane Test Signer";
constexpr wchar_t kCatalogName[] = L"MorvaneSignatureTest.cat";

std::wstring SigningFile(const wchar_t* name)
{
    return ProgramDirectory() + L"\\signing\\" + name;
}

struct CertificateStoreTraits {
    using Type = HCERTSTORE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type store) noexcept { ::CertCloseStore(store, 0); }
};
using UniqueCertificateStore = TalvexBasic::UniqueResource<CertificateStoreTraits>;

struct CertificateContextTraits {
    using Type = PCCERT_CONTEXT;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type certificate) noexcept { ::CertFreeCertificateContext(certificate); }
};
using UniqueCertificateContext = TalvexBasic::UniqueResource<CertificateContextTraits>;

// The test root in the Root store while the object lives.
class TrustedTestRoot {
public:
    TrustedTestRoot() : mEncoded(ReadWholeFile(SigningFile(L"TestRoot.cer")))
    {
        mAdded = !mEncoded.empty() &&
                 ::CertAddEncodedCertificateToSystemStoreW(L"Root", Bytes(), static_cast<DWORD>(mEncoded.size())) != FALSE;
    }
    ~TrustedTestRoot() { (void)Remove(); }
    TrustedTestRoot(const TrustedTestRoot&) = delete;
    TrustedTestRoot& operator=(const TrustedTestRoot&) = delete;

    [[nodiscard]] bool Added() const { return mAdded; }

    // Takes the root out of the current user's Root store, where it was added; true when it is
    // no longer there. The Root system store as opened for reading also holds the system's roots,
    // so the removal goes to the registry store that keeps the added ones.
    [[nodiscard]] bool Remove()
    {
        if (!mAdded) {
            return true;
        }
        const UniqueCertificateStore root(::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0,
                                                          CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
        const UniqueCertificateContext certificate(
            ::CertCreateCertificateContext(X509_ASN_ENCODING, Bytes(), static_cast<DWORD>(mEncoded.size())));
        if (!root || !certificate) {
            return false;
        }
        const auto find = [&] {
            return ::CertFindCertificateInStore(root.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, certificate.get(),
                                                nullptr);
        };
        if (PCCERT_CONTEXT found = find(); found != nullptr) {
            ::CertDeleteCertificateFromStore(found); // frees found
        }
        if (const UniqueCertificateContext left(find()); left) {
            return false;
        }
        mAdded = false;
        return true;
    }

private:
    const BYTE* Bytes() const { return reinterpret_cast<const BYTE*>(mEncoded.data()); }

    std::string mEncoded;
    bool mAdded = false;
};

// The test catalog in the system's catalog folder while the object lives.
class InstalledCatalog {
public:
    InstalledCatalog()
    {
        wchar_t system[MAX_PATH] = {};
        ::GetSystemDirectoryW(system, MAX_PATH);
        const std::wstring catroot = std::wstring(system) + L"\\catroot";
        const std::wstring folder = catroot + L"\\{127d0a1d-4ef2-11d1-8608-00c04fc295ee}";
        ::CreateDirectoryW(catroot.c_str(), nullptr);
        ::CreateDirectoryW(folder.c_str(), nullptr);
        mPath = folder + L"\\" + kCatalogName;
        mInstalled = ::CopyFileW(SigningFile(L"TestCatalog.cat").c_str(), mPath.c_str(), FALSE) != FALSE;
    }
    ~InstalledCatalog() { ::DeleteFileW(mPath.c_str()); }
    InstalledCatalog(const InstalledCatalog&) = delete;
    InstalledCatalog& operator=(const InstalledCatalog&) = delete;

    [[nodiscard]] bool Installed() const { return mInstalled; }

private:
    std::wstring mPath;
    bool mInstalled = false;
};

class SignatureRoute : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::GetFileAttributesW(SigningFile(L"TestCatalog.cat").c_str()) == INVALID_FILE_ATTRIBUTES) {
            GTEST_SKIP() << "no signed test material in bin\\signing (made with openssl and osslsigncode)";
        }
    }
};

// In this process the root is never trusted: the chain engine keeps the Root store it first
// read, so a root added later counts only in later processes (SignatureRecordEndToEnd).
TEST_F(SignatureRoute, AnEmbeddedSignatureByAnUnknownRootIsUntrustedAndNamesItsSigner)
{
    const SignatureVerdict untrusted = CheckSignature(SigningFile(L"SignedFixture.exe"));
    EXPECT_EQ(untrusted.state, SignatureState::Untrusted);
    EXPECT_EQ(untrusted.result, CERT_E_UNTRUSTEDROOT);
    EXPECT_EQ(untrusted.source, SignatureSource::File);
    EXPECT_EQ(untrusted.signer.value_or(L"(none)"), kSignerName);
    EXPECT_FALSE(untrusted.catalog);
}

TEST_F(SignatureRoute, AFileWithoutASignatureIsJudgedByTheCatalogThatListsIt)
{
    const std::wstring listedCopy = SigningFile(L"ListedFixture.exe");
    const SignatureVerdict alone = CheckSignature(listedCopy);
    EXPECT_EQ(alone.state, SignatureState::Unsigned);
    EXPECT_EQ(alone.result, TRUST_E_NOSIGNATURE);
    EXPECT_EQ(alone.source, SignatureSource::None);
    EXPECT_FALSE(alone.catalog);

    const InstalledCatalog catalog;
    ASSERT_TRUE(catalog.Installed()) << ::GetLastError();
    const SignatureVerdict listed = CheckSignature(listedCopy);
    EXPECT_EQ(listed.state, SignatureState::Untrusted);
    EXPECT_EQ(listed.result, CERT_E_UNTRUSTEDROOT);
    EXPECT_EQ(listed.source, SignatureSource::Catalog);
    EXPECT_EQ(listed.signer.value_or(L"(none)"), kSignerName);
    EXPECT_EQ(listed.catalog.value_or(L"(none)"), kCatalogName);

    // The fixture itself is not listed: its hash differs from the copy's.
    const SignatureVerdict fixture = CheckSignature(DesktopFixturePath());
    EXPECT_EQ(fixture.state, SignatureState::Unsigned);
    EXPECT_FALSE(fixture.catalog);
}

// The catalog hash that fails: the file may still be listed, so it is not "unsigned".
BOOL WINAPI FailingCalcHash(HANDLE, DWORD*, BYTE*, DWORD)
{
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
}

TEST_F(SignatureRoute, AFileWhoseCatalogHashFailsIsUnknown)
{
    if (::GetProcAddress(::GetModuleHandleW(L"wintrust.dll"), "CryptCATAdminCalcHashFromFileHandle2") != nullptr) {
        GTEST_SKIP() << "the system hashes through CryptCATAdminCalcHashFromFileHandle2, which is not imported";
    }
    const ImportPatch<decltype(&::CryptCATAdminCalcHashFromFileHandle)> patch(__imp_CryptCATAdminCalcHashFromFileHandle,
                                                                             &FailingCalcHash);
    const SignatureVerdict verdict = CheckSignature(SigningFile(L"ListedFixture.exe"));
    EXPECT_EQ(verdict.state, SignatureState::Unknown);
    EXPECT_EQ(verdict.result, HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(verdict.source, SignatureSource::None);
}

// Morvane.exe over windows of the signed copy and of the listed copy, with the test root trusted
// and the catalog in place: a new process, so the root counts.
class SignatureRecordEndToEnd : public SignatureRoute {
protected:
    void SetUp() override
    {
        SignatureRoute::SetUp();
        if (IsSkipped()) {
            return;
        }
        ASSERT_TRUE(mRoot.Added()) << ::GetLastError();
        ASSERT_TRUE(mCatalog.Installed()) << ::GetLastError();
        ASSERT_TRUE(mSigned.StartFrom(SigningFile(L"SignedFixture.exe"))) << mSigned.Failure();
        ASSERT_TRUE(mListed.StartFrom(SigningFile(L"ListedFixture.exe"))) << mListed.Failure();
        const FixtureWindow signedWindow =
            mSigned.Open({{100, 100, 400, 300}, L"signed copy", L"MorvaneSignedA", WS_POPUP | WS_VISIBLE, 0, RGB(200, 40, 40)});
        const FixtureWindow listedWindow =
            mListed.Open({{500, 100, 800, 300}, L"listed copy", L"MorvaneListedB", WS_POPUP | WS_VISIBLE, 0, RGB(40, 200, 40)});
        ASSERT_TRUE(signedWindow) << signedWindow.failure;
        ASSERT_TRUE(listedWindow) << listedWindow.failure;
        const DebugCaptureResult run = RunMorvane();
        ASSERT_TRUE(run.failure.empty()) << run.failure;
        mDirectory = CompletionDirectory(run);
        mRecord = nlohmann::json::parse(ReadWholeFile(mDirectory + L"\\Morvane.Run.json"), nullptr, false);
        ASSERT_TRUE(mRecord.is_object()) << "Morvane.Run.json missing or not JSON";
    }

    void TearDown() override
    {
        // Other tests in this prefix must not trust the test root.
        EXPECT_TRUE(mRoot.Remove()) << "the test root stayed in the Root store";
        if (!mDirectory.empty()) {
            RemoveTree(mDirectory);
        }
    }

    [[nodiscard]] nlohmann::json ProcessOf(const FixtureProcess& fixture) const
    {
        for (const nlohmann::json& process : mRecord["processes"]) {
            if (process["processId"].get<DWORD>() == fixture.ProcessId()) {
                return process;
            }
        }
        return nullptr;
    }

    TrustedTestRoot mRoot;
    InstalledCatalog mCatalog;
    FixtureProcess mSigned;
    FixtureProcess mListed;
    std::wstring mDirectory;
    nlohmann::json mRecord;
};

TEST_F(SignatureRecordEndToEnd, TheRecordSaysWhereEachTrustedSignatureWasFound)
{
    const struct {
        const FixtureProcess& fixture;
        const char* signedBy;
        nlohmann::json catalog;
    } copies[] = {{mSigned, "file", nullptr}, {mListed, "catalog", ToUtf8(kCatalogName)}};
    for (const auto& copy : copies) {
        SCOPED_TRACE(copy.signedBy);
        const nlohmann::json process = ProcessOf(copy.fixture);
        ASSERT_TRUE(process.is_object()) << "no process entry";
        EXPECT_EQ(process["signature"], "signed");
        EXPECT_EQ(process["signer"], ToUtf8(kSignerName));
        EXPECT_EQ(process["signedBy"], copy.signedBy);
        EXPECT_EQ(process["catalog"], copy.catalog);
        EXPECT_EQ(process["signatureResult"].get<std::int32_t>(), 0);
    }

    // An unsigned image stays unsigned, with nothing to place.
    for (const nlohmann::json& process : mRecord["processes"]) {
        if (process["signature"] == "unsigned") {
            EXPECT_TRUE(process["signedBy"].is_null()) << process["imagePath"];
            EXPECT_TRUE(process["catalog"].is_null()) << process["imagePath"];
        }
    }
}

} // namespace
