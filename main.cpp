#include "frmlogomain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Bootvane"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));

    bootvane::frmLogoMain window;
    window.show();
    return QApplication::exec();
}
