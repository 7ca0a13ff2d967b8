#include "frmwin95view.h"

#include "busycursor.h"
#include "handler.h"
#include "look.h"
#include "win95screenview.h"

#include <QMouseEvent>
#include <QVBoxLayout>
#include <optional>

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

} // namespace

frmWin95View::frmWin95View(const Win95Screen& screen, const ScreenSlot& slot, QWidget* parent)
    : QDialog(parent), m_view(new Win95ScreenView(screen, this))
{
    setObjectName(QStringLiteral("frmWin95View"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowIcon(programIcon());
    setWindowTitle(QStringLiteral("%1 as Windows 95 Shows It").arg(QLatin1String(slot.uiName)));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setMinimumSize(smallestSize);
    // Window systems that honour it size the window in steps of 4 across and 3 down while
    // the user drags an edge, so that the 4:3 correction moves the other edge little.
    setSizeIncrement(4, 3);
    resize(startSize);
}

bool frmWin95View::isCycling() const
{
    return m_view->isCycling();
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
