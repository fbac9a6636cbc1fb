#include "platform/msgbox/AfxMessageBox.h"

#include <atomic>
#include <iostream>

namespace {

std::atomic<MessageBoxHandler*> g_handler{nullptr};

} // namespace

MessageBoxHandler* InstallMessageBoxHandler(MessageBoxHandler* handler) {
    return g_handler.exchange(handler);
}

int AfxMessageBox(const std::string& text, UINT type) {
    if (MessageBoxHandler* handler = g_handler.load()) {
        return handler->Show(text, type);
    }
    std::cerr << "Quillon: " << text << (text.empty() || text.back() != '\n' ? "\n" : "");
    return (type & 0x0F) == MB_YESNO ? IDNO : IDOK;
}
