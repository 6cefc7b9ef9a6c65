#include "capture/ProcessFacts.h"

#include "MorvaneTrace.h"
#include "capture/ParentProcessRule.h"
#include "system/HResult.h"
#include "system/RoutineCast.h"
#include "system/UniqueResource.h"

#include <tlhelp32.h>
#include <winternl.h>

#include <cstddef>
#include <vector>

namespace Morvane {
namespace {

using TalvexBasic::FailureHResultFromWin32;
using TalvexBasic::UniqueHandle;

constexpr const char* kReadProcessFacts = "Morvane::ReadProcessFacts";

// Not in every SDK's enumeration of information classes.
constexpr PROCESSINFOCLASS kProcessCommandLineInformation = static_cast<PROCESSINFOCLASS>(60);
constexpr NTSTATUS kStatusInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

using NtQueryInformationProcessRoutine = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

// ntdll is mapped into every process, so the lookup needs no library of its own.
NtQueryInformationProcessRoutine QueryInformationRoutine() noexcept
{
    static const auto sNtQueryInformationProcess$Routine = TalvexBasic::RoutineCast<NtQueryInformationProcessRoutine>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess"));
    return sNtQueryInformationProcess$Routine;
}

HRESULT FromStatus(NTSTATUS status) noexcept
{
    return HRESULT_FROM_NT(status);
}

HRESULT AskSystemForCommandLine(NtQueryInformationProcessRoutine query, HANDLE process, std::wstring& commandLine)
{
    ULONG needed = 0;
    NTSTATUS status = query(process, kProcessCommandLineInformation, nullptr, 0, &needed);
    if (status != kStatusInfoLengthMismatch || needed < sizeof(UNICODE_STRING)) {
        return FromStatus(status);
    }
    std::vector<std::byte> buffer(needed);
    status = query(process, kProcessCommandLineInformation, buffer.data(), needed, &needed);
    if (!NT_SUCCESS(status)) {
        return FromStatus(status);
    }
    const auto* text = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
    commandLine.assign(text->Buffer, text->Length / sizeof(wchar_t));
    return S_OK;
}

HRESULT ReadRemote(HANDLE process, const void* address, void* target, size_t size) noexcept
{
    SIZE_T read = 0;
    if (!::ReadProcessMemory(process, address, target, size, &read) || read != size) {
        return FailureHResultFromWin32(::GetLastError());
    }
    return S_OK;
}

// The process environment block's parameters hold the command line the process was given.
HRESULT ReadParametersAddress(HANDLE process, const std::byte* peb, PRTL_USER_PROCESS_PARAMETERS& parameters) noexcept
{
    return ReadRemote(process, peb + offsetof(PEB, ProcessParameters), &parameters, sizeof parameters);
}

HRESULT ReadCommandLineFromParameters(NtQueryInformationProcessRoutine query, HANDLE process,
                                      std::wstring& commandLine)
{
    PROCESS_BASIC_INFORMATION basic{};
    const NTSTATUS status = query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr);
    if (!NT_SUCCESS(status)) {
        return FromStatus(status);
    }
    const auto* peb = static_cast<const std::byte*>(static_cast<const void*>(basic.PebBaseAddress));
    // A process that is still starting may move its parameters to a block of their own: a text
    // read from the block it left may be anything, so it counts only when the process still
    // points at the same block after the read.
    for (int attempt = 0; attempt < 3; ++attempt) {
        PRTL_USER_PROCESS_PARAMETERS parameters = nullptr;
        HRESULT result = ReadParametersAddress(process, peb, parameters);
        if (FAILED(result)) {
            return result;
        }
        UNICODE_STRING text{};
        const auto* block = reinterpret_cast<const std::byte*>(parameters);
        result = ReadRemote(process, block + offsetof(RTL_USER_PROCESS_PARAMETERS, CommandLine), &text, sizeof text);
        if (FAILED(result)) {
            return result;
        }
        std::wstring whole(text.Length / sizeof(wchar_t), L'\0');
        if (!whole.empty()) {
            result = ReadRemote(process, text.Buffer, whole.data(), whole.size() * sizeof(wchar_t));
            if (FAILED(result)) {
                return result;
            }
        }
        PRTL_USER_PROCESS_PARAMETERS after = nullptr;
        result = ReadParametersAddress(process, peb, after);
        if (FAILED(result)) {
            return result;
        }
        if (after == parameters) {
            commandLine = std::move(whole);
            return S_OK;
        }
    }
    return E_PENDING;
}

std::uint64_t CreationTimeOf(HANDLE process) noexcept
{
    FILETIME creation{};
    FILETIME scratch{};
    if (!::GetProcessTimes(process, &creation, &scratch, &scratch, &scratch)) {
        return 0;
    }
    return (static_cast<std::uint64_t>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
}

std::optional<std::wstring> FullImageName(HANDLE process)
{
    std::vector<wchar_t> buffer(32768);
    DWORD length = static_cast<DWORD>(buffer.size());
    if (!::QueryFullProcessImageNameW(process, 0, buffer.data(), &length)) {
        return std::nullopt;
    }
    return std::wstring(buffer.data(), length);
}

// The parent id that a process snapshot gives the process; empty when it is not in it.
std::optional<std::uint32_t> SnapshotParentId(std::uint32_t processId)
{
    const TalvexBasic::UniqueResource<TalvexBasic::FileHandleTraits> snapshot(
        ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        MORVANE_TRACE(kReadProcessFacts, "CreateToolhelp32Snapshot error:%u.", static_cast<unsigned>(::GetLastError()));
        return std::nullopt;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == processId) {
            return entry.th32ParentProcessID;
        }
    }
    MORVANE_TRACE(kReadProcessFacts, "process %u is not in the process snapshot.", processId);
    return std::nullopt;
}

void ReadParent(ProcessFacts& facts)
{
    facts.parentProcessId = SnapshotParentId(facts.processId);
    if (!facts.parentProcessId) {
        return;
    }
    const unsigned parentId = *facts.parentProcessId;
    ParentSighting sighting;
    sighting.childCreation = facts.creationTime;
    sighting.noParentId = parentId == 0;
    UniqueHandle parent;
    DWORD openError = ERROR_SUCCESS;
    if (!sighting.noParentId) {
        parent.reset(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parentId));
        openError = parent ? ERROR_SUCCESS : ::GetLastError();
    }
    DWORD exitCode = 0;
    if (parent) {
        sighting.opened = true;
        sighting.stillActive = ::GetExitCodeProcess(parent.get(), &exitCode) && exitCode == STILL_ACTIVE;
        sighting.parentCreation = CreationTimeOf(parent.get());
    }
    sighting.openDenied = openError == ERROR_ACCESS_DENIED;
    switch (JudgeParent(sighting)) {
    case ParentStanding::Running:
        facts.parentImagePath = FullImageName(parent.get());
        if (!facts.parentImagePath) {
            facts.parentUnreadable = true;
            MORVANE_TRACE(kReadProcessFacts, "QueryFullProcessImageNameW(parent %u) error:%u.", parentId,
                          static_cast<unsigned>(::GetLastError()));
        }
        break;
    case ParentStanding::Gone:
        facts.parentGone = true;
        MORVANE_TRACE(kReadProcessFacts, "parent %u of process %u is gone.", parentId, facts.processId);
        break;
    case ParentStanding::Unreadable:
        facts.parentUnreadable = true;
        if (sighting.openDenied) {
            MORVANE_TRACE(kReadProcessFacts, "parent %u of process %u may not be opened.", parentId, facts.processId);
        } else {
            MORVANE_TRACE(kReadProcessFacts, "start of parent %u of process %u is unknown.", parentId,
                          facts.processId);
        }
        break;
    case ParentStanding::None:
        break;
    }
}

