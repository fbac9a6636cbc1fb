#pragma once

#include "ui/FileDialog.h"

/// Asks with Qt's file dialog.
class QtFileDialogHandler final : public FileDialogHandler {
public:
    std::optional<QString> Run(QWidget* parent, const FileDialogRequest& request) override;

    /// The filter with each letter of its patterns matching either case: "*.pla" becomes
    /// "*.[pP][lL][aA]", since the data files were named on a file system that ignores case.
    static QString CaseInsensitiveFilter(const QString& filter);
};
