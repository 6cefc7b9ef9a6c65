#include "PrivateFolder.h"

#include "MorvaneTrace.h"
#include "system/HResult.h"

#include <aclapi.h>
#include <sddl.h>

namespace Morvane {
namespace {

using TalvexBasic::FailureHResultFromWin32;

constexpr const char* kPrivateFolderSecurity = "Morvane::PrivateFolderSecurity::PrivateFolderSecurity";

HRESULT ReadTokenUser(std::vector<std::byte>& tokenUser)
{
    TalvexBasic::UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return FailureHResultFromWin32(::GetLastError());
    }
    DWORD needed = 0;
    (void)::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &needed);
    if (needed == 0) {
        return FailureHResultFromWin32(::GetLastError());
    }
    tokenUser.resize(needed);
    if (!::GetTokenInformation(token.get(), TokenUser, tokenUser.data(), needed, &needed)) {
        tokenUser.clear();
        return FailureHResultFromWin32(::GetLastError());
    }
    return S_OK;
}

} // namespace

PrivateFolderSecurity::PrivateFolderSecurity()
{
    mResult = ReadTokenUser(mTokenUser);
    if (FAILED(mResult)) {
        MORVANE_TRACE(kPrivateFolderSecurity, "GetTokenInformation(TokenUser) return:0x%x.",
                      static_cast<unsigned>(mResult));
        return;
    }
    TalvexBasic::UniqueLocalMemory userText;
    if (!::ConvertSidToStringSidW(User(), reinterpret_cast<LPWSTR*>(userText.put()))) {
        mResult = FailureHResultFromWin32(::GetLastError());
        MORVANE_TRACE(kPrivateFolderSecurity, "ConvertSidToStringSidW error:%u.", static_cast<unsigned>(::GetLastError()));
        return;
    }
    // P: nothing inherited from the folder above; OICI: files and folders inside get the same.
    const std::wstring descriptor = std::wstring(L"D:P(A;OICI;FA;;;") + static_cast<const wchar_t*>(userText.get()) +
                                    L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(descriptor.c_str(), SDDL_REVISION_1,
                                                                mDescriptor.put(), nullptr)) {
        mResult = FailureHResultFromWin32(::GetLastError());
        MORVANE_TRACE(kPrivateFolderSecurity, "ConvertStringSecurityDescriptorToSecurityDescriptorW error:%u.",
                      static_cast<unsigned>(::GetLastError()));
        return;
    }
    mAttributes.nLength = sizeof mAttributes;
    mAttributes.lpSecurityDescriptor = mDescriptor.get();
    mAttributes.bInheritHandle = FALSE;
}

SECURITY_ATTRIBUTES* PrivateFolderSecurity::Attributes() noexcept
{
    return mDescriptor ? &mAttributes : nullptr;
}

PSID PrivateFolderSecurity::User() const noexcept
{
    return mTokenUser.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(mTokenUser.data())->User.Sid;
}

ExistingFolderSighting SightExistingFolder(const std::wstring& path, PSID user)
{
    ExistingFolderSighting sighting;
    // Opened as the link itself, if it is one, and only to read its attributes and owner.
    const TalvexBasic::UniqueFileHandle folder(
        ::CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) {
        MORVANE_TRACE_W("Morvane::SightExistingFolder", L"CreateFileW(%ls) error:%u.", path.c_str(),
                        static_cast<unsigned>(::GetLastError()));
        return sighting;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(folder.get(), &information)) {
        MORVANE_TRACE_W("Morvane::SightExistingFolder", L"GetFileInformationByHandle(%ls) error:%u.", path.c_str(),
                        static_cast<unsigned>(::GetLastError()));
        return sighting;
    }
    // Wine shows a Unix symbolic link as a reparse point by its path alone; its handle, opened as
    // the link, has no attributes at all.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    sighting.reparsePoint = ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) ||
                            (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
    PSID owner = nullptr;
    TalvexBasic::UniqueLocalMemory descriptor;
    const DWORD read = ::GetSecurityInfo(folder.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                         nullptr, nullptr, descriptor.put());
    if (read != ERROR_SUCCESS || owner == nullptr) {
        MORVANE_TRACE_W("Morvane::SightExistingFolder", L"GetSecurityInfo(%ls) error:%u.", path.c_str(),
                        static_cast<unsigned>(read));
        return sighting;
    }
    sighting.ownerKnown = true;
    sighting.ownerIsUser = user != nullptr && ::EqualSid(owner, user);
    sighting.ownerIsAdministrators = ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid);
    return sighting;
}

} // namespace Morvane
