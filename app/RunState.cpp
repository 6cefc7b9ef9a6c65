#include "RunState.h"

std::wstring gOutputDirectory;
std::wstring gOutputFailureText;
wchar_t gTextBuffer[kTextBufferLength];
