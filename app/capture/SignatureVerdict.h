#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace Morvane {

enum class SignatureState {
    Signed,
    Unsigned,
    Untrusted, // a signature whose chain does not reach a trusted root, or that has expired
    Unknown,   // the check failed, found a signature it rejects otherwise, or did not finish in time
};

// Where the signature that was judged lies: in the file itself, or in a signed catalog that lists
// the file's hash (Windows' own programs mostly carry none of their own).
enum class SignatureSource {
    None,
    File,
    Catalog,
};

struct SignatureVerdict {
    SignatureState state = SignatureState::Unknown;
    HRESULT result = S_OK;             // what the deciding trust check returned (timeout: ERROR_TIMEOUT)
    std::optional<std::wstring> signer; // the signing certificate's name, when signed or untrusted and readable
    SignatureSource source = SignatureSource::None;
    std::optional<std::wstring> catalog; // the catalog's file name, when the signature is a catalog's
};

// What one trust check answered, and what it was asked about.
struct TrustAnswer {
    HRESULT result = S_OK;
    DWORD lastError = ERROR_SUCCESS; // GetLastError right after the check
    SignatureSource where = SignatureSource::File;
};

// The state that a trust check's answer stands for. A "no signature" result means unsigned only
// when the last error says the subject carries none, and only for the file itself: a catalog
// found by the file's hash is a signature.
[[nodiscard]] SignatureState ClassifyTrust(const TrustAnswer& answer) noexcept;

// "signed", "unsigned", "untrusted" or "unknown".
[[nodiscard]] const char* SignatureStateName(SignatureState state) noexcept;

// "file" or "catalog"; null where there is no signature to place.
[[nodiscard]] const char* SignatureSourceName(SignatureSource source) noexcept;

} // namespace Morvane
