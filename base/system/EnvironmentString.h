#pragma once

#include <windows.h>

#include <string>

namespace TalvexBasic::EnvironmentVars {

class String {
public:
    // Replaces the %NAME% references in source with their values; undefined names stay as
    // written. The expansion must fit in 16,384 characters, terminating zero included.
    // The out text is written only on success.
    [[nodiscard]] static HRESULT Expand$Static(const std::wstring& source, std::wstring& text);

    static constexpr DWORD kBufferLength = 0x4000;
};

} // namespace TalvexBasic::EnvironmentVars
