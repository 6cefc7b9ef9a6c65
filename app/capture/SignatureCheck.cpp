#include "capture/SignatureCheck.h"

#include "capture/CatalogMember.h"

#include "MorvaneTrace.h"

#include <softpub.h>
#include <wintrust.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace Morvane {

struct SignatureChecks::Shared {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::wstring> waiting;
    std::map<std::wstring, SignatureVerdict> done;
    std::map<std::wstring, bool> asked;
    bool checking = false; // a check of `current` is under way
    std::wstring current;
    std::chrono::steady_clock::time_point currentStart;
    bool stopping = false;
};

namespace {

constexpr const char* kCheckSignature = "Morvane::CheckSignature";

std::optional<std::wstring> SignerName(HANDLE stateData)
{
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(stateData);
    CRYPT_PROVIDER_SGNR* signer = provider == nullptr ? nullptr : ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr ||
        signer->pasCertChain[0].pCert == nullptr) {
        return std::nullopt;
    }
    const PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
    const DWORD length = ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    if (length <= 1) {
        return std::nullopt;
    }
    std::wstring name(length, L'\0');
    ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), length);
    name.resize(length - 1);
    return name;
}

WINTRUST_DATA TrustData(DWORD choice) noexcept
{
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = choice;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    return data;
}

// Runs one trust check and judges its answer; the signer's name is read for a signature that is
// trusted or whose only fault is its chain.
SignatureVerdict Verify(WINTRUST_DATA& data, SignatureSource where, const std::wstring& imagePath)
{
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    // INVALID_HANDLE_VALUE: no window of ours may be owner of anything the check shows.
    const auto result = static_cast<HRESULT>(::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data));
    const DWORD lastError = ::GetLastError();

    SignatureVerdict verdict;
    verdict.result = result;
    verdict.state = ClassifyTrust(TrustAnswer{result, lastError, where});
    if (verdict.state == SignatureState::Signed || verdict.state == SignatureState::Untrusted) {
        verdict.source = where;
        if (data.hWVTStateData != nullptr) {
            verdict.signer = SignerName(data.hWVTStateData);
        }
    }
    if (verdict.state == SignatureState::Unknown) {
        MORVANE_TRACE_W(kCheckSignature, L"WinVerifyTrust(%ls) return:0x%x.", imagePath.c_str(),
                        static_cast<unsigned>(result));
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    (void)::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return verdict;
}

void RunChecks(const std::shared_ptr<SignatureChecks::Shared>& shared)
{
    std::unique_lock<std::mutex> guard(shared->lock);
    for (;;) {
        shared->changed.wait(guard, [&] { return shared->stopping || !shared->waiting.empty(); });
        if (shared->stopping) {
            return;
        }
        shared->current = shared->waiting.front();
        shared->waiting.pop_front();
        shared->checking = true;
        shared->currentStart = std::chrono::steady_clock::now();
        const std::wstring path = shared->current;
        guard.unlock();
        SignatureVerdict verdict = CheckSignature(path);
        guard.lock();
        shared->checking = false;
        shared->done.emplace(path, std::move(verdict));
        shared->changed.notify_all();
    }
}

} // namespace

SignatureVerdict CheckSignature(const std::wstring& imagePath)
{
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = imagePath.c_str();
    WINTRUST_DATA data = TrustData(WTD_CHOICE_FILE);
    data.pFile = &file;
    SignatureVerdict verdict = Verify(data, SignatureSource::File, imagePath);
    if (verdict.state != SignatureState::Unsigned) {
        return verdict;
    }

    // Most of Windows' own programs carry no signature of their own: a signed catalog lists them.
    CatalogSearch search = FindCatalogMember(imagePath);
    if (FAILED(search.result)) {
        return SignatureVerdict{SignatureState::Unknown, search.result, {}, SignatureSource::None, {}};
    }
    if (!search.member) {
        return verdict;
    }
    CatalogMember& member = *search.member;
    WINTRUST_CATALOG_INFO catalog{};
    catalog.cbStruct = sizeof catalog;
    catalog.pcwszCatalogFilePath = member.catalogPath.c_str();
    catalog.pcwszMemberTag = member.memberTag.c_str();
    catalog.pcwszMemberFilePath = imagePath.c_str();
    catalog.pbCalculatedFileHash = member.hash.data();
    catalog.cbCalculatedFileHash = static_cast<DWORD>(member.hash.size());
    // The hash may be SHA-256: the check must ask the context that made it.
    catalog.hCatAdmin = member.admin.get();
    data = TrustData(WTD_CHOICE_CATALOG);
    data.pCatalog = &catalog;
    verdict = Verify(data, SignatureSource::Catalog, imagePath);
    const std::size_t slash = member.catalogPath.find_last_of(L"\\/");
    verdict.catalog = slash == std::wstring::npos ? member.catalogPath : member.catalogPath.substr(slash + 1);
    return verdict;
}

SignatureChecks::SignatureChecks(DWORD boundMilliseconds)
    : mShared(std::make_shared<Shared>()), mBoundMilliseconds(boundMilliseconds)
{
    std::thread(RunChecks, mShared).detach();
}

SignatureChecks::~SignatureChecks()
{
    const std::lock_guard<std::mutex> guard(mShared->lock);
    mShared->stopping = true;
    mShared->changed.notify_all();
}

void SignatureChecks::Request(const std::wstring& imagePath)
{
    const std::lock_guard<std::mutex> guard(mShared->lock);
    if (mShared->stopping || !mShared->asked.emplace(imagePath, true).second) {
        return;
    }
    mShared->waiting.push_back(imagePath);
    mShared->changed.notify_all();
}

std::map<std::wstring, SignatureVerdict> SignatureChecks::Peek() const
{
    const std::lock_guard<std::mutex> guard(mShared->lock);
    return mShared->done;
}

std::map<std::wstring, SignatureVerdict> SignatureChecks::Collect()
{
    const auto bound = std::chrono::milliseconds(mBoundMilliseconds);
    std::unique_lock<std::mutex> guard(mShared->lock);
    for (;;) {
        if (!mShared->checking && mShared->waiting.empty()) {
            break;
        }
        if (!mShared->checking) {
            // The thread has yet to take the next path: give it the time of a check.
            if (!mShared->changed.wait_for(guard, bound, [&] { return mShared->checking || mShared->waiting.empty(); })) {
                break;
            }
            continue;
        }
        const auto deadline = mShared->currentStart + bound;
        const std::wstring current = mShared->current;
        if (!mShared->changed.wait_until(guard, deadline, [&] { return !mShared->checking || mShared->current != current; })) {
            break;
        }
    }
    mShared->stopping = true;
    mShared->changed.notify_all();
    std::map<std::wstring, SignatureVerdict> verdicts = mShared->done;
    for (const auto& [path, unused] : mShared->asked) {
        if (verdicts.find(path) == verdicts.end()) {
            MORVANE_TRACE_W(kCheckSignature, L"signature check of %ls did not finish in time.", path.c_str());
            verdicts.emplace(path, SignatureVerdict{SignatureState::Unknown, HRESULT_FROM_WIN32(ERROR_TIMEOUT), {},
                                                    SignatureSource::None, {}});
        }
    }
    return verdicts;
}

} // namespace Morvane
