#include "record/RunHistory.h"

#include "MorvaneTrace.h"
#include "record/RunRecord.h"
#include "record/RunRecordMembers.h"
#include "capture/OutputFileNames.h"
#include "basic/PathParts.h"
#include "system/FolderListing.h"
#include "system/UniqueResource.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>

namespace Morvane {
namespace {

using TalvexBasic::UniqueResource;
namespace Member = RecordMember;

constexpr const char* kFindPreviousRun = "Morvane::FindPreviousRun";

// A record larger than this is not one of ours.
constexpr LONGLONG kLargestRecord = 512LL * 1024 * 1024;

using FileHolder = UniqueResource<TalvexBasic::FileHandleTraits>;

} // namespace

RunFileRead ReadRunFile(const std::wstring& path, std::string& content)
{
    // A running watch appends to its journal meanwhile.
    FileHolder file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? RunFileRead::Missing
                                                                              : RunFileRead::Unreadable;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kLargestRecord) {
        return RunFileRead::Unreadable;
    }
    content.assign(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < content.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 24));
        if (!::ReadFile(file.get(), content.data() + done, chunk, &read, nullptr) || read == 0) {
            return RunFileRead::Unreadable;
        }
        done += read;
    }
    return RunFileRead::Read;
}

std::vector<std::wstring> FoldersIn(const std::wstring& folder)
{
    std::vector<TalvexBasic::Files::FolderEntry> entries;
    std::vector<std::wstring> names;
    if (SUCCEEDED(TalvexBasic::Files::ListFolder(folder, entries))) {
        for (const TalvexBasic::Files::FolderEntry& entry : entries) {
            if (entry.IsFolder()) {
                names.push_back(entry.mName);
            }
        }
    }
    return names;
}

bool ReadEarlierRun(std::string_view text, EarlierRun& run, std::string& why)
{
    try {
        const nlohmann::json record = nlohmann::json::parse(text);
        if (!record.is_object() || record.value(Member::kTool, std::string()) != Member::kToolName) {
            why = "not a run record";
            return false;
        }
        const auto started = record.find(Member::kStartedAt);
        if (started == record.end() || !started->is_string() ||
            !ParseLocalTime(started->get<std::string>(), run.startedAtUtc)) {
            why = "no start time";
            return false;
        }
        const auto windows = record.find(Member::kWindows);
        if (windows == record.end() || !windows->is_array()) {
            why = "no window list";
            return false;
        }
        run.savedWindows.clear();
        for (const nlohmann::json& window : *windows) {
            if (window.value(Member::kOutcome, std::string()) == Member::kSaved) {
                run.savedWindows.push_back({window.at(Member::kImagePath).get<std::string>(),
                                            window.at(Member::kClassName).get<std::string>(),
                                            window.at(Member::kCaption).get<std::string>()});
            }
        }
        return true;
    } catch (const nlohmann::json::exception& failure) {
        why = failure.what();
        return false;
    }
}

WindowKey KeyOf(const RunWindow& window)
{
    return {ToUtf8(window.imagePath), ToUtf8(window.className), ToUtf8(window.caption)};
}

std::vector<GoneWindow> CompareKeysWithEarlierRun(const std::vector<WindowKey>& keys, std::vector<bool>& isNew,
                                                  const std::vector<WindowKey>& earlierSaved)
{
    std::map<WindowKey, unsigned> unmatched;
    for (const WindowKey& key : earlierSaved) {
        ++unmatched[key];
    }
    isNew.assign(keys.size(), true);
    for (size_t index = 0; index < keys.size(); ++index) {
        const auto match = unmatched.find(keys[index]);
        if (match != unmatched.end() && match->second != 0) {
            isNew[index] = false;
            --match->second;
        }
    }
    std::vector<GoneWindow> gone;
    for (const auto& [key, count] : unmatched) {
        if (count != 0) {
            gone.push_back({key, count});
        }
    }
    return gone;
}

std::vector<GoneWindow> CompareWithEarlierRun(std::vector<RunWindow>& windows,
                                              const std::vector<WindowKey>& earlierSaved)
{
    std::vector<WindowKey> keys;
    std::vector<RunWindow*> saved;
    for (RunWindow& window : windows) {
        if (window.skipReason == SkipReason::None) {
            keys.push_back(KeyOf(window));
            saved.push_back(&window);
        }
    }
    std::vector<bool> isNew;
    std::vector<GoneWindow> gone = CompareKeysWithEarlierRun(keys, isNew, earlierSaved);
    for (size_t index = 0; index < saved.size(); ++index) {
        saved[index]->newSinceLastRun = isNew[index];
    }
    return gone;
}

bool FindPreviousRun(const std::wstring& outputDirectory, EarlierRun& previous)
{
    const std::wstring outputFolder(Basic::Paths::FolderPart(outputDirectory));
    const std::wstring ownName(Basic::Paths::FileNamePart(outputDirectory));
    bool found = false;
    for (const std::wstring& name : FoldersIn(outputFolder)) {
        if (name == ownName) {
            continue;
        }
        const std::wstring path = outputFolder + L"\\" + name + L"\\" + kRunRecordFileName;
        std::string text;
        std::string why;
        EarlierRun candidate;
        const RunFileRead read = ReadRunFile(path, text);
        if (read == RunFileRead::Read && ReadEarlierRun(text, candidate, why)) {
            if (!found || candidate.startedAtUtc > previous.startedAtUtc) {
                candidate.folderName = name;
                previous = std::move(candidate);
                found = true;
            }
            continue;
        }
        if (read != RunFileRead::Read) {
            why = read == RunFileRead::Missing ? "missing" : "unreadable";
        }
        MORVANE_TRACE_W(kFindPreviousRun, L"%ls passed over, record %ls.", path.c_str(), FromUtf8(why).c_str());
    }
    return found;
}

} // namespace Morvane
