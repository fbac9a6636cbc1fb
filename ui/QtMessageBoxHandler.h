#pragma once

#include "platform/msgbox/AfxMessageBox.h"

/// Shows the program's messages as Qt message boxes: the icon and buttons of the type, the
/// text as plain text (it may hold file names), over the active window.
class QtMessageBoxHandler final : public MessageBoxHandler {
public:
    int Show(const std::string& text, UINT type) override;
};
