#pragma once

#include "events/RunEvents.h"
#include "system/UniqueResource.h"

#include <windows.h>

#include <vector>

namespace Morvane {

// A handle of RegisterEventSourceW, given back with DeregisterEventSource.
struct EventSourceTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type source) noexcept { ::DeregisterEventSource(source); }
};
using UniqueEventSource = TalvexBasic::UniqueResource<EventSourceTraits>;

// The source "Morvane" of the Application log. Its events are written whether it is registered
// or not: without registration a viewer shows the insertion strings without the sentence.
class EventSource {
public:
    // Opens the source; false (and one trace line) where the log refuses it.
    [[nodiscard]] bool Open();
    // Writes one event on behalf of user (null: none named); false, with one trace line, where
    // the log refuses it.
    bool Report(const RunEvent& event, PSID user);

private:
    UniqueEventSource mSource;
};

// The user this process runs as: the security identifier of its token (empty where it cannot be
// read) and its name as DOMAIN\user (empty where it cannot be looked up).
struct ProcessUser {
    std::vector<BYTE> sid;
    std::wstring name;
};
[[nodiscard]] ProcessUser ReadProcessUser();

} // namespace Morvane
