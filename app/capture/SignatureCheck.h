#pragma once

#include "capture/SignatureVerdict.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>

namespace Morvane {

// Checks the image's embedded signature and, where it carries none, the system catalog that lists
// its hash, without any user interface and without fetching revocation lists over the network.
// Blocks as long as the check takes.
[[nodiscard]] SignatureVerdict CheckSignature(const std::wstring& imagePath);

// Signature checks on a thread of their own, off the capture path, once per image path. The
// thread is never joined: a check that hangs must not hold the run, so it is left behind and
// ends with the process.
class SignatureChecks {
public:
    // Each check gets at most boundMilliseconds from its start.
    explicit SignatureChecks(DWORD boundMilliseconds);
    ~SignatureChecks();
    SignatureChecks(const SignatureChecks&) = delete;
    SignatureChecks& operator=(const SignatureChecks&) = delete;

    // Queues a check of the path unless it was asked for before.
    void Request(const std::wstring& imagePath);

    // Waits for the checks asked for, each at most its bound, and stops the thread. A check that
    // did not finish is unknown with HRESULT_FROM_WIN32(ERROR_TIMEOUT).
    [[nodiscard]] std::map<std::wstring, SignatureVerdict> Collect();

    // The checks finished so far, without waiting.
    [[nodiscard]] std::map<std::wstring, SignatureVerdict> Peek() const;

    struct Shared;

private:
    std::shared_ptr<Shared> mShared;
    DWORD mBoundMilliseconds;
};

} // namespace Morvane
