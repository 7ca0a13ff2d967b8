#pragma once

#include "win95frame.h"
#include "win95screen.h"

#include <QTimer>
#include <QWidget>
#include <optional>

namespace bootvane {

// One screen as Windows 95 puts it on the monitor, drawn in the largest 4:3 area of the
// widget, centred on black: in the VGA's colours, each pixel twice as wide as tall, and on
// the Startup Screen with its palette cycling while the widget can be seen.
class Win95ScreenView : public QWidget {
    Q_OBJECT
public:
    explicit Win95ScreenView(const Win95Screen& screen, QWidget* parent = nullptr);

    // Shows another screen at once; the cycling goes on from the step it had reached, so a
    // band that changes keeps flowing.
    void setScreen(const Win95Screen& screen);

    // Whether the colours are cycling now; they rest while the window is hidden or minimised.
    bool isCycling() const { return m_stepTimer.isActive(); }

signals:
    // A paint of the view has ended (benchmarks time a change until it).
    void painted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QRect frameArea() const;
    void remakeFrame();
    void startOrStopCycling();
    void step();

    Win95Screen m_screen;
    std::optional<Win95Frame> m_frame;
    QTimer m_stepTimer;
    qint64 m_steps = 0;
};

} // namespace bootvane
