#pragma once

#include "drawings/GdiHolders.h"

#include <windows.h>

namespace TestSupport {

// The DC of the whole screen, given back when the holder ends; holds nothing if GetDC failed.
[[nodiscard]] inline TalvexBasic::Drawings::WindowDcHolder ScreenDc() noexcept
{
    return TalvexBasic::Drawings::WindowDcHolder(TalvexBasic::Drawings::WindowDc{nullptr, ::GetDC(nullptr)});
}

} // namespace TestSupport
