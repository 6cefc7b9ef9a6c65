#pragma once

// The program's version, as its version resource carries it (the events of a run name it).
#define MORVANE_VERSION_NUMBERS 1, 0, 0, 0
#define MORVANE_VERSION_TEXT "1.0.0.0"
