#pragma once

#include <cstddef>

namespace MorvaneBench {

// Milliseconds of each step for one capture of the primary monitor, the mean of several rounds,
// and whether each way to encode gives the bytes of the canvas path.
struct EncodeFigures {
    double captureMs = 0; // the monitor BitBlt
    double canvasMs = 0;  // draw onto a 32bppARGB canvas, then save: the floor's encode
    double plainMs = 0;   // save of the bitmap as GDI+ reads it, no canvas
    double toolMs = 0;    // the tool's encode now, at scale 1.0: 24-bit pixels, then save
    double bits32Ms = 0;  // the 32-bit pixels read for the comparison, then save
    double readMs = 0;    // reading the capture's pixels for the comparison
    double compareMs = 0; // comparing them with the last capture's
    size_t jpegBytes = 0;
    bool plainIdentical = false;
    bool toolIdentical = false;
    bool bits32Identical = false;
    bool lastCompareSame = false;
};

[[nodiscard]] bool MeasureEncodes(int rounds, EncodeFigures& figures);
void PrintEncodes(const EncodeFigures& figures);

// Prints the parts of the monitor step when the picture is reused: the capture, reading its pixels,
// comparing them with the last ones, writing the file and freeing the capture.
void MeasureReuseStep(int rounds);

} // namespace MorvaneBench
