#pragma once

namespace MorvaneBench {

// The time that reading who made each window adds per window: N = 200 windows of four fixture
// processes (started by a launcher), each window sampled as the tool samples it, then its
// process noted in a catalog as the recorder does, and at the end the wait for the signature
// checks. Prints the figures.
void RunProcessFactsCost();

} // namespace MorvaneBench
