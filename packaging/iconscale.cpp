// Writes the program's 32 x 32 pixel-art icon at the sizes of a desktop's icon theme, as
// OUTDIR/<size>x<size>/apps/bootvane.png. Every pixel takes the colour of the icon pixel under
// its centre: smooth scaling would blur the hard edges that pixel art is drawn with.

#include <QDir>
#include <QImage>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s ICON OUTDIR SIZE...\n", argv[0]);
        return 2;
    }
    const QImage icon =
        QImage(QString::fromLocal8Bit(argv[1])).convertToFormat(QImage::Format_ARGB32);
    if (icon.isNull()) {
        std::fprintf(stderr, "%s: cannot read the icon %s\n", argv[0], argv[1]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "%s: %s is no size in pixels\n", argv[0], argv[i]);
            return 2;
        }
        QImage scaled(size, size, QImage::Format_ARGB32);
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x)
                scaled.setPixel(x, y,
                                icon.pixel((2 * x + 1) * icon.width() / (2 * size),
                                           (2 * y + 1) * icon.height() / (2 * size)));
        }
        const QString folder =
            QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        if (!QDir().mkpath(folder) || !scaled.save(folder + QStringLiteral("/bootvane.png"))) {
            std::fprintf(stderr, "%s: cannot write %s/bootvane.png\n", argv[0], qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
