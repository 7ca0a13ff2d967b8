#include "about.h"

#include "handler.h"
#include "look.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace bootvane {

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QFont boldControlFont()
{
    QFont font = controlFont();
    font.setBold(true);
    return font;
}

} // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    makeFixedDialog(this, QSize(twips(5730), twips(3180)));
    setWindowTitle(QStringLiteral("About Bootvane 1.0"));
    // Always at the same place on the screen, wherever the main window is.
    QPoint screenCorner;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        screenCorner = screen->geometry().topLeft();
    setGeometry(QRect(screenCorner + QPoint(twips(2340), twips(1935)), size()));

    auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipsRect(4245, 2025, 1260, 345));
    cmdOK->setDefault(true); // Enter; Esc closes every Qt dialog as a cancel does
    connectHandler(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    auto* picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picIcon->setLineWidth(2);
    picIcon->setPixmap(programIconPixmap());
    picIcon->setAlignment(Qt::AlignCenter);
    picIcon->setGeometry(twipsRect(240, 120, 540, 540));
    picIcon->setFocusPolicy(Qt::StrongFocus);

    QLabel* lblTitle =
        makeLabel(this, "lblTitle", QStringLiteral("Bootvane"), twipsRect(1050, 240, 4365, 480));
    lblTitle->setFont(headingFont(15.75));
    QLabel* lblVersion = makeLabel(this, "lblVersion", QStringLiteral("Version 1.00"),
                                   twipsRect(1050, 720, 4365, 255));
    lblVersion->setFont(boldControlFont());
    QLabel* lblDescription = makeLabel(
        this, "lblDescription",
        QStringLiteral("Bootvane is designed to allow the user to change those boring "
                       "Startup/Shutdown screens that come with Windows 95 and categorize "
                       "them into sets."),
        twipsRect(1080, 1080, 3975, 615));
    lblDescription->setWordWrap(true);
    for (QLabel* black : {lblTitle, lblDescription}) {
        QPalette palette = black->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        black->setPalette(palette);
    }

    auto* Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setGeometry(twips(90), twips(1845), twips(5654) - twips(90) + 1, 1);
    Line1->setAutoFillBackground(true);
    QPalette grey = Line1->palette();
    grey.setColor(QPalette::Window, QColor(128, 128, 128));
    Line1->setPalette(grey);

    makeLabel(this, "lblDisclaimer",
              QStringLiteral("Copyright \u00a9 2026 the Bootvane developers.\n"
                             "Free software: use it, share it, change it."),
              twipsRect(240, 2025, 3885, 510));
    QLabel* lblVisit =
        makeLabel(this, "lblVisit", QStringLiteral("Visit us at:"), twipsRect(240, 2760, 735, 255));
    // Laid out for MS Sans Serif; the sans serif that stands in for it on other hosts is a
    // little wider, and the colon must not be cut off. There is room up to the address.
    const int visitInk = lblVisit->fontMetrics().tightBoundingRect(lblVisit->text()).right() + 1;
    lblVisit->resize(qBound(lblVisit->width(), visitInk, twips(1080) - lblVisit->x()),
                     lblVisit->height());
    QLabel* lblWebPage =
        makeLabel(this, "lblWebPage", QLatin1Char(' ') + QLatin1String(webPageAddress),
                  twipsRect(1080, 2760, 4575, 255));
    lblWebPage->setFont(boldControlFont());
    lblWebPage->setTextInteractionFlags(Qt::NoTextInteraction);

    setTabOrder(cmdOK, picIcon);
    cmdOK->setFocus();
}

void frmAbout::cmdOK_Click()
{
    accept();
}

void showAboutBox()
{
    frmAbout box;
    box.exec();
}

} // namespace bootvane
