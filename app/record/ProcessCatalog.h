#pragma once

#include "capture/SignatureCheck.h"
#include "record/RunProcess.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Morvane {

// The processes of the run's saved windows, each read once: a process is known by its id and
// its start time, as ids are reused. Version strings and signatures belong to the image file and
// are read once per path; signatures on a thread of their own.
class ProcessCatalog {
public:
    // A signature check gets this long before the record says it did not finish.
    static constexpr DWORD kSignatureBoundMilliseconds = 4000;

    explicit ProcessCatalog(DWORD signatureBoundMilliseconds = kSignatureBoundMilliseconds);

    // The process of a saved window, read at its first window; creationTime as the window's sample
    // read it. Gives the process's startedAt (empty when unknown).
    std::string Note(std::uint32_t processId, std::uint64_t creationTime, const std::wstring& imagePath);

    // Waits for the signature checks (each within its bound) and gives the processes, in the
    // order of their first windows. Once per run, at its end.
    [[nodiscard]] std::vector<RunProcess> Finish();

    // The processes as known now, for a record written while a watch runs: a signature not
    // checked yet is unknown with E_PENDING. Waits for nothing and stops no check.
    [[nodiscard]] std::vector<RunProcess> Snapshot() const;

    // How many processes are known so far.
    [[nodiscard]] size_t Count() const noexcept { return mProcesses.size(); }

private:
    [[nodiscard]] std::vector<RunProcess> WithVerdicts(const std::map<std::wstring, SignatureVerdict>& verdicts,
                                                       HRESULT missing) const;

    std::map<std::pair<std::uint32_t, std::uint64_t>, size_t> mIndex;
    std::vector<RunProcess> mProcesses;
    std::map<std::wstring, VersionStrings> mVersions; // by image path: reading one costs milliseconds
    SignatureChecks mSignatures;
};

// A FILETIME instant as local time with milliseconds and UTC offset, as the run's startedAt.
[[nodiscard]] std::string FormatLocalInstant(std::uint64_t fileTime);

} // namespace Morvane
