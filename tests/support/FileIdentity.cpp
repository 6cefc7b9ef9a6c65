#include "support/FileIdentity.h"

#include "system/UniqueResource.h"

namespace TestSupport {

FileIdentity IdentifyFile(const std::wstring& path)
{
    FileIdentity identity;
    // Read attributes only, shared every way: the tool may still hold the file.
    const TalvexBasic::UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!file || !::GetFileInformationByHandle(file.get(), &information)) {
        return identity;
    }
    identity.read = true;
    identity.volume = information.dwVolumeSerialNumber;
    identity.index = (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    identity.links = information.nNumberOfLinks;
    return identity;
}

} // namespace TestSupport
