#pragma once

#include "screensource.h"

#include <QDialog>
#include <QImage>
#include <functional>

class QButtonGroup;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QVBoxLayout;

namespace bootvane {

class BandColoursBox;
class ImageBox;
class Win95ScreenView;
struct MovingBand;

// The window in which the user adds a moving band to a Startup Screen: on the left the band
// screen as Windows 95 will show it, cycling, and on the right the band's place, height,
// colours and direction, each change shown at once. "Save as New Set..." writes the band
// screen with the other two screens of its sources as a new set and closes the window.
class frmMovingBand : public QDialog {
    Q_OBJECT
public:
    // background is the Startup Screen's picture made ready by bandBackground; sources are
    // the screens of the set to save, of which the Startup Screen's gives way to the band's.
    // proposedName is offered as the new set's name. base is the working folder.
    frmMovingBand(const QImage& background, const QString& base, const SetSources& sources,
                  const QString& proposedName, QWidget* parent = nullptr);

    // The screen that saving writes, as the view shows it now.
    const QImage& bandScreen() const { return m_bandScreen; }

private:
    void buildControls();
    void addPlaceAndHeight(QVBoxLayout* column);
    void addDirection(QVBoxLayout* column);
    void addSaveAndCancel(QVBoxLayout* column);
    void connectHandlers();
    // The band the controls describe.
    MovingBand chosenBand() const;
    void showBand();
    void cmdSave_Click();

    QImage m_background;
    QImage m_bandScreen;
    QString m_base;
    SetSources m_sources;
    QString m_proposedName;

    Win95ScreenView* viewBand = nullptr;
    QButtonGroup* grpPosition = nullptr;
    QSlider* sldHeight = nullptr;
    QSpinBox* spnHeight = nullptr;
    BandColoursBox* fraColours = nullptr;
    QButtonGroup* grpFlow = nullptr;
    QLabel* lblCannotSave = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdCancel = nullptr;
};

// Opens the Moving Band window, modal and afresh, for the Startup Screen of sources, and
// returns when it has closed. sourceName names the set the screens come from, when they do.
// Throws when the Startup Screen cannot be read or converted.
void showMovingBand(const QString& base, const SetSources& sources,
                    const QString& sourceName = QString());

// Adds "Add Moving Band..." to the context menu of a Startup Screen box, greyed while the box
// is empty or shows Windows' built-in screen, which is no picture to add a band to. open runs
// inside the error boundary of window.
void addMovingBandItem(ImageBox& box, QWidget* window, const std::function<void()>& open);

} // namespace bootvane
