#include "logs/TraceRouting.h"

#include "logs/LogManager.h"
#include "logs/Logger.h"
#include "logs/LoggerReferences.h"
#include "system/TextConversion.h"

#include <new>

TalvexBasic::Logs::Logger* gApplicationLogger = nullptr;
TalvexBasic::Logs::Logger* gLibraryLogger = nullptr;

namespace TalvexBasic::Logs {
namespace {

void DeliverNarrow(const TraceRoute& route, const char* text, unsigned bytes) noexcept
{
    static_cast<void>(
        LogManager::Log$Static(static_cast<Logger*>(route.receiver), Basic::Logs::Logger::Level::Trace, text, bytes));
}

// Routed wide lines reach the log file in the thread's ANSI code page.
void DeliverWide(const TraceRoute& route, const wchar_t* text, size_t length) noexcept
{
    try {
        const std::string narrow = ToThreadAnsi(std::wstring_view(text, length));
        DeliverNarrow(route, narrow.data(), static_cast<unsigned>(narrow.size()));
    } catch (const std::bad_alloc&) {
        // A line that cannot be converted is lost, like any other line that cannot be written.
    }
}

TraceRoute Select(TraceOrigin origin) noexcept
{
    return SelectTraceRoute(origin);
}

constexpr TraceRouter kRouter{&Select, &DeliverNarrow, &DeliverWide};

// The references above live in this unit, so whoever can set them links this installer too.
bool InstallRouter() noexcept
{
    InstallTraceRouter(&kRouter);
    return true;
}
[[maybe_unused]] const bool sRouterInstalled = InstallRouter();

} // namespace

TraceRoute SelectTraceRoute(TraceOrigin origin) noexcept
{
    Logger* logger = origin == TraceOrigin::Application ? gApplicationLogger
                     : origin == TraceOrigin::Library   ? gLibraryLogger
                                                        : nullptr;
    if (logger == nullptr) {
        return {};
    }
    LogManager* manager = LogManager::GetInstance();
    if (manager == nullptr || !manager->mIsInitialized) {
        return {};
    }
    // A worker must not route its own lines into the manager that it is serving.
    if (origin == TraceOrigin::Library && manager->mThreadPool.IsPoolThread(::GetCurrentThreadId())) {
        return {};
    }
    if ((logger->mLevelMask & Basic::Logs::Logger::Level::Trace) == 0) {
        return {TraceRoute::Kind::Drop, nullptr};
    }
    return {TraceRoute::Kind::Routed, logger};
}

} // namespace TalvexBasic::Logs
