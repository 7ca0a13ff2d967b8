#include "commandline.h"
#include "frmlogomain.h"
#include "picturememory.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QCoreApplication::setOrganizationName(QStringLiteral("Bootvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Bootvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    if (const std::optional<int> answered =
            bootvane::answerWithoutStarting(bootvane::rawArguments(argc, argv)))
        return *answered;

    bootvane::keepPictureMemoryAtHand();
    bootvane::allowLargePictures();
    QApplication app(argc, argv);
    const bootvane::CommandLine command =
        bootvane::readCommandLine(bootvane::rawArguments(argc, argv));
    if (command.exits)
        return command.exitCode;

    std::unique_ptr<bootvane::frmLogoMain> window =
        bootvane::frmLogoMain::start(command.drive, command.sets);
    if (!window)
        return 1;
    window->show();
    return QApplication::exec();
}
