// Bootvane's start-up as main.cpp runs it, ending as soon as the main window is shown and the
// event loop has gone idle.
#include "frmlogomain.h"
#include "picturememory.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char* argv[])
{
    bootvane::keepPictureMemoryAtHand();
    QApplication app(argc, argv);
    bootvane::frmLogoMain window;
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return QApplication::exec();
}
