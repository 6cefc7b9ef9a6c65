#pragma once

#include <windows.h>

#include <exception>

namespace TalvexBasic {

// Raised where a failure cannot be returned (a lock that cannot be created, for instance);
// nothing catches it, so it ends the process with its code on record.
class HResultError : public std::exception {
public:
    explicit HResultError(HRESULT code) noexcept : mCode(code) {}
    [[nodiscard]] HRESULT Code() const noexcept { return mCode; }
    [[nodiscard]] const char* what() const noexcept override { return "HRESULT failure"; }

private:
    HRESULT mCode;
};

} // namespace TalvexBasic
