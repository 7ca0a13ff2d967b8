// bootvane-mkdemo <folder>: makes a Wine-style drive C with its own three screens and a
// working folder with a few sample sets, so that Bootvane can be tried without Windows 95.
//   <folder>/prefix/drive_c/logo.sys, windows/logow.sys, windows/logos.sys
//   <folder>/prefix/dosdevices/c: -> ../drive_c
//   <folder>/sets/<set>/logo.sys, logow.sys, logos.sys
// Every picture is drawn here: 320 x 400 pixels in 256 colours, the way Windows 95 keeps
// these screens and shows them stretched to 640 x 400; the Startup Screens cycle a band of
// colours. The set "Sunrise Photo" has a 1600 x 1200 JPEG photo for its Startup Screen, and
// --plain-windows leaves C:\logo.sys out, as on a Windows 95 that uses its built-in one.
// Made again, only the drive is new: the sets folder, and what the user made there, stays.

#include "builtinscreen.h"
#include "error.h"
#include "picture.h"

#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

enum class Screen { Startup, Waiting, Shutoff };

struct Theme {
    QString name;
    QColor top, middle, bottom; // the sky, from the top of the screen down
    QColor text;                // words on the Startup and Waiting screens
    QColor accent;              // words on the Shutoff screen
    std::function<void(QPainter&)> scenery;
};

const QRect canvasRect(0, 0, 640, 400);

void drawSunrise(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 230, 150, 70));
    p.drawEllipse(QPoint(320, 300), 150, 150);
    p.setBrush(QColor(255, 220, 80));
    p.drawEllipse(QPoint(320, 300), 90, 90);
    // Hills in front of the sun hide its lower half.
    QPainterPath hills(QPointF(0, 300));
    hills.cubicTo(160, 250, 260, 330, 400, 295);
    hills.cubicTo(500, 270, 580, 280, 640, 300);
    hills.lineTo(640, 400);
    hills.lineTo(0, 400);
    p.setBrush(QColor(90, 40, 60));
    p.drawPath(hills);
}

void drawNightSky(QPainter& p)
{
    QRandomGenerator stars(1995); // the same sky every time
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 220));
    for (int i = 0; i < 120; ++i)
        p.drawEllipse(QPointF(stars.bounded(640), stars.bounded(300)), 2.0, 1.5);
    QPainterPath moon;
    moon.addEllipse(QPoint(90, 240), 36, 36);
    QPainterPath shade;
    shade.addEllipse(QPoint(108, 228), 34, 34);
    p.setBrush(QColor(250, 245, 200));
    p.drawPath(moon.subtracted(shade));
    QPainterPath skyline(QPointF(0, 400));
    const int roofs[] = {330, 300, 345, 280, 320, 355, 295, 335};
    for (int i = 0; i < 8; ++i) {
        skyline.lineTo(i * 80, roofs[i]);
        skyline.lineTo(i * 80 + 80, roofs[i]);
    }
    skyline.lineTo(640, 400);
    p.setBrush(QColor(8, 8, 24));
    p.drawPath(skyline);
}

void drawOcean(QPainter& p)
{
    p.setPen(Qt::NoPen);
    const QColor waves[] = {QColor(40, 140, 190), QColor(20, 110, 170), QColor(10, 80, 140),
                            QColor(5, 50, 100)};
    for (int band = 0; band < 4; ++band) {
        const double base = 250 + band * 38;
        QPainterPath wave(QPointF(0, base));
        for (int x = 0; x <= 640; x += 8)
            wave.lineTo(x, base + 10 * std::sin(x / 40.0 + band * 1.7));
        wave.lineTo(640, 400);
        wave.lineTo(0, 400);
        p.setBrush(waves[band]);
        p.drawPath(wave);
    }
    // A sail on the horizon.
    p.setBrush(QColor(250, 250, 240));
    p.drawPolygon(QPolygonF({QPointF(150, 250), QPointF(150, 180), QPointF(200, 250)}));
    p.setBrush(QColor(120, 60, 30));
    p.drawRect(QRectF(130, 250, 80, 10));
}

