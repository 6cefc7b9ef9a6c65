#include "WindowShot.h"

namespace Morvane {

// The folder is not written yet.
HRESULT SaveWindowShot(const WindowInfo&)
{
    return S_OK;
}

} // namespace Morvane
