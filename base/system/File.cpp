#include "system/File.h"

#include "logs/Trace.h"
#include "system/Directory.h"
#include "system/HResult.h"

namespace TalvexBasic::Files {
namespace {

constexpr DWORD kDesiredAccess = GENERIC_WRITE;
constexpr DWORD kFlagsAndAttributes = FILE_ATTRIBUTE_NORMAL;

using CreateFileTransactedW$Routine = HANDLE(WINAPI*)(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                                      LPSECURITY_ATTRIBUTES securityAttributes,
                                                      DWORD creationDisposition, DWORD flagsAndAttributes,
                                                      HANDLE templateFile, HANDLE transaction, PUSHORT miniVersion,
                                                      PVOID extendedParameter);

HANDLE CreatePlain(const std::wstring& path, DWORD shareMode, DWORD creationDisposition) noexcept
{
    return ::CreateFileW(path.c_str(), kDesiredAccess, shareMode, nullptr, creationDisposition, kFlagsAndAttributes,
                         nullptr);
}

} // namespace

File::File() noexcept = default;

File::~File() = default;

HRESULT File::Create(const std::wstring& path, DWORD shareMode, DWORD creationDisposition) noexcept
{
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (!mTransaction) {
        handle = CreatePlain(path, shareMode, creationDisposition);
    } else if (mTransaction->mHandle != nullptr) {
        // Looked up on every call and never imported, so the program also starts where the
        // routine does not exist.
        const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
        if (kernel == nullptr) {
            return FailureHResultFromWin32(::GetLastError());
        }
        const auto createTransacted = reinterpret_cast<CreateFileTransactedW$Routine>(
            reinterpret_cast<void*>(::GetProcAddress(kernel, "CreateFileTransactedW")));
        if (createTransacted != nullptr) {
            handle = createTransacted(path.c_str(), kDesiredAccess, shareMode, nullptr, creationDisposition,
                                      kFlagsAndAttributes, nullptr, mTransaction->mHandle, nullptr, nullptr);
        }
    } else if (mTransaction->mAllowPlainCreate) {
        handle = CreatePlain(path, shareMode, creationDisposition);
    } else {
        // A transaction without a handle that does not permit a plain create.
        return HResultFromWin32(ERROR_INVALID_PARAMETER);
    }
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        return FailureHResultFromWin32(::GetLastError());
    }
    mHandle.reset(handle);
    return S_OK;
}

HRESULT File::WriteToFile$Static(const std::wstring& path, const void* data, unsigned size,
                                 DWORD creationDisposition) noexcept
{
    HRESULT result = MakeSureParentDirectoryExists$Static(path);
    if (FAILED(result)) {
        TALVEX_TRACE_W("TalvexBasic::Files::File::WriteToFile$Static",
                       L"MakeSureParentDirectoryExists$Static(%ls) return:0x%x.", path.c_str(),
                       static_cast<unsigned>(result));
        return result;
    }

    File file;
    result = file.Create(path, FILE_SHARE_READ, creationDisposition);
    if (FAILED(result)) {
        TALVEX_TRACE_W("TalvexBasic::Files::File::WriteToFile$Static", L"Create(%ls) return:0x%x.", path.c_str(),
                       static_cast<unsigned>(result));
        return result;
    }

    DWORD written = 0;
    if (!::WriteFile(file.mHandle.get(), data, size, &written, nullptr)) {
        result = FailureHResultFromWin32(::GetLastError());
    } else if (written != size) {
        // A short write loses data: it is no success.
        result = HResultFromWin32(ERROR_WRITE_FAULT);
    }
    if (FAILED(result)) {
        TALVEX_TRACE_W("TalvexBasic::Files::File::WriteToFile$Static", L"Write(%ls, %u) return:0x%x.", path.c_str(),
                       size, static_cast<unsigned>(result));
    }
    return result;
}

HRESULT File::LinkToFile$Static(const std::wstring& existing, const std::wstring& path) noexcept
{
    if (!::CreateHardLinkW(path.c_str(), existing.c_str(), nullptr)) {
        return FailureHResultFromWin32(::GetLastError());
    }
    return S_OK;
}

HRESULT File::MakeSureParentDirectoryExists$Static(const std::wstring& path) noexcept
{
    if (path.empty()) {
        return E_INVALIDARG;
    }
    size_t searchEnd = path.size() - 1;
    if (path.back() == L'\\') {
        // A directory path: its parent is the folder to make.
        if (path.size() == 1) {
            return E_INVALIDARG;
        }
        searchEnd = path.size() - 2;
    }
    const size_t backslash = path.find_last_of(L'\\', searchEnd);
    if (backslash == std::wstring::npos) {
        return E_INVALIDARG;
    }
    std::wstring folder;
    try {
        folder.assign(path, 0, backslash + 1);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return Directory::MakeSureDirectoryPathExists$Static(folder);
}

} // namespace TalvexBasic::Files
