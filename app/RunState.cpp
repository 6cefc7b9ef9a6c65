#include "RunState.h"

std::wstring gOutputDirectory;
wchar_t gTextBuffer[kTextBufferLength];