// The drive's own screens: a drafting-board grid with an outline of a computer, unlike
// any of the sets, so that it is plain which screens are in use.
void drawDrive(QPainter& p)
{
    p.setPen(QPen(QColor(70, 110, 110), 1));
    for (int x = 0; x <= 640; x += 32)
        p.drawLine(x, 0, x, 400);
    for (int y = 0; y <= 400; y += 32)
        p.drawLine(0, y, 640, y);
    p.setPen(QPen(QColor(230, 230, 230), 4));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRect(240, 190, 160, 110), 8, 8);
    p.drawRect(QRect(260, 208, 120, 72));
    p.drawLine(320, 300, 320, 320);
    p.drawLine(270, 322, 370, 322);
}

const QList<Theme> setThemes = {
    {.name = QStringLiteral("Sunrise"),
     .top = QColor(60, 30, 110),
     .middle = QColor(230, 110, 80),
     .bottom = QColor(255, 200, 90),
     .text = QColor(255, 255, 255),
     .accent = QColor(255, 170, 60),
     .scenery = drawSunrise},
    {.name = QStringLiteral("Night Sky"),
     .top = QColor(5, 5, 30),
     .middle = QColor(20, 24, 70),
     .bottom = QColor(50, 60, 120),
     .text = QColor(220, 230, 255),
     .accent = QColor(250, 245, 200),
     .scenery = drawNightSky},
    {.name = QStringLiteral("Ocean"),
     .top = QColor(20, 90, 170),
     .middle = QColor(110, 190, 235),
     .bottom = QColor(60, 160, 200),
     .text = QColor(255, 255, 255),
     .accent = QColor(90, 220, 230),
     .scenery = drawOcean},
};

const Theme driveTheme = {.name = QStringLiteral("Demo drive"),
                          .top = QColor(20, 60, 60),
                          .middle = QColor(30, 80, 80),
                          .bottom = QColor(20, 60, 60),
                          .text = QColor(255, 255, 255),
                          .accent = QColor(120, 230, 150),
                          .scenery = drawDrive};

void drawText(QPainter& p, const QRect& box, const QFont& font, const QColor& colour,
              const QString& text)
{
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 160)); // a soft shadow keeps the words legible on any sky
    p.drawText(box.translated(3, 3), Qt::AlignCenter | Qt::TextWordWrap, text);
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, text);
}

// A 256-colour palette for a picture: the colours that must stay exact first, then the
// most common of the rest. Skies are drawn as smooth gradients of a few hundred colours,
// so the most common ones are spread evenly along them.
QList<QRgb> paletteFor(const QImage& picture, QList<QRgb> palette, int size = 256)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < picture.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            ++counts[line[x] | 0xff000000];
    }
    QList<QPair<int, QRgb>> byCount;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        byCount.append({it.value(), it.key()});
    std::sort(byCount.begin(), byCount.end(), std::greater<>());
    for (const auto& [count, colour] : byCount) {
        if (palette.size() == size)
            break;
        if (!palette.contains(colour))
            palette.append(colour);
    }
    return palette;
}

