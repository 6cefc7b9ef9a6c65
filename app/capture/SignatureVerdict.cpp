#include "capture/SignatureVerdict.h"

namespace Morvane {
namespace {

// The last errors by which the trust provider says that the subject carries no signature, as
// opposed to a failure to look.
bool SaysNoSignature(DWORD lastError) noexcept
{
    const auto error = static_cast<HRESULT>(lastError);
    return error == TRUST_E_NOSIGNATURE || error == TRUST_E_SUBJECT_FORM_UNKNOWN || error == TRUST_E_PROVIDER_UNKNOWN;
}

// A signature that is sound but whose certificates are not trusted now.
bool IsUntrustedChain(HRESULT result) noexcept
{
    return result == CERT_E_UNTRUSTEDROOT || result == CERT_E_UNTRUSTEDTESTROOT || result == CERT_E_CHAINING ||
           result == CERT_E_EXPIRED || result == TRUST_E_EXPLICIT_DISTRUST;
}

} // namespace

SignatureState ClassifyTrust(const TrustAnswer& answer) noexcept
{
    if (answer.where == SignatureSource::None) {
        return SignatureState::Unknown;
    }
    if (answer.result == S_OK) {
        return SignatureState::Signed;
    }
    if (answer.result == TRUST_E_NOSIGNATURE) {
        return answer.where == SignatureSource::File && SaysNoSignature(answer.lastError) ? SignatureState::Unsigned
                                                                                          : SignatureState::Unknown;
    }
    // An altered file (bad digest) or any other failure says nothing about who signed it.
    return IsUntrustedChain(answer.result) ? SignatureState::Untrusted : SignatureState::Unknown;
}

const char* SignatureStateName(SignatureState state) noexcept
{
    switch (state) {
    case SignatureState::Signed:
        return "signed";
    case SignatureState::Unsigned:
        return "unsigned";
    case SignatureState::Untrusted:
        return "untrusted";
    case SignatureState::Unknown:
        break;
    }
    return "unknown";
}

const char* SignatureSourceName(SignatureSource source) noexcept
{
    switch (source) {
    case SignatureSource::File:
        return "file";
    case SignatureSource::Catalog:
        return "catalog";
    case SignatureSource::None:
        break;
    }
    return nullptr;
}

} // namespace Morvane
