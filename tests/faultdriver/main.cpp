// Performs one writing operation of Bootvane through the real windows, headless, so that a
// test can run it under strace and make one system call of it fail. The operation runs
// between two marker calls that the test finds in strace's log; what the program told the
// user is written to a report file afterwards.
//
//   bootvane-faultdriver backup|apply|restore|saveset REPORT [SOURCE...]
//
// It runs in the working directory it is started in, on the disk image that
// BOOTVANE_FAULT_IMAGE names, else on the drive WINEPREFIX names.

#include "drivechoice.h"
#include "frmlogomain.h"
#include "frmnewset.h"
#include "look.h"
#include "picture.h"
#include "userdialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QQueue>
#include <QStyleFactory>
#include <QTreeWidget>
#include <unistd.h>

namespace {

using namespace bootvane;

class RecordingDialogs final : public UserDialogs {
public:
    void information(QWidget*, const QString& text, const QString&) override
    {
        lines.append(QStringLiteral("information\t") + text);
    }
    void critical(QWidget*, const QString& text, const QString&) override
    {
        lines.append(QStringLiteral("critical\t") + text);
    }
    QString openFileName(QWidget*, const QString&, const QList<FileFilter>&, int&,
                         const QString&) override
    {
        return answers.isEmpty() ? QString() : answers.dequeue();
    }
    QString existingFolder(QWidget*, const QString&, const QString&) override { return {}; }
    bool question(QWidget*, const QString&, const QString&) override { return true; }
    QString saveFileName(QWidget*, const QString&, const QList<FileFilter>&,
                         const QString&) override
    {
        return {};
    }

    QStringList lines;
    QQueue<QString> answers;
};

// A call that does nothing but shows up in strace's log, to mark where the operation runs.
// On a disk image the steps are mtools commands, which learn it from their environment.
void mark(const char* where)
{
    (void)::access(where, F_OK);
    qputenv("BOOTVANE_FAULT_INSIDE", QByteArray(where).endsWith("begin") ? "1" : "0");
}

std::unique_ptr<Drive> driveC()
{
    const QString image = qEnvironmentVariable("BOOTVANE_FAULT_IMAGE");
    return image.isEmpty() ? nullptr : openDrive(image);
}

// Loads what the first window and the first picture would load (fonts, styles, image
// plugins), so that the operation's own system calls are not lost among them.
void warmUp()
{
    QMainWindow window;
    window.setFont(controlFont());
    window.menuBar()->addMenu(QStringLiteral("&Help"));
    auto* tree = new QTreeWidget(&window);
    tree->setStyle(QStyleFactory::create(QStringLiteral("Windows")));
    new QTreeWidgetItem(tree, QStringList{QStringLiteral("warm")});
    auto* heading = new QLabel(QStringLiteral("Heading"), &window);
    heading->setFont(headingFont(12));
    new QPushButton(QStringLiteral("Button"), &window);
    window.setCentralWidget(tree);
    window.resize(200, 200);
    (void)window.grab();
    (void)programIconPixmap();
    (void)QImage::fromData(encodeBmp(QImage(2, 2, QImage::Format_RGB32)));
}

template <typename T> T* child(QWidget* window, const char* name)
{
    T* found = window->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

void applySet()
{
    frmLogoMain window(driveC());
    window.show();
    auto* tree = child<QTreeWidget>(&window, "TreeView1");
    QTreeWidgetItem* target = tree->topLevelItem(0)->child(0);
    tree->setCurrentItem(target);
    emit tree->itemClicked(target, 0);
    mark("/nonexistent/bootvane-fault-begin");
    child<QPushButton>(&window, "cmdSetCur")->click();
    mark("/nonexistent/bootvane-fault-end");
}

void restoreOriginals()
{
    frmLogoMain window(driveC());
    window.show();
    mark("/nonexistent/bootvane-fault-begin");
    child<QPushButton>(&window, "cmdRestore")->click();
    mark("/nonexistent/bootvane-fault-end");
}

void backupOriginals()
{
    std::unique_ptr<Drive> drive = driveC();
    mark("/nonexistent/bootvane-fault-begin");
    frmLogoMain window(std::move(drive));
    mark("/nonexistent/bootvane-fault-end");
}

void saveSet(RecordingDialogs& dialogs, const QStringList& sources)
{
    frmNewSet dialog;
    dialog.show();
    for (const QString& source : sources)
        dialogs.answers.enqueue(source);
    for (const char* button : {"cmdSelectLogo", "cmdSelectLogow", "cmdSelectLogos"})
        child<QPushButton>(&dialog, button)->click();
    child<QLineEdit>(&dialog, "txtSaveSet")->setText(QStringLiteral("New Set"));
    mark("/nonexistent/bootvane-fault-begin");
    child<QPushButton>(&dialog, "cmdSaveSet")->click();
    mark("/nonexistent/bootvane-fault-end");
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3)
        qFatal("usage: bootvane-faultdriver backup|apply|restore|saveset REPORT [SOURCE...]");
    const QString operation = args[1];

    RecordingDialogs dialogs;
    ScopedUserDialogs installed(dialogs);
    warmUp();

    if (operation == QLatin1String("backup"))
        backupOriginals();
    else if (operation == QLatin1String("apply"))
        applySet();
    else if (operation == QLatin1String("restore"))
        restoreOriginals();
    else if (operation == QLatin1String("saveset"))
        saveSet(dialogs, args.mid(3));
    else
        qFatal("unknown operation");

    dialogs.lines.append(QStringLiteral("cwd\t") + QDir::currentPath());
    QFile report(args[2]);
    if (!report.open(QIODevice::WriteOnly))
        return 2;
    report.write(dialogs.lines.join(QLatin1Char('\n')).toUtf8() + '\n');
    return 0;
}
