#include "ui/GuardCommand.h"

#include "platform/classlib/CException.h"
#include "platform/msgbox/AfxMessageBox.h"

bool GuardCommand(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const CException& error) {
        AfxMessageBox(error.GetErrorMessage(), MB_OK | MB_ICONSTOP);
        return false;
    }
}
