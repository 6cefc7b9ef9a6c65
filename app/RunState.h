#pragma once

#include <string>

// The run's output directory, without a trailing backslash; fixed by Initialize.
extern std::wstring gOutputDirectory;
// The failure message when no output directory could be made; fixed by Initialize.
extern std::wstring gOutputFailureText;

// One buffer for the whole run, for each window's caption and class name.
constexpr unsigned kTextBufferLength = 65536;
extern wchar_t gTextBuffer[kTextBufferLength];
