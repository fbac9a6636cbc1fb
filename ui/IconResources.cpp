#include "ui/IconResources.h"

#include <QFile>

// Outside any namespace: the macro declares the resource's initialiser, which is global. The
// resources are compiled into a static library, and nothing would pull them into the program
// unless something refers to them.
static void initResources() {
    Q_INIT_RESOURCE(quillon);
}

void InitQuillonResources() {
    static const bool initialised = [] {
        initResources();
        return true;
    }();
    (void)initialised;
}

QString IconResourcePath(unsigned id) {
    return QStringLiteral(":/icons/%1.svg").arg(id);
}

QIcon LoadIconResource(unsigned id) {
    InitQuillonResources();
    const QString path = IconResourcePath(id);
    if (!QFile::exists(path)) {
        return {};
    }
    return QIcon(path);
}

QString HelpGuideUrl() {
    InitQuillonResources();
    return QStringLiteral("qrc:/help/guide.html");
}
