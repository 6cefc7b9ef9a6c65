#pragma once

#include "logs/LogRotation.h"
#include "logs/Logger.h"
#include "system/CriticalSection.h"
#include "system/File.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace TalvexBasic::Logs {

// Stores log lines in a folder of plain text files, rotated by size and by count. Every Write
// opens one file, appends and closes it again: no handle stays open. The folder is listed again
// whenever its last-write time has moved since the last listing (see KnownFolder).
class FileLogger : public Logger {
public:
    using CreateFileNameFunctor = std::function<HRESULT(std::wstring& name, const wchar_t* prefix, size_t prefixLength,
                                                        const wchar_t* suffix, size_t suffixLength)>;
    using CanLogFunctor = std::function<bool(Level::Value level, const void* data, unsigned bytes)>;

    FileLogger() = default;
    ~FileLogger() override;

    // Fixes the folder through GetDefaultDirectory and binds the callables.
    long Initialize() override;
    void Finalize() override;
    long Write(const void* data, unsigned bytes, Level::Value level) override;

    virtual HRESULT WriteString(const char* text, Level::Value level);
    virtual HRESULT WriteBytes(const void* data, unsigned bytes, Level::Value level);
    virtual void SetMaxFileSize(unsigned long long size);
    virtual void SetMaxFileCount(unsigned count);
    virtual HRESULT SetDirectory(const wchar_t* directory);
    virtual HRESULT SetName(const wchar_t* name);
    // %APPDATA%\TalvexBasicLog\<executable file name>, without a trailing backslash.
    virtual HRESULT GetDefaultDirectory(std::wstring& directory);
    // "<prefix>-YYYYMMDD.HHMMSSmmm.<tick count>.<random hex>.<suffix>"
    virtual HRESULT CreateFileName(std::wstring& name, const wchar_t* prefix, size_t prefixLength,
                                   const wchar_t* suffix, size_t suffixLength);

    std::wstring mDirectory;
    std::wstring mName;
    unsigned long long mMaxFileSize = 0x3200000; // 50 MiB
    unsigned mMaxFileCount = 5;
    bool mIsInitialized = false;
    CreateFileNameFunctor mCreateFileNameFunctor;
    CanLogFunctor mCanLogFunctor;

private:
    // What this logger learnt of its folder at its last listing, kept up to date by its own
    // appends. It stands in for the next listing only while the folder's last-write time is
    // unchanged, that is while no file in it was created, deleted or renamed by anyone.
    struct KnownFolder {
        bool mValid = false;
        unsigned long long mFolderWriteTime = 0;
        std::wstring mDirectory;
        std::wstring mName;
        std::vector<LogFile> mFiles; // newest first
    };

    // The newest-first log files, from a listing or from what is known; fails when the folders
    // above the log folder cannot be made.
    [[nodiscard]] HRESULT CurrentLogFiles(std::vector<LogFile>*& files);
    void RememberAppend(const std::wstring& path, unsigned long long endBeforeWrite, unsigned bytes) noexcept;

    [[nodiscard]] HRESULT CreateLogFile(Files::File& file);
    // folderKnown: the log folder was seen a moment ago, so its folders need not be made.
    [[nodiscard]] HRESULT CreateLogFile(Files::File& file, const std::wstring& path, unsigned long long* end = nullptr,
                                        bool folderKnown = false);
    [[nodiscard]] HRESULT CreateWriteClose(const void* data, unsigned bytes);
    [[nodiscard]] HRESULT OpenWriteClose(const void* data, unsigned bytes, const std::wstring& path,
                                         unsigned long long* endBeforeWrite = nullptr, bool folderKnown = false);

    KnownFolder mKnown;
    // Writers of one logger take turns: the known folder is shared, and two appends that each
    // seek to the end of one file must not land on the same place.
    CriticalSection mWriteLock;
};

} // namespace TalvexBasic::Logs
