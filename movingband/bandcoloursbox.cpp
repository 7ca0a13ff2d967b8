#include "bandcoloursbox.h"

#include "handler.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace bootvane {

namespace {

constexpr int customStopCount = 3;
constexpr QSize swatchSize(32, 16);

QIcon swatch(const QColor& colour)
{
    QPixmap pixmap(swatchSize);
    pixmap.fill(colour);
    QPainter(&pixmap).drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    QIcon icon(pixmap);
    // Greyed, the buttons still show the colours that "Custom..." starts from.
    icon.addPixmap(pixmap, QIcon::Disabled);
    return icon;
}

// Three of a loop's colours, spread over it, for the user to start a loop of their own.
QList<QColor> threeStopsOf(const QList<QColor>& stops)
{
    QList<QColor> three;
    const qsizetype taken = qMin<qsizetype>(customStopCount, stops.size());
    for (qsizetype i = 0; i < taken; ++i)
        three.append(stops[i * stops.size() / taken]);
    while (three.size() < customStopCount)
        three.append(three.isEmpty() ? QColor(Qt::white) : three.constFirst());
    return three;
}

} // namespace

BandColoursBox::BandColoursBox(QWidget* parent)
    : QGroupBox(QStringLiteral("&Colours"), parent), m_named(namedBandColours()),
      cboColours(new QComboBox(this)), chkThirdColour(new QCheckBox(this)),
      fraCustom(new QWidget(this))
{
    cboColours->setObjectName(QStringLiteral("cboColours"));
    for (const BandColours& named : std::as_const(m_named))
        cboColours->addItem(named.name);
    cboColours->addItem(QStringLiteral("Custom..."));

    auto* customLayout = new QVBoxLayout(fraCustom);
    customLayout->setContentsMargins(0, 0, 0, 0);
    auto* swatches = new QHBoxLayout;
    customLayout->addLayout(swatches);
    for (int stop = 0; stop < customStopCount; ++stop) {
        auto* button = new QPushButton(fraCustom);
        button->setObjectName(QStringLiteral("cmdColour%1").arg(stop + 1));
        button->setAccessibleName(QStringLiteral("Colour %1").arg(stop + 1));
        button->setToolTip(
            QStringLiteral("Colour %1 of the loop: click to choose it").arg(stop + 1));
        button->setIconSize(swatchSize);
        button->setAutoDefault(false);
        swatches->addWidget(button);
        cmdColours.append(button);
        connect(button, &QPushButton::clicked, this,
                [this, stop] { runHandler(this, [this, stop] { cmdColour_Click(stop); }); });
    }
    chkThirdColour->setParent(fraCustom);
    chkThirdColour->setObjectName(QStringLiteral("chkThirdColour"));
    chkThirdColour->setText(QStringLiteral("Th&ird colour"));
    chkThirdColour->setToolTip(QStringLiteral("Loop through three colours, not two"));
    customLayout->addWidget(chkThirdColour);
    // Always there, so that choosing "Custom..." moves nothing; usable only then.
    fraCustom->setEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cboColours);
    layout->addWidget(fraCustom);
    connectHandler(cboColours, &QComboBox::currentIndexChanged, this,
                   &BandColoursBox::cboColours_Change);
    cboColours_Change(); // the first loop's colours on the buttons
    connectHandler(chkThirdColour, &QCheckBox::clicked, this,
                   &BandColoursBox::chkThirdColour_Click);
}

bool BandColoursBox::customChosen() const
{
    return cboColours->currentIndex() >= m_named.size();
}

QList<QColor> BandColoursBox::stops() const
{
    if (!customChosen())
        return m_named[cboColours->currentIndex()].stops;
    return m_custom.mid(0, chkThirdColour->isChecked() ? customStopCount : 2);
}

void BandColoursBox::showCustomStops()
{
    for (int stop = 0; stop < customStopCount; ++stop)
        cmdColours[stop]->setIcon(swatch(m_custom[stop]));
    cmdColours[customStopCount - 1]->setEnabled(chkThirdColour->isChecked());
}

void BandColoursBox::cboColours_Change()
{
    if (!customChosen()) {
        // The user's loop starts from the colours of the named one chosen before it.
        const QList<QColor>& named = m_named[cboColours->currentIndex()].stops;
        m_custom = threeStopsOf(named);
        chkThirdColour->setChecked(named.size() >= customStopCount);
        showCustomStops();
    }
    fraCustom->setEnabled(customChosen());
    emit changed();
}

void BandColoursBox::chkThirdColour_Click()
{
    showCustomStops();
    emit changed();
}

void BandColoursBox::cmdColour_Click(int stop)
{
    const QColor colour = QColorDialog::getColor(
        m_custom[stop], window(), QStringLiteral("Colour %1 of the Band").arg(stop + 1));
    if (!colour.isValid())
        return;
    m_custom[stop] = colour;
    showCustomStops();
    emit changed();
}

} // namespace bootvane
