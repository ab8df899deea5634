#pragma once
// Every message box of the program goes through a PromptService, so that
// tests can answer them and nothing ever blocks a headless run.
// Styles and results use the classic MsgBox values.

#include <QString>

namespace fetchora {

namespace mb {
enum Buttons : int {
    OKOnly = 0,
    OKCancel = 1,
    AbortRetryIgnore = 2,
    YesNoCancel = 3,
    YesNo = 4,
    RetryCancel = 5,
};
enum Icon : int {
    Critical = 16,
    Question = 32,
    Exclamation = 48,
    Information = 64,
};
enum DefaultButton : int {
    DefaultButton1 = 0,
    DefaultButton2 = 256,
    DefaultButton3 = 512,
};
enum Result : int {
    OK = 1,
    Cancel = 2,
    Abort = 3,
    Retry = 4,
    Ignore = 5,
    Yes = 6,
    No = 7,
};
inline int buttonsOf(int style) { return style & 0x0F; }
inline int iconOf(int style) { return style & 0xF0; }
inline int defaultOf(int style) { return style & 0xF00; }
}  // namespace mb

// The title a box without a title of its own carries.
inline const char *const kAppName = "Fetchora";

class PromptService {
public:
    virtual ~PromptService() = default;
    // Shows a message box and returns one of mb::Result. An empty title shows
    // the application name.
    virtual int msgBox(const QString &text, int style, const QString &title) = 0;
};

}  // namespace fetchora
