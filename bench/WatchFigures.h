#pragma once

namespace MorvaneBench {

// The watch's figures (MorvaneBench.exe --watch): per duration a window shows, the share caught
// with a picture that shows it; shown-to-seen and shown-to-picture, median and 95th percentile;
// the watch's CPU on an idle desktop of 200 windows; its memory and handles after 1,000 windows.
// Prints figures, asserts nothing; returns non-zero when the watch could not be run at all.
[[nodiscard]] int RunWatchFigures();

} // namespace MorvaneBench