// The scene of one screen, drawn on a canvas of 640 x 400 units however large the picture.
QImage drawCanvas(const Theme& theme, Screen screen, QSize size)
{
    QImage canvas(size, QImage::Format_RGB32);
    QPainter p(&canvas);
    p.scale(double(size.width()) / canvasRect.width(), double(size.height()) / canvasRect.height());
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 400);
    sky.setColorAt(0, theme.top);
    sky.setColorAt(0.6, theme.middle);
    sky.setColorAt(1, theme.bottom);
    p.fillRect(canvasRect, sky);
    theme.scenery(p);
    // The scene dims as the computer goes down.
    if (screen == Screen::Waiting)
        p.fillRect(canvasRect, QColor(0, 0, 0, 120));
    if (screen == Screen::Shutoff)
        p.fillRect(canvasRect, QColor(0, 0, 0, 200));

    const QRect middle(40, 110, 560, 120);
    switch (screen) {
    case Screen::Startup:
        drawText(p, QRect(0, 60, 640, 90), bootvane::screenTextFont(64, true), theme.text,
                 QStringLiteral("Bootvane demo"));
        drawText(p, QRect(0, 140, 640, 50), bootvane::screenTextFont(30, false), theme.text,
                 theme.name);
        drawText(p, QRect(0, 340, 640, 50), bootvane::screenTextFont(26, true), theme.text,
                 QStringLiteral("Starting up..."));
        break;
    case Screen::Waiting:
        drawText(p, middle, bootvane::screenTextFont(34, true), theme.text,
                 QStringLiteral("Please wait while your computer shuts down"));
        break;
    case Screen::Shutoff:
        drawText(p, middle, bootvane::screenTextFont(40, true), theme.accent,
                 QStringLiteral("It is now safe to turn off your computer"));
        break;
    }
    if (screen != Screen::Startup)
        drawText(p, QRect(0, 350, 630, 40), bootvane::screenTextFont(20, false), theme.text,
                 QStringLiteral("Bootvane demo \u2013 ") + theme.name);
    p.end();
    return canvas;
}

// Windows 95 animates the Startup Screen by rotating the palette from the entry that
// biClrImportant names up to 255: here a rainbow band along the bottom, of the last 20.
constexpr int firstCyclingEntry = 236;
constexpr int bandHeight = 12;

void addCyclingBand(QImage& screen)
{
    QList<QRgb> palette = screen.colorTable();
    palette.resize(firstCyclingEntry);
    for (int i = 0; i < 256 - firstCyclingEntry; ++i)
        palette.append(QColor::fromHsv(i * 360 / (256 - firstCyclingEntry), 220, 255).rgb());
    screen.setColorTable(palette);
    for (int y = screen.height() - bandHeight; y < screen.height(); ++y) {
        uchar* line = screen.scanLine(y);
        for (int x = 0; x < screen.width(); ++x)
            line[x] = uchar(firstCyclingEntry + (x / 16) % (256 - firstCyclingEntry));
    }
    screen.setText(QLatin1String(bootvane::bmpImportantColoursKey),
                   QString::number(firstCyclingEntry));
}

