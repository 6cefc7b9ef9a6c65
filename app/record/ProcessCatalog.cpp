#include "record/ProcessCatalog.h"

#include "RunClock.h"
#include "record/RunRecord.h"

namespace Morvane {

std::string FormatLocalInstant(std::uint64_t fileTime)
{
    const LocalInstant local = LocalInstantOf(fileTime);
    return FormatLocalTime(local.time, local.offsetMinutes);
}

ProcessCatalog::ProcessCatalog(DWORD signatureBoundMilliseconds) : mSignatures(signatureBoundMilliseconds)
{
}

std::string ProcessCatalog::Note(std::uint32_t processId, std::uint64_t creationTime,
                                        const std::wstring& imagePath)
{
    const auto key = std::make_pair(processId, creationTime);
    const auto known = mIndex.find(key);
    if (known != mIndex.end()) {
        return mProcesses[known->second].startedAt;
    }
    RunProcess process;
    process.facts = ReadProcessFacts(processId, imagePath);
    // The window's sample read the start that names the process; keep that one.
    if (creationTime != 0) {
        process.facts.creationTime = creationTime;
    }
    if (process.facts.creationTime != 0) {
        process.startedAt = FormatLocalInstant(process.facts.creationTime);
    }
    if (!imagePath.empty()) {
        auto version = mVersions.find(imagePath);
        if (version == mVersions.end()) {
            version = mVersions.emplace(imagePath, ReadVersionStrings(imagePath)).first;
        }
        process.facts.version = version->second;
        mSignatures.Request(imagePath);
    }
    mIndex.emplace(key, mProcesses.size());
    mProcesses.push_back(std::move(process));
    return mProcesses.back().startedAt;
}

std::vector<RunProcess> ProcessCatalog::WithVerdicts(const std::map<std::wstring, SignatureVerdict>& verdicts,
                                                     HRESULT missing) const
{
    std::vector<RunProcess> processes = mProcesses;
    for (RunProcess& process : processes) {
        const auto verdict = verdicts.find(process.facts.imagePath);
        if (verdict != verdicts.end()) {
            process.signature = verdict->second;
        } else {
            process.signature = {SignatureState::Unknown, process.facts.imagePath.empty() ? E_INVALIDARG : missing, {},
                                 SignatureSource::None, {}};
        }
    }
    return processes;
}

std::vector<RunProcess> ProcessCatalog::Finish()
{
    return WithVerdicts(mSignatures.Collect(), E_INVALIDARG);
}

std::vector<RunProcess> ProcessCatalog::Snapshot() const
{
    return WithVerdicts(mSignatures.Peek(), E_PENDING);
}

} // namespace Morvane
