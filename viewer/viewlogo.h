#pragma once

#include <QDialog>
#include <QImage>
#include <QPixmap>

namespace bootvane {

// Shows one screen picture at its natural size from the top-left corner of a fixed
// 319 x 400 window: a larger picture is cut off, a smaller one leaves the background.
// A double-click anywhere or the close box closes it.
class frmViewLogo : public QDialog {
    Q_OBJECT
public:
    explicit frmViewLogo(const QImage& picture, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void Form_DblClick();

    QPixmap m_shown; // only the part of the picture that the window can show
};

// The one way any window opens the viewer: the caller hands over the picture it has just
// loaded, and this returns when the viewer has closed. The system clipboard is left alone.
void showScreenFullSize(const QImage& picture);

} // namespace bootvane