// The command line, asked of the system through the limited handle where it answers, else read
// from the process's parameters through a second handle that may also read its memory. Empty,
// with a trace line, when neither gives it.
std::optional<std::wstring> CommandLineOf(std::uint32_t processId, HANDLE limited)
{
    const NtQueryInformationProcessRoutine query = QueryInformationRoutine();
    if (query == nullptr) {
        MORVANE_TRACE(kReadProcessFacts, "ReadCommandLine(%u) return:0x%x.", processId,
                      static_cast<unsigned>(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)));
        return std::nullopt;
    }
    std::wstring commandLine;
    if (SUCCEEDED(AskSystemForCommandLine(query, limited, commandLine))) {
        return commandLine;
    }
    const UniqueHandle readable(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!readable) {
        MORVANE_TRACE(kReadProcessFacts, "OpenProcess(%u, PROCESS_VM_READ) error:%u.", processId,
                      static_cast<unsigned>(::GetLastError()));
        return std::nullopt;
    }
    const HRESULT read = ReadCommandLineFromParameters(query, readable.get(), commandLine);
    if (FAILED(read)) {
        MORVANE_TRACE(kReadProcessFacts, "ReadCommandLine(%u) return:0x%x.", processId, static_cast<unsigned>(read));
        return std::nullopt;
    }
    return commandLine;
}

} // namespace

HRESULT ReadCommandLine(HANDLE process, std::wstring& commandLine)
{
    const NtQueryInformationProcessRoutine query = QueryInformationRoutine();
    if (query == nullptr) {
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    const HRESULT asked = AskSystemForCommandLine(query, process, commandLine);
    if (SUCCEEDED(asked)) {
        return asked;
    }
    return ReadCommandLineFromParameters(query, process, commandLine);
}

std::wstring ReadLimitedImagePathOf(std::uint32_t processId)
{
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        return {};
    }
    return FullImageName(process.get()).value_or(std::wstring());
}

ProcessFacts ReadProcessFacts(std::uint32_t processId, const std::wstring& imagePath)
{
    ProcessFacts facts;
    facts.processId = processId;
    facts.imagePath = imagePath;
    // The start and the command line need no more than the limited right, which is granted for
    // far more processes than the right to read memory.
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        MORVANE_TRACE(kReadProcessFacts, "OpenProcess(%u) error:%u.", processId,
                      static_cast<unsigned>(::GetLastError()));
    } else {
        facts.creationTime = CreationTimeOf(process.get());
        if (facts.creationTime == 0) {
            MORVANE_TRACE(kReadProcessFacts, "GetProcessTimes(%u) error:%u.", processId,
                          static_cast<unsigned>(::GetLastError()));
        }
        facts.commandLine = CommandLineOf(processId, process.get());
    }
    ReadParent(facts);
    return facts;
}

} // namespace Morvane
