#include "frmwin95view.h"

#include "handler.h"
#include "look.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace bootvane {

namespace {

// The 4:3 screen that Windows 95 shows its screens on, in square pixels: the window starts
// at it, one window pixel to one pixel of that screen.
constexpr QSize startSize(640, 480);
constexpr QSize smallestSize(320, 240);

// The 4:3 size nearest to size, led by the side that the user changed the more.
QSize fourByThree(QSize size, QSize oldSize)
{
    const bool byWidth = !oldSize.isValid() || qAbs(size.width() - oldSize.width()) * 3 >=
                                                   qAbs(size.height() - oldSize.height()) * 4;
    const int units = byWidth ? (size.width() + 2) / 4 : (size.height() + 1) / 3;
    return QSize(4, 3) * qMax(units, smallestSize.width() / 4);
}

// Tells the user that a large picture is being converted, for as long as it lives.
class BusyCursor {
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

frmWin95View::frmWin95View(const Win95Screen& screen, const ScreenSlot& slot, QWidget* parent)
    : QDialog(parent), m_screen(screen)
{
    setObjectName(QStringLiteral("frmWin95View"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(programIcon());
    setWindowTitle(QStringLiteral("%1 as Windows 95 Shows It").arg(QLatin1String(slot.uiName)));
    // The frame covers every pixel; nothing needs erasing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(smallestSize);
    // Window systems that honour it size the window in steps of 4 across and 3 down while
    // the user drags an edge, so that the 4:3 correction moves the other edge little.
    setSizeIncrement(4, 3);
    resize(startSize);

    m_stepTimer.setTimerType(Qt::PreciseTimer);
    m_stepTimer.setInterval(paletteStepInterval);
    connect(&m_stepTimer, &QTimer::timeout, this, &frmWin95View::step);
}

QRect frmWin95View::frameArea() const
{
    const int units = qMin(width() / 4, height() / 3);
    QRect area(QPoint(0, 0), QSize(4, 3) * units);
    area.moveCenter(rect().center());
    return area;
}

void frmWin95View::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    const QSize wanted = fourByThree(event->size(), event->oldSize());
    if (event->size() == wanted) {
        m_correctedSize = QSize();
    } else if (event->size() != m_correctedSize) {
        // Asked once for each size: a window system that insists on its own gets the screen
        // centred on black instead of a tug of war.
        m_correctedSize = event->size();
        resize(wanted);
    }
    runHandler(this, [this] { remakeFrameIfResized(); });
}

void frmWin95View::remakeFrameIfResized()
{
    const QSize size = frameArea().size();
    if (m_frame && m_frame->image().size() == size)
        return;
    update();
    m_frame.emplace(m_screen, size); // when it throws, the window is left black
    m_frame->showStep(m_steps);
}

void frmWin95View::paintEvent(QPaintEvent* event)
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

void frmWin95View::step()
{
    ++m_steps;
    if (!m_frame)
        return;
    const QRect changed = m_frame->showStep(m_steps);
    if (!changed.isEmpty())
        update(changed.translated(frameArea().topLeft()));
}

void frmWin95View::startOrStopCycling()
{
    if (m_screen.cycles() && isVisible() && !isMinimized())
        m_stepTimer.start();
    else
        m_stepTimer.stop();
}

void frmWin95View::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    startOrStopCycling();
}

void frmWin95View::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    // Also when the window system hides a minimised window, which still counts as visible.
    m_stepTimer.stop();
}

void frmWin95View::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        startOrStopCycling();
}

void frmWin95View::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        runHandler(this, [this] { Form_DblClick(); });
}

void frmWin95View::Form_DblClick()
{
    accept();
}

void showAsWindows95(const QImage& picture, int slot)
{
    std::optional<Win95Screen> screen;
    {
        const BusyCursor busy;
        screen.emplace(picture, screenSlots[slot]);
    }
    frmWin95View view(*screen, screenSlots[slot]);
    view.exec();
}

} // namespace bootvane
