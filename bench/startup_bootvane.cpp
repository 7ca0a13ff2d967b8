// Bootvane's start-up as main.cpp runs it, command line and all (--drive PATH starts it on a
// disk image or folder), ending as soon as the main window is shown and the event loop has
// gone idle.
#include "commandline.h"
#include "frmlogomain.h"
#include "picturememory.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char* argv[])
{
    // The program's names, so that it reads the settings the program reads.
    QCoreApplication::setOrganizationName(QStringLiteral("Bootvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Bootvane"));
    bootvane::keepPictureMemoryAtHand();
    QApplication app(argc, argv);
    const bootvane::CommandLine command =
        bootvane::readCommandLine(bootvane::rawArguments(argc, argv));
    if (command.exits)
        return command.exitCode;
    std::unique_ptr<bootvane::frmLogoMain> window = bootvane::frmLogoMain::start(command.drive);
    if (!window)
        return 1;
    window->show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return QApplication::exec();
}
