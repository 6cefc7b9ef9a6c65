#include "system/EnvironmentString.h"

#include "logs/Trace.h"
#include "system/HResult.h"
#include "system/LastErrorFailure.h"

#include <memory>
#include <new>

namespace TalvexBasic::EnvironmentVars {
namespace {

constexpr const char kExpandName[] = "TalvexBasic::EnvironmentVars::String::Expand$Static";

} // namespace

HRESULT String::Expand$Static(const std::wstring& source, std::wstring& text)
{
    std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[kBufferLength]);
    if (!buffer) {
        TALVEX_TRACE(kExpandName, "new WCHAR[%u] failed.", static_cast<unsigned>(kBufferLength));
        return E_OUTOFMEMORY;
    }
    const DWORD count = ::ExpandEnvironmentStringsW(source.c_str(), buffer.get(), kBufferLength);
    if (count == 0) {
        return TALVEX_FAIL_LAST_ERROR_W(kExpandName, LastErrorRule::Standard,
                                        L"ExpandEnvironmentStringsW(%ls) error:%u.", source.c_str());
    }
    // A larger count is the size that would have been needed; the buffer then holds nothing usable.
    if (count > kBufferLength) {
        TALVEX_TRACE_W(kExpandName, L"ExpandEnvironmentStringsW(%ls) needs:%u, buffer:%u.", source.c_str(),
                       static_cast<unsigned>(count), static_cast<unsigned>(kBufferLength));
        return HResultFromWin32(ERROR_INSUFFICIENT_BUFFER);
    }
    text.assign(buffer.get());
    return S_OK;
}

} // namespace TalvexBasic::EnvironmentVars
