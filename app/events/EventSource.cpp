#include "events/EventSource.h"

#include "MorvaneTrace.h"

namespace Morvane {
namespace {

constexpr const char* kEventSource = "Morvane::EventSource";

} // namespace

bool EventSource::Open()
{
    mSource.reset(::RegisterEventSourceW(nullptr, kEventSourceName));
    if (!mSource) {
        MORVANE_TRACE(kEventSource, "RegisterEventSourceW error:%lu.", static_cast<unsigned long>(::GetLastError()));
        return false;
    }
    return true;
}

bool EventSource::Report(const RunEvent& event, PSID user)
{
    std::vector<LPCWSTR> strings;
    strings.reserve(event.strings.size());
    for (const std::wstring& text : event.strings) {
        strings.push_back(text.c_str());
    }
    if (!::ReportEventW(mSource.get(), event.type, 0, event.id, user, static_cast<WORD>(strings.size()), 0,
                        strings.empty() ? nullptr : strings.data(), nullptr)) {
        MORVANE_TRACE(kEventSource, "ReportEventW(%lu) error:%lu.", static_cast<unsigned long>(event.id),
                      static_cast<unsigned long>(::GetLastError()));
        return false;
    }
    return true;
}

ProcessUser ReadProcessUser()
{
    ProcessUser user;
    TalvexBasic::UniqueHandle token;
    DWORD size = 0;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return user;
    }
    (void)::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
        return user;
    }
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    const DWORD length = ::GetLengthSid(sid);
    const BYTE* const first = static_cast<const BYTE*>(sid);
    user.sid.assign(first, first + length);

    wchar_t name[512] = {};
    wchar_t domain[512] = {};
    DWORD nameLength = ARRAYSIZE(name);
    DWORD domainLength = ARRAYSIZE(domain);
    SID_NAME_USE use = SidTypeUnknown;
    if (::LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use)) {
        user.name = domainLength > 0 ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    } else {
        MORVANE_TRACE(kEventSource, "LookupAccountSidW error:%lu.", static_cast<unsigned long>(::GetLastError()));
    }
    return user;
}

} // namespace Morvane
