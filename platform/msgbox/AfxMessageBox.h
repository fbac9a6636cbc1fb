#pragma once

// The program's one message-box seam. Everything the user is told goes through
// AfxMessageBox; the desktop program shows a dialog, a headless program prints the text, and
// tests answer the boxes themselves.

#include "platform/wintypes/WinTypes.h"

#include <string>

// Buttons (low four bits) and icons, with the platform's values.
inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_YESNO = 0x00000004;
inline constexpr UINT MB_ICONSTOP = 0x00000010;
inline constexpr UINT MB_ICONQUESTION = 0x00000020;
inline constexpr UINT MB_ICONINFORMATION = 0x00000040;

// Answers.
inline constexpr int IDOK = 1;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

/// Shows message boxes. Install one with InstallMessageBoxHandler.
class MessageBoxHandler {
public:
    virtual ~MessageBoxHandler() = default;
    /// Shows the text with the buttons and icon of `type` and returns the button chosen.
    virtual int Show(const std::string& text, UINT type) = 0;
};

/// Makes handler the one that shows boxes from now on (null: none); returns the previous one.
/// The handler must outlive its installation.
MessageBoxHandler* InstallMessageBoxHandler(MessageBoxHandler* handler);

/// Shows a message box. With no handler installed the text goes to standard error and the
/// answer is IDOK (IDNO for a question), so nothing is lost and nothing is chosen by accident.
int AfxMessageBox(const std::string& text, UINT type = MB_OK);
