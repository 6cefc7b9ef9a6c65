#include "capture/WindowFrame.h"

namespace Morvane {

RECT ChooseWindowFrame(const RECT& windowRect, HRESULT answered, const RECT& frameBounds) noexcept
{
    RECT frame{};
    if (FAILED(answered) || !::IntersectRect(&frame, &windowRect, &frameBounds)) {
        return windowRect;
    }
    return frame;
}

} // namespace Morvane
