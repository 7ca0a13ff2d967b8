#include "win95screenview.h"

#include "handler.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

namespace bootvane {

Win95ScreenView::Win95ScreenView(const Win95Screen& screen, QWidget* parent)
    : QWidget(parent), m_screen(screen)
{
    // The frame and the black around it cover every pixel; nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_stepTimer.setTimerType(Qt::PreciseTimer);
    m_stepTimer.setInterval(paletteStepInterval);
    connect(&m_stepTimer, &QTimer::timeout, this, &Win95ScreenView::step);
}

void Win95ScreenView::setScreen(const Win95Screen& screen)
{
    m_screen = screen;
    m_frame.reset();
    update();
    remakeFrame();
    startOrStopCycling();
}

QRect Win95ScreenView::frameArea() const
{
    const int units = qMin(width() / 4, height() / 3);
    QRect area(QPoint(0, 0), QSize(4, 3) * units);
    area.moveCenter(rect().center());
    return area;
}

void Win95ScreenView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    runHandler(this, [this] { remakeFrame(); });
}

void Win95ScreenView::remakeFrame()
{
    const QSize size = frameArea().size();
    if (m_frame && m_frame->image().size() == size)
        return;
    update();
    m_frame.reset();
    m_frame.emplace(m_screen, size); // when it throws, the view is left black
    m_frame->showStep(m_steps);
}

void Win95ScreenView::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        QRegion black = event->region();
        if (m_frame) {
            const QRect area = frameArea();
            const QRect exposed = event->rect() & area;
            painter.drawImage(exposed, m_frame->image(), exposed.translated(-area.topLeft()));
            black -= area;
        }
        for (const QRect& rect : black)
            painter.fillRect(rect, Qt::black);
    }
    emit painted();
}

void Win95ScreenView::step()
{
    ++m_steps;
    if (!m_frame)
        return;
    const QRect changed = m_frame->showStep(m_steps);
    if (!changed.isEmpty())
        update(changed.translated(frameArea().topLeft()));
}

void Win95ScreenView::startOrStopCycling()
{
    if (m_screen.cycles() && isVisible() && !window()->isMinimized())
        m_stepTimer.start();
    else
        m_stepTimer.stop();
}

void Win95ScreenView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Minimising changes the state of the window, not of the widgets in it.
    window()->removeEventFilter(this);
    window()->installEventFilter(this);
    startOrStopCycling();
}

void Win95ScreenView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // Also when the window system hides a minimised window, which still counts as visible.
    m_stepTimer.stop();
}

bool Win95ScreenView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window() && event->type() == QEvent::WindowStateChange)
        startOrStopCycling();
    return QWidget::eventFilter(watched, event);
}

} // namespace bootvane
