#pragma once
// Every message box of the program goes through a PromptService, so that
// tests can answer them and nothing ever blocks a headless run.
// Styles and results use the classic MsgBox values.

#include <QString>

namespace fetchora {

namespace mb {
// Plain ints, so styles combine with | as they always have.
// Buttons
inline constexpr int OKOnly = 0;
inline constexpr int OKCancel = 1;
inline constexpr int AbortRetryIgnore = 2;
inline constexpr int YesNoCancel = 3;
inline constexpr int YesNo = 4;
inline constexpr int RetryCancel = 5;
// Icon
inline constexpr int Critical = 16;
inline constexpr int Question = 32;
inline constexpr int Exclamation = 48;
inline constexpr int Information = 64;
// DefaultButton
inline constexpr int DefaultButton1 = 0;
inline constexpr int DefaultButton2 = 256;
inline constexpr int DefaultButton3 = 512;
// Result
inline constexpr int OK = 1;
inline constexpr int Cancel = 2;
inline constexpr int Abort = 3;
inline constexpr int Retry = 4;
inline constexpr int Ignore = 5;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
inline int buttonsOf(int style)
{
    return style & 0x0F;
}
inline int iconOf(int style)
{
    return style & 0xF0;
}
inline int defaultOf(int style)
{
    return style & 0xF00;
}
}  // namespace mb

// The title a box without a title of its own carries.
inline const char *const kAppName = "Fetchora";

class PromptService {
public:
    virtual ~PromptService() = default;
    // Shows a message box and returns one of mb::Result. An empty title shows
    // the application name.
    virtual int msgBox(const QString &text, int style, const QString &title) = 0;
    // A message that must not hold the caller (an OK-only box of the running
    // cycle): it comes up and the caller goes on at once. While one such
    // message, or any other box, is open, another is not shown at all, so
    // boxes never pile up on a screen nobody watches.
    virtual void notify(const QString &text, int style, const QString &title) { msgBox(text, style, title); }
    // A prompt with no window (the service's standard error) is read by
    // someone who knows settings and files, not the procedures of a window:
    // an error report says only what went wrong.
    virtual bool plainErrorReports() const { return false; }
};

}  // namespace fetchora
