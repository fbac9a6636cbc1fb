#include "ui/FileDialog.h"

#include "ui/QtFileDialogHandler.h"

#include <atomic>

namespace {

std::atomic<FileDialogHandler*> g_fileDialogHandler{nullptr};

} // namespace

FileDialogHandler* InstallFileDialogHandler(FileDialogHandler* handler) {
    return g_fileDialogHandler.exchange(handler);
}

std::optional<QString> RunFileDialog(QWidget* parent, const FileDialogRequest& request) {
    if (FileDialogHandler* handler = g_fileDialogHandler.load()) {
        return handler->Run(parent, request);
    }
    QtFileDialogHandler dialogs;
    return dialogs.Run(parent, request);
}
