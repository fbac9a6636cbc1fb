#include "ui/QtFileDialogHandler.h"

#include <QDir>
#include <QFileDialog>

std::optional<QString> QtFileDialogHandler::Run(QWidget* parent, const FileDialogRequest& request) {
    QFileDialog dialog(parent, request.caption, request.folder,
                       CaseInsensitiveFilter(request.filter));
    const bool save = request.mode == FileDialogRequest::Mode::save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.overwritePrompt) {
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    if (!request.fileName.isEmpty()) {
        dialog.selectFile(request.fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

QString QtFileDialogHandler::CaseInsensitiveFilter(const QString& filter) {
    // Only the patterns, inside the parentheses, are changed; the description is kept. A
    // filter without parentheses is all patterns.
    const bool described = filter.contains(u'(');
    QString result;
    result.reserve(filter.size() * 3);
    int depth = 0;
    for (const QChar c : filter) {
        if (c == u'(') {
            ++depth;
        } else if (c == u')' && depth > 0) {
            --depth;
        }
        const bool inPattern = described ? depth > 0 && c != u'(' : true;
        if (inPattern && c.isLetter() && c.toLower() != c.toUpper()) {
            result += u'[';
            result += c.toLower();
            result += c.toUpper();
            result += u']';
        } else {
            result += c;
        }
    }
    return result;
}
