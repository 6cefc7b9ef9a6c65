#pragma once

#include "system/UniqueResource.h"

#include <windows.h>

#include <memory>
#include <string>

namespace TalvexBasic::Files {

// A kernel transaction to create files in. A null handle with mAllowPlainCreate set lets the
// create go through outside any transaction.
struct Transaction {
    HANDLE mHandle = nullptr;
    bool mAllowPlainCreate = false;
};

// Owns at most one open file handle and closes it when it ends.
class File {
public:
    File() noexcept;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens or creates the file for writing; the handle is stored only on success.
    [[nodiscard]] HRESULT Create(const std::wstring& path, DWORD shareMode, DWORD creationDisposition) noexcept;

    // Creates the file (and its folders) and writes the whole block in one call.
    [[nodiscard]] static HRESULT WriteToFile$Static(const std::wstring& path, const void* data, unsigned size,
                                                    DWORD creationDisposition) noexcept;

    // Gives an existing file a further name at the path (a hard link): one file on the disk, its
    // bytes stored once. The path's folder must exist and the path must not. Fails where the two
    // names lie on different volumes, the volume has no links, or the file has all the names the
    // volume allows (1023 on NTFS); the caller then writes a copy.
    [[nodiscard]] static HRESULT LinkToFile$Static(const std::wstring& existing, const std::wstring& path) noexcept;

    // Has the folder that holds the path created; for a path ending in a backslash that is the
    // parent of the named directory.
    [[nodiscard]] static HRESULT MakeSureParentDirectoryExists$Static(const std::wstring& path) noexcept;

    // Null while no file is open; never INVALID_HANDLE_VALUE.
    UniqueHandle mHandle;
    // Not owned; empty means a plain create.
    std::shared_ptr<Transaction> mTransaction;
};

} // namespace TalvexBasic::Files
