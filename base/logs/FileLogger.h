#pragma once

#include "logs/Logger.h"
#include "system/File.h"

#include <windows.h>

#include <functional>
#include <string>

namespace TalvexBasic::Logs {

// Stores log lines in a folder of plain text files, rotated by size and by count. Every Write
// lists the folder, opens one file, appends and closes it again: no handle stays open.
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
    [[nodiscard]] HRESULT CreateLogFile(Files::File& file);
    [[nodiscard]] HRESULT CreateLogFile(Files::File& file, const std::wstring& path);
    [[nodiscard]] HRESULT CreateWriteClose(const void* data, unsigned bytes);
    [[nodiscard]] HRESULT OpenWriteClose(const void* data, unsigned bytes, const std::wstring& path);
};

} // namespace TalvexBasic::Logs
