#pragma once

namespace Morvane {

// What a watch's pictures may hold in memory while they wait to be encoded: about eight pictures
// of a 1920x1080 monitor at 32 bits a pixel, or hundreds of window pictures. Bounded in bytes, not
// in pictures, since memory is what the bound keeps and a tooltip's picture is a hundredth of a
// monitor's.
constexpr unsigned long long kEncodeQueueBytes = 64ULL << 20;

// Whether a picture joins the pictures waiting to be encoded.
enum class EncodeAdmission {
    Admit,
    QueueFull, // not written: the capture thread does not wait for room
};

// A picture joins while the pending bytes with its own stay within the limit. A picture alone in
// the queue always joins, however large (a monitor of more pixels than the limit still gets its
// pictures), and so does a step with no pixels to hold (a text record alone).
[[nodiscard]] EncodeAdmission AdmitPicture(unsigned pendingPictures, unsigned long long pendingBytes,
                                           unsigned long long pictureBytes, unsigned long long limitBytes) noexcept;

// "queueFull"; null for Admit.
[[nodiscard]] const char* EncodeAdmissionName(EncodeAdmission admission) noexcept;

} // namespace Morvane
