#pragma once

#include "movingband.h"

#include <QGroupBox>
#include <QList>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace bootvane {

// The band's colours: a named loop, or "Custom..." with two or three colours of the user's,
// each picked in the colour dialog. A custom loop starts from the named one chosen before it,
// whose colours the greyed colour buttons show.
class BandColoursBox : public QGroupBox {
    Q_OBJECT
public:
    explicit BandColoursBox(QWidget* parent = nullptr);

    // The loop chosen now.
    QList<QColor> stops() const;

signals:
    void changed();

private:
    bool customChosen() const;
    void showCustomStops();
    void cboColours_Change();
    void cmdColour_Click(int stop);
    void chkThirdColour_Click();

    QList<BandColours> m_named;
    QList<QColor> m_custom; // always three; the third counts when chkThirdColour is on
    QComboBox* cboColours;
    QList<QPushButton*> cmdColours;
    QCheckBox* chkThirdColour;
    QWidget* fraCustom;
};

} // namespace bootvane
