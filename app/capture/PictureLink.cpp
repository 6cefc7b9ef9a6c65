#include "capture/PictureLink.h"

#include "drawings/Bitmap.h"
#include "MorvaneTrace.h"
#include "system/File.h"

namespace Morvane {

StoredAgain StoreJpegAgain(const std::wstring& earlier, const std::wstring& path, const unsigned char* data,
                           unsigned int length, const char* traceFunction) noexcept
{
    if (!earlier.empty()) {
        const HRESULT linked = TalvexBasic::Files::File::LinkToFile$Static(earlier, path);
        if (SUCCEEDED(linked)) {
            return StoredAgain{linked, true};
        }
        MORVANE_TRACE_W(traceFunction, L"LinkToFile$Static(%ls) return:0x%x, a copy is written.", path.c_str(),
                        static_cast<unsigned>(linked));
    }
    return StoredAgain{TalvexBasic::Drawings::Bitmap::WriteJepgFile$Static(path.c_str(), data, length), false};
}

} // namespace Morvane
