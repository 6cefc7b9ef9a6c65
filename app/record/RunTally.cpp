#include "record/RunTally.h"

namespace Morvane {
namespace {

// E_PENDING: the step was not taken (yet); E_ABORT with a reason: left out on purpose.
bool Failed(HRESULT result, bool dropped) noexcept
{
    return FAILED(result) && result != E_PENDING && !(dropped && result == E_ABORT);
}

} // namespace

void RunTally::CountEntry(const RunWindow& entry) noexcept
{
    if (entry.watch.missed) {
        ++missed;
        return;
    }
    if (entry.folder.empty()) {
        ++skipped;
        return;
    }
    ++saved;
    const bool dropped = entry.shot.droppedBecause != nullptr || !entry.watch.pictureDropped.empty();
    failedSteps += Failed(entry.shot.record, false) ? 1U : 0U;
    failedSteps += Failed(entry.shot.window, dropped) ? 1U : 0U;
    failedSteps += Failed(entry.shot.monitor, dropped) ? 1U : 0U;
}

void RunTally::CountMonitorPicture(const WindowShotOutcome& outcome) noexcept
{
    failedSteps += Failed(outcome.monitor, outcome.droppedBecause != nullptr) ? 1U : 0U;
}

} // namespace Morvane
