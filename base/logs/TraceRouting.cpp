#include "logs/TraceRouting.h"

#include "logs/LogManager.h"
#include "logs/Logger.h"
#include "logs/LoggerReferences.h"

#include <new>

TalvexBasic::Logs::Logger* gApplicationLogger = nullptr;
TalvexBasic::Logs::Logger* gLibraryLogger = nullptr;

namespace TalvexBasic::Logs {

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
    return {TraceRoute::Kind::LogManager, logger};
}

void DeliverRoutedLine(const TraceRoute& route, const char* text, unsigned bytes) noexcept
{
    try {
        static_cast<void>(LogManager::Log$Static(route.logger, Basic::Logs::Logger::Level::Trace, text, bytes));
    } catch (const std::bad_alloc&) {
        // A line that cannot be queued is lost, like any other line that cannot be written.
    }
}

} // namespace TalvexBasic::Logs
