#pragma once

namespace MorvaneBench {

// Prints the time of each way to encode one capture of the primary monitor, and whether its
// bytes equal those of the canvas path; the mean of the given number of rounds.
void RunEncodeVariants(int rounds);

} // namespace MorvaneBench
