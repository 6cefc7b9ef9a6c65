#include "logs/FileLogger.h"

#include "logs/LogRotation.h"
#include "logs/Trace.h"
#include "basic/PathParts.h"
#include "system/Directory.h"
#include "system/EnvironmentString.h"
#include "system/FileTimeValue.h"
#include "system/FolderListing.h"
#include "system/HResult.h"
#include "system/HResultError.h"
#include "system/Module.h"
#include "system/SecureRandom.h"

#include <shlwapi.h>

#include <cstdio>
#include <functional>
#include <vector>

namespace TalvexBasic::Logs {
namespace {

// HRESULT_FROM_NT(STATUS_NOT_SUPPORTED): the logger refuses the write.
constexpr HRESULT kNotSupported = static_cast<HRESULT>(0xD00000BBu);

constexpr const char kWriteName[] = "TalvexBasic::Logs::FileLogger::Write";
constexpr const char kCreateLogFileName[] = "TalvexBasic::Logs::FileLogger::CreateLogFile";

constexpr const char kCreateWriteCloseName[] = "TalvexBasic::Logs::FileLogger::CreateWriteClose";
constexpr const char kOpenWriteCloseName[] = "TalvexBasic::Logs::FileLogger::OpenWriteClose";

// 100 ms in FILETIME steps: far above the coarsest clock tick that stamps a folder's time here.
constexpr unsigned long long kSettledAfter = 100ull * 10000ull;

unsigned long long CurrentFileTime() noexcept
{
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return FileTimeValue(now);
}

// The Win32 error number that a failed folder creation carries: a failure whose last error read 0
// comes back as E_FAIL and shows 0; a result of any other kind shows as itself.
unsigned Win32ErrorOf(HRESULT result) noexcept
{
    if (result == E_FAIL) {
        return 0;
    }
    return HRESULT_FACILITY(result) == FACILITY_WIN32 ? static_cast<unsigned>(HRESULT_CODE(result))
                                                      : static_cast<unsigned>(result);
}

// The files of the folder (not its subfolders) whose full path contains the name, newest first.
// A missing folder, or any other failed listing, gives an empty list.
std::vector<LogFile> ListLogFiles(const std::wstring& directory, const std::wstring& name)
{
    std::vector<LogFile> files;
    if (directory.size() <= 1) {
        return files;
    }
    std::vector<Files::FolderEntry> entries;
    if (FAILED(Files::ListFolder(directory, entries))) {
        return files;
    }
    const std::wstring folder = directory.back() == L'\\' ? directory : directory + L'\\';
    for (Files::FolderEntry& entry : entries) {
        if (entry.IsFolder()) {
            continue;
        }
        std::wstring path = folder + entry.mName;
        if (!name.empty() && ::StrStrIW(path.c_str(), name.c_str()) == nullptr) {
            continue;
        }
        files.push_back({std::move(path), entry.mSize, entry.mLastWriteTime});
    }
    SortNewestFirst(files);
    return files;
}

// The write step of both paths: one WriteFile of the whole block, then the file is closed. A
// failed write never reads as success, even when the last error says 0, and a write that takes
// fewer bytes than it was given has failed too.
HRESULT WriteAndClose(Files::File& file, const void* data, unsigned bytes) noexcept
{
    DWORD written = 0;
    HRESULT result = S_OK;
    if (!::WriteFile(file.mHandle.get(), data, bytes, &written, nullptr)) {
        result = FailureHResultFromWin32(::GetLastError());
    } else if (written != bytes) {
        result = HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    }
    file.mHandle.reset();
    return result;
}

// Deletes the oldest file of the list; the list forgets it whether or not it went.
void DeleteOldest(std::vector<LogFile>& files)
{
    const std::wstring& oldest = files.back().mPath;
    ::DeleteFileW(oldest.c_str());
    TALVEX_DIRECT_TRACE_W(TALVEX_FILE_LOGGER_TAG, kWriteName, L"too many files, Delete:%ls.", oldest.c_str());
    files.pop_back();
}

} // namespace

FileLogger::~FileLogger()
{
    mIsInitialized = false;
}

long FileLogger::Initialize()
{
    if (mIsInitialized) {
        return S_OK;
    }
    // Bound through the virtual table, so that a derived logger's versions are used.
    mCreateFileNameFunctor = [this](std::wstring& name, const wchar_t* prefix, size_t prefixLength,
                                    const wchar_t* suffix, size_t suffixLength) {
        return CreateFileName(name, prefix, prefixLength, suffix, suffixLength);
    };
    mCanLogFunctor = [this](Level::Value level, const void*, unsigned) { return IsLevelEnabled(level); };

    std::wstring directory;
    HRESULT result = GetDefaultDirectory(directory);
    if (FAILED(result)) {
        return result;
    }
    result = SetDirectory(directory.c_str());
    if (FAILED(result)) {
        return result;
    }
    mIsInitialized = true;
    return result;
}

void FileLogger::Finalize()
{
    mIsInitialized = false;
}

long FileLogger::Write(const void* data, unsigned bytes, Level::Value level)
{
    if (!mIsInitialized) {
        TALVEX_DIRECT_TRACE(TALVEX_FILE_LOGGER_TAG, kWriteName, "mIsInitialized is False.");
        return kNotSupported;
    }
    if (!mCanLogFunctor(level, data, bytes)) {
        TALVEX_DIRECT_TRACE(TALVEX_FILE_LOGGER_TAG, kWriteName, "is can not log.");
        return kNotSupported;
    }

    CriticalSectionLock lock(mWriteLock);
    std::vector<LogFile>* files = nullptr;
    const HRESULT listed = CurrentLogFiles(files);
    if (FAILED(listed)) {
        return listed;
    }
    const RotationPlan plan = PlanRotation(*files, mMaxFileCount, mMaxFileSize, bytes);
    if (plan.mDeleteOldest != 0 || !plan.mAppendToNewest) {
        // The folder changes here: the next write lists it again.
        mKnown.mValid = false;
    }
    for (size_t index = 0; index < plan.mDeleteOldest; ++index) {
        DeleteOldest(*files);
    }
    if (!plan.mAppendToNewest) {
        return CreateWriteClose(data, bytes);
    }
    // A copy: the open may emit a library line, and whoever receives it may write here again.
    const std::wstring newest = files->front().mPath;
    unsigned long long endBeforeWrite = 0;
    // While what is known stands, the folder was there a moment ago.
    const HRESULT result = OpenWriteClose(data, bytes, newest, &endBeforeWrite, mKnown.mValid);
    if (SUCCEEDED(result)) {
        RememberAppend(newest, endBeforeWrite, bytes);
    } else {
        mKnown.mValid = false;
    }
    return result;
}

HRESULT FileLogger::CurrentLogFiles(std::vector<LogFile>*& files)
{
    // One look at the folder itself. Creating, deleting or renaming a file in it moves its
    // last-write time; appending to a file does not, and this logger's own appends are kept in
    // what it knows.
    WIN32_FILE_ATTRIBUTE_DATA folder{};
    const bool folderExists = ::GetFileAttributesExW(mDirectory.c_str(), GetFileExInfoStandard, &folder) &&
                              (folder.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const unsigned long long folderWriteTime = FileTimeValue(folder.ftLastWriteTime);
    if (folderExists && mKnown.mValid && mKnown.mFolderWriteTime == folderWriteTime &&
        mKnown.mDirectory == mDirectory && mKnown.mName == mName) {
        files = &mKnown.mFiles;
        return S_OK;
    }
    mKnown.mValid = false;

    // Creates the folders above the log folder, from the wide path so that any name survives; the
    // log folder itself comes with its first file.
    const HRESULT folders = Files::Directory::MakeSureDirectoryPathExists$Static(mDirectory);
    if (FAILED(folders)) {
        TALVEX_DIRECT_TRACE_W(TALVEX_FILE_LOGGER_TAG, kWriteName, L"MakeSureDirectoryPathExists(%ls) error%u.",
                              mDirectory.c_str(), Win32ErrorOf(folders));
        return folders;
    }
    mKnown.mFiles = ListLogFiles(mDirectory, mName);
    // The folder's time was read before the listing, so whatever changes the folder afterwards
    // gives it a later time, provided that the change falls in a later tick of the file system's
    // clock. Some file systems stamp in steps of milliseconds: a folder changed within the last
    // moment is listed again at the next write.
    mKnown.mValid = folderExists && folderWriteTime + kSettledAfter <= CurrentFileTime();
    mKnown.mFolderWriteTime = folderWriteTime;
    if (mKnown.mDirectory != mDirectory) {
        mKnown.mDirectory = mDirectory;
    }
    if (mKnown.mName != mName) {
        mKnown.mName = mName;
    }
    files = &mKnown.mFiles;
    return S_OK;
}

// The newest file grew by the block: its size is where its end was when it was opened (another
// process may have appended too) plus the block, and its time is now. Should another file carry
// a time from now on, the order is no longer sure, and the next write lists the folder again.
void FileLogger::RememberAppend(const std::wstring& path, unsigned long long endBeforeWrite, unsigned bytes) noexcept
{
    if (!mKnown.mValid || mKnown.mFiles.empty() || mKnown.mFiles.front().mPath != path) {
        mKnown.mValid = false;
        return;
    }
    const unsigned long long nowTime = CurrentFileTime();
    LogFile& newest = mKnown.mFiles.front();
    newest.mSize = endBeforeWrite + bytes;
    newest.mLastWriteTime = nowTime;
    if (mKnown.mFiles.size() > 1 && mKnown.mFiles[1].mLastWriteTime >= nowTime) {
        mKnown.mValid = false;
    }
}

HRESULT FileLogger::WriteString(const char* text, Level::Value level)
{
    return Write(text, static_cast<unsigned>(std::char_traits<char>::length(text)), level);
}

HRESULT FileLogger::WriteBytes(const void* data, unsigned bytes, Level::Value level)
{
    return Write(data, bytes, level);
}

void FileLogger::SetMaxFileSize(unsigned long long size)
{
    mMaxFileSize = size;
}

void FileLogger::SetMaxFileCount(unsigned count)
{
    mMaxFileCount = count;
}

HRESULT FileLogger::SetDirectory(const wchar_t* directory)
{
    mDirectory = directory != nullptr ? directory : L"";
    return S_OK;
}

HRESULT FileLogger::SetName(const wchar_t* name)
{
    mName = name != nullptr ? name : L"";
    return S_OK;
}

HRESULT FileLogger::GetDefaultDirectory(std::wstring& directory)
{
    std::wstring appData;
    HRESULT result = EnvironmentVars::String::Expand$Static(L"%Appdata%", appData);
    if (FAILED(result)) {
        return result;
    }
    std::wstring executable;
    result = Modules::Module::GetModuleFullFileName$Static(executable);
    if (FAILED(result)) {
        return result;
    }
    directory = appData + L"\\TalvexBasicLog\\";
    directory += Basic::Paths::FileNamePart(executable);
    return result;
}

HRESULT FileLogger::CreateFileName(std::wstring& name, const wchar_t* prefix, size_t prefixLength,
                                   const wchar_t* suffix, size_t suffixLength)
{
    if ((prefix == nullptr && prefixLength != 0) || (suffix == nullptr && suffixLength != 0)) {
        throw HResultError(E_INVALIDARG);
    }
    const std::wstring prefixText = prefixLength != 0 ? std::wstring(prefix, prefixLength) : std::wstring();
    const std::wstring suffixText = suffixLength != 0 ? std::wstring(suffix, suffixLength) : std::wstring();

    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const unsigned long long tickCount = ::GetTickCount();
    const unsigned random = SecureRandomOr(0);
    // The fixed fields take at most 50 characters.
    std::wstring text(prefixText.size() + suffixText.size() + 64, L'\0');
    const int written = std::swprintf(text.data(), text.size() + 1, L"%ls-%04u%02u%02u.%02u%02u%02u%03u.%llu.%x.%ls",
                                      prefixText.c_str(), now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                                      now.wSecond, now.wMilliseconds, tickCount, random, suffixText.c_str());
    text.resize(written > 0 ? static_cast<size_t>(written) : 0);
    name = std::move(text);
    return S_OK;
}

HRESULT FileLogger::CreateLogFile(Files::File& file)
{
    std::wstring name;
    const HRESULT result = mCreateFileNameFunctor(name, mName.c_str(), mName.size(), L"log", 3);
    if (FAILED(result)) {
        TALVEX_DIRECT_TRACE_W(TALVEX_FILE_LOGGER_TAG, kCreateLogFileName, L"mCreateFileNameFunctor(%ls) return:0x%x.",
                              mName.c_str(), static_cast<unsigned>(result));
        return result;
    }
    return CreateLogFile(file, mDirectory + L"\\" + name);
}

HRESULT FileLogger::CreateLogFile(Files::File& file, const std::wstring& path, unsigned long long* end,
                                  bool folderKnown)
{
    HRESULT result = folderKnown ? S_OK : Files::Directory::MakeSureDirectoryPathExists$Static(path);
    if (FAILED(result)) {
        TALVEX_DIRECT_TRACE_W(TALVEX_FILE_LOGGER_TAG, kCreateLogFileName,
                              L"TalvexBasic::Directory::MakeSureDirectoryPathExists(%ls) return:0x%x.", path.c_str(),
                              static_cast<unsigned>(result));
        return result;
    }
    result = file.Create(path, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
    if (FAILED(result)) {
        TALVEX_DIRECT_TRACE_W(TALVEX_FILE_LOGGER_TAG, kCreateLogFileName, L"OpenFile(%ls) return:0x%x.", path.c_str(),
                              static_cast<unsigned>(result));
        return result;
    }
    LARGE_INTEGER distance{};
    LARGE_INTEGER position{};
    ::SetFilePointerEx(file.mHandle.get(), distance, &position, FILE_END);
    if (end != nullptr) {
        *end = static_cast<unsigned long long>(position.QuadPart);
    }
    return S_OK;
}

HRESULT FileLogger::CreateWriteClose(const void* data, unsigned bytes)
{
    Files::File file;
    HRESULT result = CreateLogFile(file);
    if (FAILED(result)) {
        return result;
    }
    result = WriteAndClose(file, data, bytes);
    if (FAILED(result)) {
        TALVEX_DIRECT_TRACE_W(TALVEX_FILE_LOGGER_TAG, kCreateWriteCloseName, L"WriteFile return:0x%x.",
                              static_cast<unsigned>(result));
    }
    return result;
}

HRESULT FileLogger::OpenWriteClose(const void* data, unsigned bytes, const std::wstring& path,
                                   unsigned long long* endBeforeWrite, bool folderKnown)
{
    Files::File file;
    HRESULT result = CreateLogFile(file, path, endBeforeWrite, folderKnown);
    if (FAILED(result)) {
        TALVEX_DIRECT_TRACE_W(TALVEX_FILE_LOGGER_TAG, kOpenWriteCloseName, L"CreateLogFile(%ls) error:0x%x.",
                              path.c_str(), static_cast<unsigned>(result));
        return result;
    }
    result = WriteAndClose(file, data, bytes);
    if (FAILED(result)) {
        TALVEX_DIRECT_TRACE_W(TALVEX_FILE_LOGGER_TAG, kOpenWriteCloseName, L"WriteFile(%ls) error:0x%x.", path.c_str(),
                              static_cast<unsigned>(result));
    }
    return result;
}

} // namespace TalvexBasic::Logs
