#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace Morvane {

enum class SignatureState {
    Signed,
    Unsigned,
    Unknown, // the check failed, found a signature it does not trust, or did not finish in time
};

struct SignatureVerdict {
    SignatureState state = SignatureState::Unknown;
    HRESULT result = S_OK;             // what the trust check returned (timeout: ERROR_TIMEOUT)
    std::optional<std::wstring> signer; // the signing certificate's name, when signed and readable
};

// The state that a trust check's result stands for.
[[nodiscard]] SignatureState ClassifyTrustResult(HRESULT result) noexcept;

// "signed", "unsigned" or "unknown".
[[nodiscard]] const char* SignatureStateName(SignatureState state) noexcept;

} // namespace Morvane
