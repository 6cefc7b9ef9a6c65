#include "OutcomeNotice.h"

namespace Morvane {

NoticeRoute ChooseNoticeRoute(bool quiet, bool usage, bool hasStandardError) noexcept
{
    if (!quiet && !usage) {
        return NoticeRoute::Box; // as it has always been
    }
    if (hasStandardError) {
        return NoticeRoute::StandardError;
    }
    return quiet ? NoticeRoute::Nowhere : NoticeRoute::Box;
}

void OutcomeNotice::Tell(const std::wstring& text, UINT icon)
{
    Show(text, icon, false);
}

void OutcomeNotice::TellUsage(const std::wstring& text)
{
    Show(text, MB_ICONINFORMATION, true);
}

void OutcomeNotice::Show(const std::wstring& text, UINT icon, bool usage)
{
    // Standard error is looked for only when it may be used: attaching to a console is no
    // business of a run that shows its box.
    const bool looks = mQuiet || usage;
    switch (ChooseNoticeRoute(mQuiet, usage, looks && mStream.Available())) {
    case NoticeRoute::Box:
        ::MessageBoxW(nullptr, text.c_str(), L"Morvane", MB_OK | icon);
        return;
    case NoticeRoute::StandardError:
        (void)mStream.WriteLine(text);
        return;
    case NoticeRoute::Nowhere:
        return;
    }
}

} // namespace Morvane
