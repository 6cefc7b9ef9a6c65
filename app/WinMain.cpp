#include "ProgramEntry.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return Morvane::RunCommandLine(::GetCommandLineW());
}
