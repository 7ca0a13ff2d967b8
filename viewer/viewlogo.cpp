#include "viewlogo.h"

#include "handler.h"
#include "look.h"
#include "screenformat.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace bootvane {

frmViewLogo::frmViewLogo(const QImage& picture, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmViewLogo"));
    const QSize clientSize(twips(4785), twips(6000));
    makeFixedDialog(this, clientSize);
    // Qt puts the program's name into an empty title; a blank keeps the title bar empty.
    setWindowTitle(QStringLiteral(" "));
    // Only the part that the window can show; QImage::copy() would fill the rest of a
    // smaller picture with its colour 0 instead of leaving the window's background. What is
    // transparent shows over black, as it is written.
    m_shown = QPixmap::fromImage(
        overBlack(picture.copy(QRect(QPoint(0, 0), clientSize).intersected(picture.rect()))));
}

void frmViewLogo::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.drawPixmap(QPoint(0, 0), m_shown);
}

void frmViewLogo::keyPressEvent(QKeyEvent* event)
{
    // A Qt dialog closes on Esc; this window has no keyboard commands and closes only by a
    // double-click or its close box.
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}

void frmViewLogo::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        runHandler(this, [this] { Form_DblClick(); });
}

void frmViewLogo::Form_DblClick()
{
    accept();
}

void showScreenFullSize(const QImage& picture)
{
    frmViewLogo viewer(picture);
    viewer.exec();
}

} // namespace bootvane
