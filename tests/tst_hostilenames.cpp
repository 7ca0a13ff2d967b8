// Names a user or a script might type as a new set's name. Each bad one is refused with its
// message and creates nothing anywhere; each good one is saved under exactly that name.

#include "frmnewset.h"
#include "picture.h"
#include "scripteddialogs.h"
#include "setstore.h"
#include "tempdrive.h"

#include <QDir>
#include <QDirIterator>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace bootvane;
using namespace bootvane::testing;

namespace {

const QString invalid = QStringLiteral("That is not a valid set name.");
const QString taken = QStringLiteral("That set name already exists.");
const QString saved = QString();

} // namespace

class TestHostileNames : public QObject {
    Q_OBJECT

private slots:
    void everyNameIsSavedExactlyOrRefused_data();
    void everyNameIsSavedExactlyOrRefused();
};

void TestHostileNames::everyNameIsSavedExactlyOrRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");

    const QString longName(256, QLatin1Char('n'));
    const struct {
        const char* row;
        QString name;
        QString message;
    } rows[] = {
        {"parent, slash", QStringLiteral("../x"), invalid},
        {"parent, backslash", QStringLiteral("..\\x"), invalid},
        {"absolute", QStringLiteral("/tmp/bootvane-hostile-x"), invalid},
        {"drive letter", QStringLiteral("C:\\x"), invalid},
        {"nested, slash", QStringLiteral("a/b"), invalid},
        {"nested, backslash", QStringLiteral("a\\b"), invalid},
        {"dot", QStringLiteral("."), invalid},
        {"dot dot", QStringLiteral(".."), invalid},
        {"blanks only", QStringLiteral("   "), invalid},
        {"trailing dot", QStringLiteral("name."), invalid},
        {"trailing blank", QStringLiteral("name "), invalid},
        {"leading dot (hidden here)", QStringLiteral(".hidden"), invalid},
        {"CON", QStringLiteral("CON"), invalid},
        {"con.txt", QStringLiteral("con.txt"), invalid},
        {"LPT9", QStringLiteral("LPT9"), invalid},
        {"NUL.bmp", QStringLiteral("NUL.bmp"), invalid},
        {"aux in lower case", QStringLiteral("aux"), invalid},
        {"COM1.sys", QStringLiteral("COM1.sys"), invalid},
        {"256 bytes", longName, invalid},
        {"star alone matches the first entry", QStringLiteral("*"), taken},
        {"question marks match a taken name", QStringLiteral("Taken?"), taken},
        {"star inside", QStringLiteral("new*set"), invalid},
        {"question mark inside", QStringLiteral("why?not"), invalid},
        {"less than", QStringLiteral("a<b"), invalid},
        {"greater than", QStringLiteral("a>b"), invalid},
        {"pipe", QStringLiteral("a|b"), invalid},
        {"double quote", QStringLiteral("say \"x\""), invalid},
        {"colon", QStringLiteral("a:b"), invalid},
        {"newline", QStringLiteral("a\nb"), invalid},
        {"escape character",
         QStringLiteral("a\x1b"
                        "b"),
         invalid},
        {"NUL character", QString(QStringLiteral("a")) + QChar(0) + QStringLiteral("b"), invalid},
        {"unicode", QStringLiteral("Ünïcødé 雪"), saved},
        {"parentheses", QStringLiteral("My set (2)"), saved},
        {"the sets root's key", QStringLiteral("First"), saved},
        {"the sets root's text", QStringLiteral("Bootvane Sets"), saved},
        // Kept for the user's own screens in any case, also before they are saved.
        {"Originals, not saved yet", QStringLiteral("Originals"), invalid},
        {"another case of Originals", QStringLiteral("originals"), invalid},
        {"inner dots", QStringLiteral("v1.2 final"), saved},
        {"255 bytes", QString(255, QLatin1Char('n')), saved},
        {"leading blank", QStringLiteral(" spaced"), saved},
        {"device name inside a word", QStringLiteral("CONsole"), saved},
    };
    for (const auto& row : rows)
        QTest::newRow(row.row) << row.name << row.message;
}

void TestHostileNames::everyNameIsSavedExactlyOrRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, message);

    TempDrive drive;
    ScriptedDialogs dialogs;
    drive.makeSet(QStringLiteral("Taken1"));
    const QString sourceFolder = drive.root() + QStringLiteral("/sources");
    QDir().mkdir(sourceFolder);
    const char* buttons[] = {"cmdSelectLogo", "cmdSelectLogow", "cmdSelectLogos"};
    QStringList sources;
    for (int slot = 0; slot < 3; ++slot) {
        sources.append(sourceFolder + QStringLiteral("/%1.sys").arg(slot));
        writeFile(sources[slot], encodeBmp(screenPicture(60 + slot)));
        dialogs.answerFileDialog(sources[slot]);
    }
    const QStringList before = entriesBelow(drive.root());

    frmNewSet dialog;
    dialog.show();
    for (const char* button : buttons)
        dialog.findChild<QPushButton*>(QLatin1String(button))->click();
    dialog.findChild<QLineEdit*>(QStringLiteral("txtSaveSet"))->setText(name);
    dialog.findChild<QPushButton*>(QStringLiteral("cmdSaveSet"))->click();

    QCOMPARE(QDir::currentPath(), drive.workDir());
    if (message.isEmpty()) {
        QVERIFY2(dialogs.boxes.isEmpty(), qPrintable(dialogs.boxes.value(0).text));
        QVERIFY(!dialog.isVisible());
        QVERIFY(setFolderNames(drive.workDir() + QLatin1Char('/')).contains(name));
        for (int slot = 0; slot < 3; ++slot) {
            const QString copy =
                drive.workDir() + QLatin1Char('/') + name + QLatin1Char('/') +
                QStringList{QStringLiteral("logo.sys"), QStringLiteral("logow.sys"),
                            QStringLiteral("logos.sys")}[slot];
            QCOMPARE(fileBytes(copy), fileBytes(sources[slot]));
        }
        return;
    }
    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes[0].text, message);
    QCOMPARE(dialogs.boxes[0].title, QStringLiteral("Saving Screen Sets"));
    QVERIFY(dialog.isVisible());
    QCOMPARE(entriesBelow(drive.root()), before);
    QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/bootvane-hostile-x")));
}

QTEST_MAIN(TestHostileNames)
#include "tst_hostilenames.moc"
