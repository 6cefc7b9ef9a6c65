#pragma once

// The debugger output of this test process, collected in-process by swapping the import slots
// of OutputDebugStringA/W for the life of a DebugLineCapture.

#include "support/ImportPatch.h"
#include "support/TestText.h"
#include "system/CriticalSection.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

extern "C" decltype(&::OutputDebugStringA) __imp_OutputDebugStringA;
extern "C" decltype(&::OutputDebugStringW) __imp_OutputDebugStringW;

namespace TestSupport {

// Collects every line written to the debugger output by any thread of this process. Wide lines
// are kept as UTF-8.
class DebugLineCapture {
public:
    DebugLineCapture()
        : mNarrow(__imp_OutputDebugStringA, &CaptureNarrow), mWide(__imp_OutputDebugStringW, &CaptureWide)
    {
        sActive = this;
    }
    ~DebugLineCapture() { sActive = nullptr; }

    [[nodiscard]] std::vector<std::string> Lines() const
    {
        TalvexBasic::CriticalSectionLock lock(mLock);
        return mLines;
    }

    [[nodiscard]] size_t CountContaining(const std::string& text) const
    {
        const std::vector<std::string> lines = Lines();
        return static_cast<size_t>(std::count_if(
            lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; }));
    }

private:
    void Add(std::string line)
    {
        TalvexBasic::CriticalSectionLock lock(mLock);
        mLines.push_back(std::move(line));
    }

    static void WINAPI CaptureNarrow(LPCSTR text)
    {
        if (sActive != nullptr && text != nullptr) {
            sActive->Add(text);
        }
    }

    static void WINAPI CaptureWide(LPCWSTR text)
    {
        if (sActive != nullptr && text != nullptr) {
            sActive->Add(Utf8(text));
        }
    }

    inline static DebugLineCapture* sActive = nullptr;
    mutable TalvexBasic::CriticalSection mLock;
    std::vector<std::string> mLines;
    TestSupport::ImportPatch<decltype(&::OutputDebugStringA)> mNarrow;
    TestSupport::ImportPatch<decltype(&::OutputDebugStringW)> mWide;
};

} // namespace TestSupport
