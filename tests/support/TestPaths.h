#pragma once

#include <string>
#include <vector>

namespace TestSupport {

// Folder of the running test program (build/.../bin), without a trailing backslash. Morvane.exe
// and DesktopFixture.exe are built into the same folder.
std::wstring ProgramDirectory();

// A new, empty folder below the system's temporary folder, unique to this call.
std::wstring MakeScratchDirectory(const std::wstring& hint);

// Removes a folder and everything below it; missing folders are fine.
void RemoveTree(const std::wstring& path);

// Names of the plain files (not folders) directly in a folder, sorted; empty if there is none.
std::vector<std::wstring> FilesIn(const std::wstring& folder);

// Names of the files and folders directly in a folder ("." and ".." left out), sorted.
std::vector<std::wstring> NamesIn(const std::wstring& folder);

// The whole content of a file, or nothing if it cannot be read.
std::string ReadWholeFile(const std::wstring& path);
// The content from the byte offset on (a file that another process still appends to).
std::string ReadFileFrom(const std::wstring& path, long long offset);

// A path that the run record gives below the output directory (UTF-8, '/' between folders), as
// the Windows path below that directory.
std::wstring RecordPath(const std::wstring& outputDirectory, const std::string& relative);

// The Unix path of a Windows one under Wine; empty elsewhere.
std::string UnixPathOf(const std::wstring& path);

} // namespace TestSupport
