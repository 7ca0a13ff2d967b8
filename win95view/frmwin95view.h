#pragma once

#include "win95screen.h"

#include <QDialog>

namespace bootvane {

class Win95ScreenView;

// Shows one screen as Windows 95 shows it: filling a 4:3 window, as the 320 x 400 mode
// fills the monitor, in the VGA's colours, and on the Startup Screen with its palette
// cycling. The user may resize it; it stays 4:3. A double-click, Esc or the close box
// closes it.
class frmWin95View : public QDialog {
    Q_OBJECT
public:
    frmWin95View(const Win95Screen& screen, const ScreenSlot& slot, QWidget* parent = nullptr);

    // Whether the colours are cycling now; they rest while the window is hidden or minimised.
    bool isCycling() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void Form_DblClick();

    // All of the window, unless the window system refused the 4:3 size: then the screen is
    // centred on black.
    Win95ScreenView* m_view;
    QSize m_correctedSize; // the last size we asked the window system to make 4:3
};

// Shows the picture of the screen slot (0..2) as Windows 95 will show it, in a modal window
// opened afresh, and returns when that has closed. Throws when the picture has to be
// converted first and that fails.
void showAsWindows95(const QImage& picture, int slot);

} // namespace bootvane
