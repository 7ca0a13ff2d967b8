#pragma once

#include <QFrame>
#include <QImage>
#include <QPixmap>

namespace bootvane {

// A small image box with a thin border. It keeps the whole picture it is given (to save
// it, and for its handle) and shows it stretched to fill the box, scaled once when it is
// set so that painting costs the same whatever the picture's size.
class ImageBox : public QFrame {
    Q_OBJECT
public:
    explicit ImageBox(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return m_picture; }
    qint64 pictureHandle() const;

signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void rescale();

    QImage m_picture;
    QPixmap m_shown;
};

} // namespace bootvane
