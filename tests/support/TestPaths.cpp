#include "TestPaths.h"

#include "system/FolderListing.h"
#include "system/TextConversion.h"
#include "system/UniqueResource.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace TestSupport {
namespace {

struct Entry {
    std::wstring name;
    bool folder = false;
};

// The one folder walk of the tests: every entry but "." and "..", sorted by name.
std::vector<Entry> EntriesIn(const std::wstring& folder)
{
    std::vector<TalvexBasic::Files::FolderEntry> listed;
    std::vector<Entry> entries;
    if (FAILED(TalvexBasic::Files::ListFolder(folder, listed))) {
        return entries;
    }
    for (const TalvexBasic::Files::FolderEntry& entry : listed) {
        entries.push_back({entry.mName, entry.IsFolder()});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

} // namespace

std::wstring ProgramDirectory()
{
    std::vector<wchar_t> buffer(32768);
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::wstring path(buffer.data(), length);
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::wstring MakeScratchDirectory(const std::wstring& hint)
{
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring path = temp;
    if (!path.empty() && path.back() != L'\\') {
        path += L'\\';
    }
    path += L"MorvaneTest-" + hint + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(::GetTickCount()) + L"-" + std::to_wstring(counter++);
    RemoveTree(path);
    ::CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

void RemoveTree(const std::wstring& path)
{
    for (const Entry& entry : EntriesIn(path)) {
        const std::wstring child = path + L"\\" + entry.name;
        if (entry.folder) {
            RemoveTree(child);
        } else {
            ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(child.c_str());
        }
    }
    ::RemoveDirectoryW(path.c_str());
}

std::vector<std::wstring> FilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    for (const Entry& entry : EntriesIn(folder)) {
        if (!entry.folder) {
            names.push_back(entry.name);
        }
    }
    return names;
}

std::vector<std::wstring> NamesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    for (const Entry& entry : EntriesIn(folder)) {
        names.push_back(entry.name);
    }
    return names;
}

std::string ReadWholeFile(const std::wstring& path)
{
    return ReadFileFrom(path, 0);
}

std::string ReadFileFrom(const std::wstring& path, long long offset)
{
    const TalvexBasic::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    if (!file || (offset != 0 && !::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN))) {
        return {};
    }
    std::string content;
    char chunk[65536];
    DWORD read = 0;
    while (::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        content.append(chunk, read);
    }
    return content;
}

std::wstring RecordPath(const std::wstring& outputDirectory, const std::string& relative)
{
    std::wstring path = TalvexBasic::FromUtf8(relative);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return outputDirectory + L"\\" + path;
}

std::string UnixPathOf(const std::wstring& path)
{
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    const auto unixFileName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixFileName != nullptr ? unixFileName(path.c_str()) : nullptr;
    if (name == nullptr) {
        return {};
    }
    std::string unixPath = name;
    ::HeapFree(::GetProcessHeap(), 0, name);
    return unixPath;
}

} // namespace TestSupport
