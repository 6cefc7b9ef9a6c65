#pragma once

#include "ErrorStream.h"

#include <windows.h>

#include <string>

namespace Morvane {

// How an outcome is told.
enum class NoticeRoute {
    Box,           // a message box, as a person at the desk expects
    StandardError, // the text on standard error
    Nowhere,       // only the exit code, the log and the journal tell it
};

// quiet: --quiet was given; usage: the text is the usage, which a console shows rather than a box;
// hasStandardError: there is a standard error to write to (looked for only when quiet or usage).
[[nodiscard]] NoticeRoute ChooseNoticeRoute(bool quiet, bool usage, bool hasStandardError) noexcept;

// The one place that tells the user how a run went: every message box of the program goes through
// it, so that a quiet run never waits on a click.
class OutcomeNotice {
public:
    explicit OutcomeNotice(bool quiet) noexcept : mQuiet(quiet) {}

    // text and icon: the message box that a run at the desk shows (icon: MB_ICON* or 0).
    void Tell(const std::wstring& text, UINT icon);

    // The usage text: on standard error when there is one, else as Tell shows it.
    void TellUsage(const std::wstring& text);

    [[nodiscard]] bool Quiet() const noexcept { return mQuiet; }

private:
    void Show(const std::wstring& text, UINT icon, bool usage);

    bool mQuiet;
    ErrorStream mStream;
};

} // namespace Morvane
