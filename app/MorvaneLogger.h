#pragma once

#include "basic/Singleton.h"
#include "logs/FileLogger.h"

#include <string>

namespace Morvane {

// The tool's own logger: a file logger whose folder is the run's output directory + "\Log".
class Logger : public TalvexBasic::Logs::FileLogger, public Basic::Patterns::Singleton<Logger> {
public:
    HRESULT GetDefaultDirectory(std::wstring& directory) override;
};

} // namespace Morvane
