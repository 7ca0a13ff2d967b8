#include "frmmovingband.h"

#include "bandcoloursbox.h"
#include "builtinscreen.h"
#include "busycursor.h"
#include "handler.h"
#include "imagebox.h"
#include "look.h"
#include "movingband.h"
#include "picture.h"
#include "setnamedialog.h"
#include "setstore.h"
#include "userdialogs.h"
#include "win95screenview.h"

#include <QAction>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace bootvane {

namespace {

const QString saveTitle = QStringLiteral("Save as New Set");
// At least three quarters of the 640 x 480 screen: large enough to judge the band, small
// enough to leave room for the choices on small desktops.
constexpr QSize viewStartSize(480, 360);
constexpr QSize viewSmallestSize(320, 240);
constexpr int choicesSmallestWidth = 240;

QRadioButton* addOption(QButtonGroup* group, QLayout* layout, const char* name,
                        const QString& caption, int id)
{
    auto* option = new QRadioButton(caption);
    option->setObjectName(QLatin1String(name));
    group->addButton(option, id);
    layout->addWidget(option);
    return option;
}

} // namespace

frmMovingBand::frmMovingBand(const QImage& background, const QString& base,
                             const SetSources& sources, const QString& proposedName,
                             QWidget* parent)
    : QDialog(parent), m_background(background),
      m_bandScreen(paintMovingBand(background, MovingBand{})), m_base(base), m_sources(sources),
      m_proposedName(proposedName)
{
    setObjectName(QStringLiteral("frmMovingBand"));
    setWindowTitle(QStringLiteral("Moving Band"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(programIcon());
    setFont(controlFont());
    buildControls();
    connectHandlers();
}

void frmMovingBand::buildControls()
{
    viewBand = new Win95ScreenView(Win95Screen(m_bandScreen, screenSlots[0]), this);
    viewBand->setObjectName(QStringLiteral("viewBand"));
    viewBand->setMinimumSize(viewSmallestSize);

    auto* choices = new QWidget(this);
    auto* column = new QVBoxLayout(choices);
    column->setContentsMargins(0, 0, 0, 0);
    addPlaceAndHeight(column);
    fraColours = new BandColoursBox(choices);
    column->addWidget(fraColours);
    addDirection(column);
    column->addStretch(1);
    addSaveAndCancel(column);
    choices->setFixedWidth(qMax(choices->sizeHint().width(), choicesSmallestWidth));

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(viewBand, 1);
    layout->addWidget(choices);
    // The view as tall as the choices, and 4:3, so that the screen fills it.
    const int viewHeight = qMax(viewStartSize.height(), choices->sizeHint().height());
    const QMargins margins = layout->contentsMargins();
    resize(margins.left() + viewHeight * 4 / 3 + layout->spacing() + choices->width() +
               margins.right(),
           margins.top() + viewHeight + margins.bottom());
}

void frmMovingBand::addPlaceAndHeight(QVBoxLayout* column)
{
    auto* place = new QGroupBox(QStringLiteral("Place"));
    auto* placeLayout = new QVBoxLayout(place);
    grpPosition = new QButtonGroup(this);
    addOption(grpPosition, placeLayout, "optBottom", QStringLiteral("&Bottom"),
              int(BandPosition::Bottom))
        ->setChecked(true);
    addOption(grpPosition, placeLayout, "optTop", QStringLiteral("&Top"), int(BandPosition::Top));
    column->addWidget(place);

    auto* height = new QGroupBox(QStringLiteral("&Height in the screen's 400 rows"));
    auto* heightLayout = new QHBoxLayout(height);
    sldHeight = new QSlider(Qt::Horizontal, height);
    sldHeight->setObjectName(QStringLiteral("sldHeight"));
    sldHeight->setAccessibleName(QStringLiteral("Height"));
    spnHeight = new QSpinBox(height);
    spnHeight->setObjectName(QStringLiteral("spnHeight"));
    sldHeight->setRange(lowestBandHeight, highestBandHeight);
    spnHeight->setRange(lowestBandHeight, highestBandHeight);
    sldHeight->setValue(defaultBandHeight);
    spnHeight->setValue(defaultBandHeight);
    heightLayout->addWidget(sldHeight, 1);
    heightLayout->addWidget(spnHeight);
    column->addWidget(height);
}

void frmMovingBand::addDirection(QVBoxLayout* column)
{
    auto* direction = new QGroupBox(QStringLiteral("Direction"));
    auto* directionLayout = new QVBoxLayout(direction);
    grpFlow = new QButtonGroup(this);
    addOption(grpFlow, directionLayout, "optRight", QStringLiteral("Flowing &right"),
              int(BandFlow::Right))
        ->setChecked(true);
    addOption(grpFlow, directionLayout, "optLeft", QStringLiteral("Flowing &left"),
              int(BandFlow::Left));
    column->addWidget(direction);
}

void frmMovingBand::addSaveAndCancel(QVBoxLayout* column)
{
    // A set needs a file for each screen; when one cannot be had, saving is off and says why.
    QStringList whyNot;
    for (int i = 1; i < slotCount; ++i) {
        if (m_sources[i].isMissing())
            whyNot.append(m_sources[i].whyMissing());
    }
    const QString cannotSave =
        QStringLiteral("Cannot save as a new set, which needs a file for each screen: %1.")
            .arg(whyNot.join(QStringLiteral("; ")));
    lblCannotSave = new QLabel(cannotSave);
    lblCannotSave->setObjectName(QStringLiteral("lblCannotSave"));
    lblCannotSave->setWordWrap(true);
    lblCannotSave->setVisible(!whyNot.isEmpty());
    column->addWidget(lblCannotSave);

    cmdSave = new QPushButton(QStringLiteral("&Save as New Set..."));
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdSave->setEnabled(whyNot.isEmpty());
    cmdSave->setToolTip(whyNot.isEmpty() ? QString() : cannotSave);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    for (QPushButton* button : {cmdSave, cmdCancel}) {
        button->setAutoDefault(false);
        column->addWidget(button);
    }
}

void frmMovingBand::connectHandlers()
{
    // Either height control moves the other; the slider's change shows the band.
    connect(spnHeight, &QSpinBox::valueChanged, sldHeight, &QSlider::setValue);
    connect(sldHeight, &QSlider::valueChanged, spnHeight, &QSpinBox::setValue);
    connectHandler(sldHeight, &QSlider::valueChanged, this, &frmMovingBand::showBand);
    connectHandler(grpPosition, &QButtonGroup::idClicked, this, &frmMovingBand::showBand);
    connectHandler(grpFlow, &QButtonGroup::idClicked, this, &frmMovingBand::showBand);
    connectHandler(fraColours, &BandColoursBox::changed, this, &frmMovingBand::showBand);
    connectHandler(cmdSave, &QPushButton::clicked, this, &frmMovingBand::cmdSave_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

MovingBand frmMovingBand::chosenBand() const
{
    MovingBand band;
    band.position = BandPosition(grpPosition->checkedId());
    band.height = sldHeight->value();
    band.flow = BandFlow(grpFlow->checkedId());
    band.stops = fraColours->stops();
    return band;
}

void frmMovingBand::showBand()
{
    m_bandScreen = paintMovingBand(m_background, chosenBand());
    viewBand->setScreen(Win95Screen(m_bandScreen, screenSlots[0]));
}

void frmMovingBand::cmdSave_Click()
{
    SetSources screens = m_sources;
    screens[0] =
        ScreenSource::contents(encodeBmp(m_bandScreen), QLatin1String(screenSlots[0].setFileName));
    QString proposed = m_proposedName;
    for (;;) {
        const std::optional<QString> name = SetNameDialog::ask(this, saveTitle, m_base, proposed);
        if (!name)
            return;
        // Another program may take the name after the dialog checked it: the same refusal.
        if (makeSetFrom(m_base, *name, screens)) {
            accept();
            return;
        }
        userDialogs().information(this, setNameTaken, saveTitle);
        proposed = *name;
    }
}

void showMovingBand(const QString& base, const SetSources& sources, const QString& sourceName)
{
    QImage background;
    {
        const BusyCursor busy;
        background = bandBackground(sources[0].picture());
    }
    frmMovingBand window(background, base, sources,
                         sourceName.isEmpty() ? QString() : sourceName + QStringLiteral(" Band"));
    window.exec();
}

void addMovingBandItem(ImageBox& box, QWidget* window, const std::function<void()>& open)
{
    auto* item = new QAction(QStringLiteral("Add Moving Band..."), &box);
    item->setObjectName(QStringLiteral("mnuAddMovingBand"));
    box.addMenuItem(item);
    QObject::connect(&box, &ImageBox::menuAboutToShow, item, [item, &box] {
        if (isBuiltInScreen(box.picture()))
            item->setEnabled(false);
    });
    QObject::connect(item, &QAction::triggered, window,
                     [window, open] { runHandler(window, open); });
}

} // namespace bootvane
