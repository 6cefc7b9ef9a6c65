#include "support/MessageBoxCollector.h"

TEST_SUPPORT_IMPORT_SLOT(MessageBoxW);

namespace TestSupport {
namespace {

// The collector whose patch is in place: the replacement is a plain routine.
MessageBoxCollector* sCollecting = nullptr;

} // namespace

MessageBoxCollector::MessageBoxCollector() : mPatch(__imp_MessageBoxW, &MessageBoxCollector::Collect)
{
    sCollecting = this;
}

MessageBoxCollector::~MessageBoxCollector()
{
    sCollecting = nullptr;
}

int WINAPI MessageBoxCollector::Collect(HWND, LPCWSTR text, LPCWSTR caption, UINT flags)
{
    if (sCollecting != nullptr) {
        sCollecting->mBoxes.push_back({caption != nullptr ? caption : L"", text != nullptr ? text : L"", flags});
    }
    return IDOK;
}

} // namespace TestSupport