QImage drawScreen(const Theme& theme, Screen screen)
{
    const QImage stored = drawCanvas(theme, screen, canvasRect.size())
                              .scaled(320, 400, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QList<QRgb> exact = {theme.text.rgb(), theme.accent.rgb(), qRgb(0, 0, 0)};
    const bool cycles = screen == Screen::Startup;
    QImage indexed = stored.convertToFormat(
        QImage::Format_Indexed8, paletteFor(stored, exact, cycles ? firstCyclingEntry : 256));
    if (cycles)
        addCyclingBand(indexed);
    return indexed;
}

// A large true-colour photo of the scene, 4:3, as a camera or a paint program would give
// it: Bootvane converts it to a screen when it is applied.
void writePhoto(const Theme& theme, const fs::path& file)
{
    const QImage photo = drawCanvas(theme, Screen::Startup, QSize(1600, 1200));
    if (!photo.save(QString::fromStdString(file.string()), "JPG", 90))
        bootvane::fail(QStringLiteral("write the photo"), QString::fromStdString(file.string()),
                       QStringLiteral("the JPEG writer failed"));
}

// The screens of one theme in slot order: Startup, Waiting, Shutoff.
void writeScreens(const Theme& theme, const fs::path (&files)[3])
{
    const Screen screens[] = {Screen::Startup, Screen::Waiting, Screen::Shutoff};
    for (int slot = 0; slot < 3; ++slot)
        bootvane::savePicture(drawScreen(theme, screens[slot]),
                              QString::fromStdString(files[slot].string()));
}

// Clears the drive of a folder this tool made before, and refuses one that holds anything
// else. The working folder stays: the user may have made sets of their own there.
void clearDemoDrive(const fs::path& folder)
{
    if (!fs::exists(fs::symlink_status(folder))) {
        fs::create_directories(folder);
        return;
    }
    const QString path = QString::fromStdString(folder.string());
    if (!fs::is_directory(fs::symlink_status(folder)))
        bootvane::fail(QStringLiteral("make a demo drive in"), path,
                       QStringLiteral("it is not a folder"));
    for (const auto& entry : fs::directory_iterator(folder)) {
        const auto name = entry.path().filename();
        if (name != "prefix" && name != "sets")
            bootvane::fail(QStringLiteral("make a demo drive in"), path,
                           QStringLiteral("it holds \"%1\", which this tool did not make")
                               .arg(QString::fromStdString(name.string())));
    }
    // remove_all deletes the c: link itself, never what it points to.
    fs::remove_all(folder / "prefix");
}

// plainWindows leaves out C:\logo.sys, as on a Windows 95 that uses its built-in picture.
void makeDemo(const fs::path& folder, bool plainWindows)
{
    clearDemoDrive(folder);
    const fs::path driveC = folder / "prefix" / "drive_c";
    fs::create_directories(driveC / "windows");
    fs::create_directories(folder / "prefix" / "dosdevices");
    fs::create_directory_symlink("../drive_c", folder / "prefix" / "dosdevices" / "c:");
    writeScreens(driveTheme, {driveC / "logo.sys", driveC / "windows" / "logow.sys",
                              driveC / "windows" / "logos.sys"});
    if (plainWindows)
        fs::remove(driveC / "logo.sys");
    if (fs::exists(fs::symlink_status(folder / "sets")))
        return;
    for (const Theme& theme : setThemes) {
        const fs::path set = folder / "sets" / theme.name.toStdString();
        fs::create_directories(set);
        writeScreens(theme, {set / "logo.sys", set / "logow.sys", set / "logos.sys"});
    }
    // One set whose Startup Screen is a photo Windows 95 could not show as it is.
    const fs::path photoSet = folder / "sets" / "Sunrise Photo";
    fs::create_directories(photoSet);
    writeScreens(setThemes[0],
                 {photoSet / "logo.sys", photoSet / "logow.sys", photoSet / "logos.sys"});
    writePhoto(setThemes[0], photoSet / "logo.sys");
}

} // namespace

int main(int argc, char* argv[])
{
    // Text is drawn with the system's fonts, which need a platform, but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const bool plainWindows = args.contains(QStringLiteral("--plain-windows"));
    if (args.size() != 1 + int(plainWindows) || args.last().startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr,
                     "Usage: bootvane-mkdemo [--plain-windows] <folder>\n"
                     "Makes <folder>/prefix, a Wine prefix whose drive C holds three screens, "
                     "and <folder>/sets, a working folder with sample sets.\n"
                     "  --plain-windows  leave out C:\\logo.sys, as on a Windows 95 that shows "
                     "its built-in start-up picture\n");
        return 2;
    }
    const fs::path folder = fs::absolute(QFile::encodeName(args.last()).toStdString());
    try {
        makeDemo(folder, plainWindows);
    } catch (const bootvane::Error& error) {
        std::fprintf(stderr, "bootvane-mkdemo: %s\n", qPrintable(error.message()));
        return 1;
    } catch (const fs::filesystem_error& error) {
        std::fprintf(stderr, "bootvane-mkdemo: %s\n", error.what());
        return 1;
    }
    std::printf("Made a demo drive in %s: start Bootvane in its folder \"sets\" with "
                "WINEPREFIX=%s/prefix\n",
                folder.c_str(), folder.c_str());
    return 0;
}
