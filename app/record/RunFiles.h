#pragma once

#include <string>

namespace Morvane {

// Writes the run record and the page made from it into the run folder. With a temporary suffix,
// each goes first into a file of that suffix that then replaces the old one, so that a reader
// never finds half a file; writers that may overlap use suffixes of their own. Either file may
// fail like any other: that costs one trace line and nothing else.
void WriteRecordAndPage(const std::wstring& runFolder, const std::string& record,
                        const wchar_t* temporarySuffix = nullptr);

} // namespace Morvane
