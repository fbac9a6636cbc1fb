// quillon: the desktop program. Started in the data folder; takes no arguments besides
// --help and --version.

#include "app/CQuillonApp.h"
#include "app/ProcessObjects.h"
#include "app/StartupShortcut.h"
#include "platform/msgbox/AfxMessageBox.h"
#include "ui/CVersionInfo.h"
#include "ui/IconResources.h"
#include "ui/ProcessDialogContext.h"
#include "ui/QtLaunchPad.h"
#include "ui/QtMessageBoxHandler.h"
#include "ui/QuitSignals.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

constexpr unsigned IDR_MAINFRAME = 128;

void printUsage(std::ostream& out) {
    out << "usage: quillon\n"
           "Start it in the data folder: play lists (*.pla) in that folder, wave files in its\n"
           "\"Wave Files\" folder, MIDI files in its \"Midi Files\" folder.\n";
}

bool hasDisplay() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            printUsage(std::cout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            // The version the About box shows: the executable's own version resource.
            std::cout << "quillon "
                      << CVersionInfo(GetExecutablePath(), "080904E4", "FileVersion").GetValue()
                      << "\n";
            return 0;
        }
    }
    if (!hasDisplay()) {
        std::cerr << "quillon: no display to show the Launch Pad on (DISPLAY and "
                     "WAYLAND_DISPLAY are not set).\n"
                     "Start it from a desktop session, or on a virtual display with "
                     "xvfb-run quillon.\n";
        return 2;
    }

    // The process-wide objects come first and go last: the sound engine with its command
    // layer and software mixer, the players, which probe their devices, and the play list
    // player, which starts its worker, all exist before anything else runs.
    ProcessObjects processObjects;

    QApplication application(argc, argv);
    if (QApplication::arguments().size() > 1) {
        printUsage(std::cerr);
        return 2;
    }
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quillon"));
    QApplication::setWindowIcon(LoadIconResource(IDR_MAINFRAME));

    QtMessageBoxHandler messageBoxes;
    InstallMessageBoxHandler(&messageBoxes);
    // The end of the session (SIGTERM, SIGHUP) or Ctrl+C ends the program as its exit button
    // does, so that the settings, the mixer levels and a recording are kept.
    QuitSignals quitSignals;

    int exitCode = 0;
    {
        CQuillonApp theApp;
        QtLaunchPad launchPad(ProcessDialogContext(theApp));
        const auto ending = QObject::connect(&quitSignals, &QuitSignals::Received,
                                             [&launchPad] { launchPad.EndAsExitButton(); });
        theApp.InitInstance(launchPad);
        QObject::disconnect(ending);
        exitCode = theApp.ExitInstance();
    }
    InstallMessageBoxHandler(nullptr);
    return exitCode;
}
