#pragma once

#include "support/ImportPatch.h"

#include <windows.h>

#include <string>
#include <vector>

namespace TestSupport {

// A box that the code under test asked MessageBoxW for.
struct CollectedBox {
    std::wstring caption;
    std::wstring text;
    UINT flags = 0;
};

// For its life, the boxes of this whole process are collected instead of shown: the import slot
// of MessageBoxW points at a collector that keeps each box and answers IDOK. One at a time; the
// boxes stay readable until it ends.
class MessageBoxCollector {
public:
    MessageBoxCollector();
    ~MessageBoxCollector();
    MessageBoxCollector(const MessageBoxCollector&) = delete;
    MessageBoxCollector& operator=(const MessageBoxCollector&) = delete;

    [[nodiscard]] const std::vector<CollectedBox>& Boxes() const noexcept { return mBoxes; }

private:
    static int WINAPI Collect(HWND owner, LPCWSTR text, LPCWSTR caption, UINT flags);

    std::vector<CollectedBox> mBoxes;
    ImportPatch<decltype(&::MessageBoxW)> mPatch;
};

} // namespace TestSupport
