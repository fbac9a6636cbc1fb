#pragma once

#include <QString>

#include <optional>

class QWidget;

/// One request for a file name: to open an existing file or to save one.
struct FileDialogRequest {
    enum class Mode { open, save };
    Mode mode = Mode::open;
    QString caption;
    /// The folder shown first.
    QString folder;
    /// The file name proposed (save).
    QString fileName;
    /// Qt filter text, e.g. "Play Lists (*.pla)"; patterns match without regard to case.
    QString filter;
    /// Added to a typed name that has no extension, e.g. "pla".
    QString defaultSuffix;
    /// Ask before replacing an existing file (save).
    bool overwritePrompt = true;
};

/// Asks the user for file names. The program's is QtFileDialogHandler; tests install their
/// own to answer.
class FileDialogHandler {
public:
    virtual ~FileDialogHandler() = default;
    /// The chosen path, or nothing when the user cancelled.
    virtual std::optional<QString> Run(QWidget* parent, const FileDialogRequest& request) = 0;
};

/// Makes handler the one that answers from now on (null: the Qt file dialog); returns the
/// previous one. The handler must outlive its installation.
FileDialogHandler* InstallFileDialogHandler(FileDialogHandler* handler);

/// Asks the installed handler, or the Qt file dialog when none is installed.
std::optional<QString> RunFileDialog(QWidget* parent, const FileDialogRequest& request);
