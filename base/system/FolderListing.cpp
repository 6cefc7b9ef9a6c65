#include "system/FolderListing.h"

#include "system/FileTimeValue.h"
#include "system/HResult.h"
#include "system/UniqueResource.h"

#include <new>

namespace TalvexBasic::Files {
namespace {

bool IsDotEntry(const wchar_t* name) noexcept
{
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

} // namespace

HRESULT ListFolder(const std::wstring& folder, std::vector<FolderEntry>& entries) noexcept
{
    try {
        std::wstring pattern = folder;
        if (pattern.empty() || pattern.back() != L'\\') {
            pattern += L'\\';
        }
        pattern += L'*';
        // The basic information leaves out the short names, which nobody here reads, and the
        // large fetch asks for the entries in fewer, bigger batches.
        WIN32_FIND_DATAW found{};
        UniqueFindHandle search(::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                                   nullptr, FIND_FIRST_EX_LARGE_FETCH));
        std::vector<FolderEntry> listed;
        if (!search) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_FILE_NOT_FOUND) {
                return FailureHResultFromWin32(error);
            }
        } else {
            do {
                if (IsDotEntry(found.cFileName)) {
                    continue;
                }
                listed.push_back({found.cFileName, found.dwFileAttributes,
                                  JoinHighLow(found.nFileSizeHigh, found.nFileSizeLow),
                                  FileTimeValue(found.ftLastWriteTime)});
            } while (::FindNextFileW(search.get(), &found));
            // A search that stops early is a failure, not a shorter list.
            const DWORD error = ::GetLastError();
            if (error != ERROR_NO_MORE_FILES) {
                return FailureHResultFromWin32(error);
            }
        }
        entries = std::move(listed);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace TalvexBasic::Files
