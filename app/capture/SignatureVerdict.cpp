#include "capture/SignatureVerdict.h"

namespace Morvane {

SignatureState ClassifyTrustResult(HRESULT result) noexcept
{
    if (result == S_OK) {
        return SignatureState::Signed;
    }
    // Only a file that carries no signature at all is unsigned; a signature that fails (expired,
    // untrusted root, altered file) says something else and keeps its code.
    return result == TRUST_E_NOSIGNATURE ? SignatureState::Unsigned : SignatureState::Unknown;
}

const char* SignatureStateName(SignatureState state) noexcept
{
    switch (state) {
    case SignatureState::Signed:
        return "signed";
    case SignatureState::Unsigned:
        return "unsigned";
    case SignatureState::Unknown:
        break;
    }
    return "unknown";
}

} // namespace Morvane
