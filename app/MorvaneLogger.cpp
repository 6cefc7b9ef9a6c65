#include "MorvaneLogger.h"

#include "RunState.h"

namespace Morvane {

HRESULT Logger::GetDefaultDirectory(std::wstring& directory)
{
    directory = gOutputDirectory + L"\\Log";
    return S_OK;
}

} // namespace Morvane
