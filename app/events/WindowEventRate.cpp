#include "events/WindowEventRate.h"

#include <utility>

namespace Morvane {
namespace {

constexpr long long kSecond = 1000;

long long SecondOf(long long ms) noexcept
{
    return ms >= 0 ? ms / kSecond : -((-ms + kSecond - 1) / kSecond);
}

} // namespace

WindowEventRate::Admission WindowEventRate::Admit(long long nowMs) noexcept
{
    Admission admission;
    const long long second = SecondOf(nowMs);
    if (second != mSecond) {
        mSecond = second;
        mWritten = 0;
    }
    if (mWritten >= mPerSecond) {
        ++mLeftOut;
        mLeftOutSecond = second;
        return admission;
    }
    // The count goes first, so that it is read in its place, before the windows of this second.
    admission.leftOutTold = Due(nowMs);
    ++mWritten;
    admission.write = true;
    return admission;
}

unsigned WindowEventRate::Due(long long nowMs) noexcept
{
    if (mLeftOut == 0 || SecondOf(nowMs) <= mLeftOutSecond) {
        return 0;
    }
    return std::exchange(mLeftOut, 0U);
}

long long WindowEventRate::DueAt() const noexcept
{
    return mLeftOut == 0 ? -1 : (mLeftOutSecond + 1) * kSecond;
}

unsigned WindowEventRate::Remaining() noexcept
{
    return std::exchange(mLeftOut, 0U);
}

} // namespace Morvane
