#include "capture/EncodeQueueRule.h"

namespace Morvane {

EncodeAdmission AdmitPicture(unsigned pendingPictures, unsigned long long pendingBytes,
                             unsigned long long pictureBytes, unsigned long long limitBytes) noexcept
{
    if (pictureBytes == 0 || pendingPictures == 0) {
        return EncodeAdmission::Admit;
    }
    // Compared without the sum, which a huge picture would overflow.
    if (pendingBytes <= limitBytes && pictureBytes <= limitBytes - pendingBytes) {
        return EncodeAdmission::Admit;
    }
    return EncodeAdmission::QueueFull;
}

const char* EncodeAdmissionName(EncodeAdmission admission) noexcept
{
    return admission == EncodeAdmission::QueueFull ? "queueFull" : nullptr;
}

} // namespace Morvane
