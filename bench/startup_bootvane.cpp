// Bootvane's start-up as main.cpp runs it, command line and all (--drive PATH starts it on a
// disk image or folder), ending as soon as the main window is shown and the event loop has
// gone idle. With BOOTVANE_BENCH_APPLY set, it then applies the first set, and fails if that
// fails.
#include "commandline.h"
#include "frmlogomain.h"
#include "picturememory.h"
#include "userdialogs.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>

namespace {

// No box may wait for a click that never comes: an error ends the run as a failure.
class FailingDialogs final : public bootvane::UserDialogs {
public:
    void information(QWidget*, const QString&, const QString&) override {}
    void critical(QWidget*, const QString& text, const QString&) override
    {
        qWarning("%s", qPrintable(text));
        std::exit(1);
    }
    QString openFileName(QWidget*, const QString&, const QList<bootvane::FileFilter>&, int&,
                         const QString&) override
    {
        return {};
    }
    QString existingFolder(QWidget*, const QString&, const QString&) override { return {}; }
    bool question(QWidget*, const QString&, const QString&) override { return false; }
    QString saveFileName(QWidget*, const QString&, const QList<bootvane::FileFilter>&,
                         const QString&) override
    {
        return {};
    }
};

void applyFirstSet(QWidget* window)
{
    auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("TreeView1"));
    QTreeWidgetItem* set = tree->topLevelItem(0)->child(0);
    tree->setCurrentItem(set);
    emit tree->itemClicked(set, 0);
    window->findChild<QPushButton*>(QStringLiteral("cmdSetCur"))->click();
}

} // namespace

int main(int argc, char* argv[])
{
    // The program's names, so that it reads the settings the program reads.
    QCoreApplication::setOrganizationName(QStringLiteral("Bootvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Bootvane"));
    bootvane::keepPictureMemoryAtHand();
    bootvane::allowLargePictures();
    QApplication app(argc, argv);
    FailingDialogs dialogs;
    const bootvane::ScopedUserDialogs installed(dialogs);
    const bootvane::CommandLine command =
        bootvane::readCommandLine(bootvane::rawArguments(argc, argv));
    if (command.exits)
        return command.exitCode;
    std::unique_ptr<bootvane::frmLogoMain> window = bootvane::frmLogoMain::start(command.drive);
    if (!window)
        return 1;
    window->show();
    if (qEnvironmentVariableIsSet("BOOTVANE_BENCH_APPLY"))
        QTimer::singleShot(0, window.get(), [&window] { applyFirstSet(window.get()); });
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return QApplication::exec();
}
