#pragma once

// The platform's GDI+ headers use min and max unqualified; with NOMINMAX they must come from
// the standard library.
#include <windows.h>

#include <algorithm>

namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus

#include <objidl.h>

#include <gdiplus.h>
