#pragma once

#include "support/DebugCapture.h"

#include <string>

namespace TestSupport {

// Runs the tool once as a debuggee (Morvane.exe next to the test program unless another path is
// given), confirming its completion message; two minutes at the most.
[[nodiscard]] DebugCaptureResult RunMorvane(const std::wstring& program = {});

// The output directory that the completion message names:
// "Success Save All Window To \r\n\"<directory>\"." — empty unless exactly one such box was shown.
[[nodiscard]] std::wstring CompletionDirectory(const DebugCaptureResult& result);

// The output folder that a running watch publishes in the named shared memory, once its run's
// journal exists; empty when none is there within the time.
[[nodiscard]] std::wstring WaitForWatchFolder(const wchar_t* mappingName, DWORD timeoutMilliseconds);

} // namespace TestSupport
