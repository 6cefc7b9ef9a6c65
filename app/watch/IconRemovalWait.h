#pragma once

namespace Morvane {

// How long the watch's end still waits for the icon's removal, asked sinceAskedMs ago. The
// removal is asked when the watch stops and gets a tenth of a second from then, so an end that
// took longer (the record and page of a long watch) does not wait again: Wine's shell may not
// answer for seconds, and an icon left behind goes with the process on the next mouse-over.
[[nodiscard]] unsigned long IconRemovalWaitLeftMs(unsigned long long sinceAskedMs) noexcept;

} // namespace Morvane
