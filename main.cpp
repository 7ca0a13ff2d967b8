#include "frmlogomain.h"
#include "picturememory.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    bootvane::keepPictureMemoryAtHand();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Bootvane"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));

    bootvane::frmLogoMain window;
    window.show();
    return QApplication::exec();
}
