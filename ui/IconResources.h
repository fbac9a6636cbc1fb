#pragma once

#include <QIcon>
#include <QString>

// The program's pictures and its user guide are Qt resources, named by the numbers the
// dialogs use for them: icon 150 is ":/icons/150.svg".

/// Makes the pictures and the guide available. Safe to call more than once.
void InitQuillonResources();

/// The resource path of an icon by its number.
QString IconResourcePath(unsigned id);

/// The icon of that number; a null icon when there is none.
QIcon LoadIconResource(unsigned id);

/// The user guide that the help command shows, as a URL.
QString HelpGuideUrl();
