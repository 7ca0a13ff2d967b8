// Writes the seed inputs of every fuzz target into the folder it is given, one folder per
// target: small files of each kind Bootvane reads, made here so that they follow the code
// that reads them. The BMP suite in tests/data seeds the picture target besides these.

#include "picture.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>
#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <vector>
#include <zip.h>

using namespace bootvane;

namespace {

QString outputFolder;

void write(const char* target, const char* name, const QByteArray& bytes)
{
    const QString folder = outputFolder + QLatin1Char('/') + QLatin1String(target);
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(file.fileName()),
                     qPrintable(file.errorString()));
        std::exit(1);
    }
}

void put16(QByteArray& bytes, qsizetype at, quint16 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

void put32(QByteArray& bytes, qsizetype at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

void place(QByteArray& bytes, qsizetype at, QByteArrayView text)
{
    std::copy(text.begin(), text.end(), bytes.begin() + at);
}

// ---- Pictures

QImage screen(int colours)
{
    QImage picture(320, 400, QImage::Format_Indexed8);
    QList<QRgb> palette;
    for (int i = 0; i < colours; ++i)
        palette.append(qRgb(i, 255 - i, (i * 7) & 0xff));
    picture.setColorTable(palette);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            picture.scanLine(y)[x] = uchar((x / 8 + y / 8) % colours);
    }
    return picture;
}

// A BMP with Windows' header, the given palette entries and pixel bytes as they are.
QByteArray windowsBmp(int width, int height, int bits, quint32 compression, int paletteSize,
                      quint32 coloursUsed, const QByteArray& pixels)
{
    QByteArray bytes(54 + 4 * paletteSize, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(bytes, 2, quint32(bytes.size() + pixels.size()));
    put32(bytes, 10, quint32(bytes.size()));
    put32(bytes, 14, 40);
    put32(bytes, 18, quint32(width));
    put32(bytes, 22, quint32(height));
    put16(bytes, 26, 1);
    put16(bytes, 28, quint16(bits));
    put32(bytes, 30, compression);
    put32(bytes, 34, quint32(pixels.size()));
    put32(bytes, 46, coloursUsed);
    put32(bytes, 50, 16);
    for (int i = 0; i < paletteSize; ++i)
        put32(bytes, 54 + 4 * i, quint32(i * 0x010305));
    return bytes + pixels;
}

QByteArray runLengthCode(bool fourBits)
{
    QByteArray code;
    for (int y = 0; y < 400; ++y) {
        if (y == 100) { // a jump right and up
            code.append("\x00\x02\x10\x05", 4);
            y += 5;
        }
        code.append(char(200));
        code.append(char(fourBits ? 0x12 : y % 16));
        code.append("\x00\x04", 2); // four pixels one by one, padded
        code.append(fourBits ? "\x34\x56\x00\x00" : "\x01\x02\x03\x04", 4);
        code.append("\x00\x00", 2);
    }
    code.append("\x00\x01", 2);
    return code;
}

QByteArray os2Bmp()
{
    const int paletteSize = 256;
    QByteArray bytes(26 + 3 * paletteSize, '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(bytes, 10, quint32(bytes.size()));
    put32(bytes, 14, 12);
    put16(bytes, 18, 320);
    put16(bytes, 20, 400);
    put16(bytes, 22, 1);
    put16(bytes, 24, 8);
    for (int i = 0; i < 3 * paletteSize; ++i)
        bytes[26 + i] = char(i);
    QByteArray pixels(320 * 400, '\0');
    for (qsizetype i = 0; i < pixels.size(); ++i)
        pixels[i] = char(i / 320 % 256);
    put32(bytes, 2, quint32(bytes.size() + pixels.size()));
    return bytes + pixels;
}

QByteArray encoded(const QImage& picture, const char* format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, format);
    writer.setQuality(10);
    writer.setProgressiveScanWrite(progressive);
    writer.write(picture);
    return bytes;
}

void pictureSeeds()
{
    write("picture", "plain-screen.bmp", encodeBmp(screen(256)));
    QImage cycling = screen(240);
    cycling.setText(QLatin1String(bmpImportantColoursKey), QStringLiteral("20"));
    write("picture", "plain-screen-cycling.bmp", encodeBmp(cycling));
    write("picture", "os2-screen.bmp", os2Bmp());
    write("picture", "rle8-screen.bmp", windowsBmp(320, 400, 8, 1, 256, 0, runLengthCode(false)));
    write("picture", "rle4-screen.bmp", windowsBmp(320, 400, 4, 2, 16, 0, runLengthCode(true)));
    // A palette declared whole with room for 16 entries before the pixels.
    write("picture", "palette-into-pixels.bmp",
          windowsBmp(320, 400, 8, 0, 16, 256, QByteArray(320 * 400, '\x05')));
    write("picture", "small-4bit.bmp", windowsBmp(8, 2, 4, 0, 16, 0, QByteArray(8, '\x12')));
    write("picture", "screen.png", encoded(screen(16), "PNG"));
    const QImage photo = screen(64).convertToFormat(QImage::Format_RGB32);
    write("picture", "photo.jpg", encoded(photo, "JPG"));
    write("picture", "photo-progressive.jpg", encoded(photo, "JPG", true));
}

// ---- Disk images

QByteArray bootSector(int fatBits, const char* label)
{
    QByteArray sector(512, '\0');
    place(sector, 0, "\xeb\x3c\x90MSWIN4.1");
    put16(sector, 11, 512);
    put16(sector, 24, 63);
    put16(sector, 26, 16);
    sector[16] = 2;
    sector[21] = char(0xf8);
    qsizetype extended = 36;
    if (fatBits == 12) { // a 1.44 MB floppy
        sector[13] = 1;
        put16(sector, 14, 1);
        put16(sector, 17, 224);
        put16(sector, 19, 2880);
        sector[21] = char(0xf0);
        put16(sector, 22, 9);
    } else if (fatBits == 16) {
        sector[13] = 4;
        put16(sector, 14, 4);
        put16(sector, 17, 512);
        put32(sector, 32, 200000);
        put16(sector, 22, 200);
    } else {
        sector[0x02] = char(0x90);
        sector[1] = 0x58;
        sector[13] = 8;
        put16(sector, 14, 32);
        put32(sector, 32, 1000000);
        put32(sector, 36, 1000);
        put32(sector, 44, 2);
        extended = 64;
    }
    sector[extended] = char(0x80);
    sector[extended + 2] = 0x29;
    put32(sector, extended + 3, 0x1234abcd);
    place(sector, extended + 7, QByteArray(label).leftJustified(11, ' '));
    place(sector, extended + 18,
          fatBits == 32   ? "FAT32   "
          : fatBits == 16 ? "FAT16   "
                          : "FAT12   ");
    sector[510] = 0x55;
    sector[511] = char(0xaa);
    return sector;
}

// The smallest FAT volume, eight sectors of FAT12: an image must hold the whole file system
// its boot sector announces, and a FAT16 one takes two megabytes at least.
QByteArray tinyVolume(const char* label)
{
    QByteArray sector = bootSector(12, label);
    sector[13] = 1;
    put16(sector, 14, 1);
    sector[16] = 1;
    put16(sector, 17, 16);
    put16(sector, 19, 8);
    sector[21] = char(0xf8);
    put16(sector, 22, 1);
    return sector + QByteArray(7 * 512, '\0');
}

struct Partition {
    uchar status;
    uchar type;
    quint32 start;
    quint32 sectors = 8;
};

QByteArray mbr(std::initializer_list<Partition> partitions)
{
    QByteArray sector(512, '\0');
    place(sector, 0, "\xfa\x33\xc0");
    int i = 0;
    for (const Partition& partition : partitions) {
        const qsizetype entry = 446 + 16 * i++;
        sector[entry] = char(partition.status);
        sector[entry + 4] = char(partition.type);
        put32(sector, entry + 8, partition.start);
        put32(sector, entry + 12, partition.sectors);
    }
    sector[510] = 0x55;
    sector[511] = char(0xaa);
    return sector;
}

QByteArray vhdFooter(quint32 diskType)
{
    QByteArray footer(512, '\0');
    place(footer, 0, "conectix");
    qToBigEndian(diskType, footer.data() + 60);
    return footer;
}

QByteArray head(const QByteArray& magic, qsizetype at = 0)
{
    QByteArray sector(512, '\0');
    place(sector, at, magic);
    return sector;
}

void diskImageSeeds()
{
    write("diskimage", "bare-fat12.img", bootSector(12, "BOOTVANE"));
    write("diskimage", "bare-fat16.img", bootSector(16, "NO NAME"));
    write("diskimage", "bare-fat32.img", bootSector(32, "DRIVE C"));
    write("diskimage", "mbr-fat16.img", mbr({{0x80, 0x06, 1}}) + bootSector(16, "C"));
    write("diskimage", "mbr-fat32-lba.img", mbr({{0x80, 0x0c, 1}}) + bootSector(32, "C"));
    write("diskimage", "mbr-hidden-fat16.img", mbr({{0x00, 0x16, 1}}) + bootSector(16, ""));
    write("diskimage", "bare-tiny-fat12.img", tinyVolume("BOOTVANE"));
    write("diskimage", "mbr-tiny-fat12.img", mbr({{0x80, 0x01, 1}}) + tinyVolume("C"));
    write("diskimage", "mbr-second-active.img",
          mbr({{0x00, 0x01, 1}, {0x80, 0x04, 9}}) + tinyVolume("D") + tinyVolume("C"));
    write("diskimage", "mbr-beyond-end.img", mbr({{0x80, 0x06, 4096}}));
    write("diskimage", "mbr-not-fat.img", mbr({{0x80, 0x06, 1}}) + QByteArray(512, '\0'));
    write("diskimage", "mbr-ntfs.img", mbr({{0x80, 0x07, 1}}));
    write("diskimage", "mbr-gpt.img", mbr({{0x00, 0xee, 1}}) + head("EFI PART"));
    write("diskimage", "fixed-vhd.img", mbr({{0x80, 0x06, 1}}) + tinyVolume("C") + vhdFooter(2));
    write("diskimage", "dynamic-vhd.img", vhdFooter(3) + QByteArray(512, '\0') + vhdFooter(3));
    write("diskimage", "bare-ntfs.img", head("\xeb\x52\x90NTFS    "));
    write("diskimage", "qcow2.img", head("QFI\xfb"));
    // A version 3 qcow2 overlay: its base's name at 512, its format in a header extension.
    QByteArray overlay = head(QByteArray("QFI\xfb\0\0\0\x03", 8)) + "base.img";
    qToBigEndian<quint64>(512, overlay.data() + 8);
    qToBigEndian<quint32>(8, overlay.data() + 16);
    qToBigEndian<quint32>(104, overlay.data() + 100);
    place(overlay, 104, QByteArray("\xe2\x79\x2a\xca\0\0\0\x03raw", 11));
    write("diskimage", "qcow2-overlay.img", overlay);
    write("diskimage", "differencing-vhd.img", vhdFooter(4) + QByteArray(512, '\0'));
    write("diskimage", "vmdk.img", head("KDMV"));
    write("diskimage", "vmdk-descriptor.img",
          "# Disk DescriptorFile\nversion=1\ncreateType=\"twoGbMaxExtentFlat\"\n"
          "RW 4192256 FLAT \"win95-f001.vmdk\" 0\nRW 2048 ZERO\n" +
              QByteArray(512, '\n'));
    QByteArray vdi = head("<<< Oracle VM VirtualBox Disk Image >>>");
    put32(vdi, 0x40, 0xbeda107fu);
    write("diskimage", "vdi.img", vdi);
    write("diskimage", "vhdx.img", head("vhdxfile"));
    QByteArray hdi = head("");
    put32(hdi, 8, 4096);
    put32(hdi, 16, 512);
    write("diskimage", "hdi.img", hdi);
    write("diskimage", "hdi-fat12.img", hdi.leftJustified(4096, '\0') + tinyVolume("C"));
    write("diskimage", "hdx.img", head("YTDD \xa8x\xd7"));
    write("diskimage", "hdx-mbr.img",
          head("YTDD \xa8x\xd7").left(40) + mbr({{0x80, 0x01, 1}}) + tinyVolume("C"));
    write("diskimage", "short.img", QByteArray(100, '\xeb'));
}

// ---- MSDOS.SYS

void msdosSysSeeds()
{
    const QByteArray padding =
        ";\r\n;The following lines are required for compatibility with other programs.\r\n"
        ";Do not remove them (MSDOS.SYS needs to be >1024 bytes).\r\n" +
        QByteArray(";") + QByteArray(68, 'x') + "a\r\n";
    write("msdossys", "windows95.sys",
          "[Paths]\r\nWinDir=C:\\WINDOWS\r\nWinBootDir=C:\\WINDOWS\r\nHostWinBootDrv=C\r\n\r\n"
          "[Options]\r\nBootMulti=1\r\nBootGUI=1\r\nNetwork=0\r\n" +
              padding);
    write("msdossys", "windows98-logo-off.sys",
          "[Paths]\r\nWinDir=C:\\WINDOWS\r\n[Options]\r\nBootGUI=1\r\nLogo=0\r\n"
          "WinVer=4.10.1998\r\n" +
              padding);
    write("msdossys", "windows-me.sys", "[options]\nwinver = 4.90.3000\nlogo=1\nLogo=0\n");
    write("msdossys", "options-elsewhere.sys", "[Paths]\nLogo=0\nWinVer=4.10\n[Other]\nLogo=0\n");
    write("msdossys", "io-sys-stub.sys", QByteArray("\x4d\x5a\x90\x00", 4) + QByteArray(60, '\0'));
}

// ---- What mtools prints

void mtoolsSeeds()
{
    // What mdir -a -f -w prints, in the C locale.
    const QByteArray volume =
        " Volume in drive : is DRIVE_C    \n Volume Serial Number is 60AE-EBC8\n";
    write("mtools", "mdir-two-folders.txt",
          volume + "Directory for ::/\n\n[WINDOWS]       LOGO.SYS       \n"
                   "        2 files                   7 bytes\n\nDirectory for ::/WINDOWS\n\n"
                   "[.]             [..]            LOGOW.SYS       LOGOS.SYS      \n"
                   "        4 files                  14 bytes\n\nTotal files listed:\n"
                   "        6 files                  21 bytes\n");
    // A long name is never printed: this one holds a line break, which would make a line.
    write("mtools", "mdir-long-name-with-a-line-break.txt",
          volume + "Directory for ::/\n\n[WINDOWS]       LOGO.SYS       \n"
                   "        2 files                   7 bytes\n\nDirectory for ::/WINDOWS\n\n"
                   "[.]             [..]            LOGOW.SYS       LOGOS.SYS       AQLOGO~1  "
                   "     \n        5 files                  26 bytes\n\nTotal files listed:\n"
                   "        7 files                  33 bytes\n");
    write("mtools", "mdir-a-folder-of-a-temporary-name-on-two-lines.txt",
          " Volume in drive : has no label\n Volume Serial Number is 6152-EBC1\n"
          "Directory for ::/WINDOWS\n\n"
          "[.]             [..]            LOGOW.SYS       F1.TXT          [LOGOW.BVN]    \n"
          "F3.TXT          F4.TXT          F5.TXT          F6.TXT         \n"
          "        9 files                  49 bytes\n");
    write("mtools", "mdir-empty.txt",
          volume + "Directory for ::/\n\nNo files\n\nDirectory for ::/WINDOWS\n\n"
                   "[.]             [..]           \n        2 files                   0 bytes\n\n"
                   "Total files listed:\n        2 files                   0 bytes\n");
    // Names looked up as patterns: one part for each folder in which something answered. Where
    // some name found nothing, the last part ends with its last cell, and no count follows.
    write("mtools", "mdir-lookup-clash.txt",
          volume + "Directory for ::/\n\nLOGO.SYS        LOGO~1.SYS      [WINDOWS]      \n"
                   "        3 files                   9 bytes\n\nDirectory for ::/WINDOWS\n\n"
                   "LOGOW.SYS       LOGOS.SYS      \n        2 files                  14 bytes\n\n"
                   "Total files listed:\n        5 files                  23 bytes\n");
    write("mtools", "mdir-lookup-cut-short.txt",
          volume + "Directory for ::/\n\nLOGO.SYS        [WINDOWS]      ");
    write("mtools", "mattrib-hidden.txt", "  A   HR     ::/LOGO.SYS\n");
    write("mtools", "mattrib-none.txt", "             ::/WINDOWS/LOGOW.SYS\n");
}

// ---- Raw file names

void fileNameSeeds()
{
    write("filenames", "ascii", "Originals");
    write("filenames", "utf8", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x96\xbc");
    write("filenames", "latin1", "caf\xe9");
    write("filenames", "byte-order-mark",
          "\xef\xbb\xbf"
          "bom");
    write("filenames", "encoded-surrogate", "a\xed\xb2\x80z");
    write("filenames", "after-bmp", "\xf0\x90\x82\x80\x80");
    write("filenames", "overlong", "\xc0\xaf\xe0\x80\xaf");
    write("filenames", "cut-short", "x\xe2\x82");
    write("filenames", "beyond-unicode", "\xf4\x90\x80\x80\xf8");
}

// ---- Sets shared as zips

struct ZipEntry {
    const char* name;
    QByteArray bytes;
    bool deflated = false;
    quint32 unixMode = 0; // S_IFLNK | 0777 for a link; 0 for none
    bool encrypted = false;
};

[[noreturn]] void zipFailed(const char* what, zip_error_t* error)
{
    std::fprintf(stderr, "zip seeds: %s: %s\n", what, zip_error_strerror(error));
    std::exit(1);
}

// The zip libzip writes of the entries, in memory.
QByteArray zipOf(const std::vector<ZipEntry>& entries)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = buffer ? zip_open_from_source(buffer, ZIP_TRUNCATE, &error) : nullptr;
    if (!archive)
        zipFailed("open", &error);
    zip_source_keep(buffer);
    for (const ZipEntry& entry : entries) {
        zip_source_t* source = zip_source_buffer(archive, entry.bytes.constData(),
                                                 zip_uint64_t(entry.bytes.size()), 0);
        const zip_int64_t index = zip_file_add(archive, entry.name, source, ZIP_FL_ENC_UTF_8);
        if (index < 0)
            zipFailed(entry.name, zip_get_error(archive));
        zip_set_file_compression(archive, zip_uint64_t(index),
                                 entry.deflated ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
        if (entry.unixMode != 0)
            zip_file_set_external_attributes(archive, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                                             entry.unixMode << 16);
        if (entry.encrypted &&
            zip_file_set_encryption(archive, zip_uint64_t(index), ZIP_EM_TRAD_PKWARE, "set") != 0)
            zipFailed(entry.name, zip_get_error(archive));
    }
    if (zip_close(archive) != 0)
        zipFailed("close", zip_get_error(archive));
    zip_source_open(buffer);
    zip_source_seek(buffer, 0, SEEK_END);
    QByteArray bytes(qsizetype(zip_source_tell(buffer)), '\0');
    zip_source_seek(buffer, 0, SEEK_SET);
    zip_source_read(buffer, bytes.data(), zip_uint64_t(bytes.size()));
    zip_source_close(buffer);
    zip_source_free(buffer);
    return bytes;
}

void zipSeeds()
{
    // Small stand-ins for the screens: the archive's checks never look inside them.
    const QByteArray screen = QByteArray("BM") + QByteArray(64, '\x11');
    write("setarchive", "top-level.zip",
          zipOf({{"logo.sys", screen}, {"logow.sys", screen}, {"logos.sys", screen}}));
    write("setarchive", "in-a-folder-deflated.zip",
          zipOf({{"Sunset/", {}},
                 {"Sunset/LOGO.SYS", screen, true},
                 {"Sunset/LOGOW.SYS", screen, true},
                 {"Sunset/LOGOS.SYS", screen, true},
                 {"Sunset/readme.txt", "A set", true}}));
    write("setarchive", "as-on-drive-c.zip",
          zipOf({{"LOGO.SYS", screen},
                 {"WINDOWS/", {}},
                 {"WINDOWS/LOGOW.SYS", screen},
                 {"WINDOWS/LOGOS.SYS", screen}}));
    write("setarchive", "climbs-out.zip",
          zipOf({{"../logo.sys", screen}, {"logow.sys", screen}, {"logos.sys", screen}}));
    write("setarchive", "absolute.zip",
          zipOf({{"/logo.sys", screen}, {"C:\\logow.sys", screen}, {"logos.sys", screen}}));
    write("setarchive", "link.zip",
          zipOf({{"logo.sys", "/etc/passwd", false, S_IFLNK | 0777},
                 {"logow.sys", screen},
                 {"logos.sys", screen, false, S_IFREG | 0644}}));
    write(
        "setarchive", "encrypted.zip",
        zipOf({{"logo.sys", screen, true, 0, true}, {"logow.sys", screen}, {"logos.sys", screen}}));
    write("setarchive", "found-twice.zip",
          zipOf({{"logo.sys", screen},
                 {"a/LOGO.SYS", screen},
                 {"logow.sys", screen},
                 {"logos.sys", screen}}));
    write("setarchive", "one-missing.zip", zipOf({{"logo.sys", screen}, {"logow.sys", screen}}));
    std::vector<ZipEntry> many;
    static const QByteArrayList names = [] {
        QByteArrayList list;
        for (int i = 0; i < 70; ++i)
            list.append("file" + QByteArray::number(i) + ".txt");
        return list;
    }();
    for (const QByteArray& name : names)
        many.push_back({name.constData(), "x"});
    write("setarchive", "too-many-entries.zip", zipOf(many));
    // A deflated screen over the largest a set may hold, from a few kilobytes.
    write("setarchive", "too-large.zip",
          zipOf({{"logo.sys", QByteArray(17 * 1024 * 1024, '\0'), true},
                 {"logow.sys", screen},
                 {"logos.sys", screen}}));
    // The sizes of a deflated screen lowered in both headers: it unpacks to more than they say.
    QByteArray liar = zipOf(
        {{"logo.sys", QByteArray(1000, 'a'), true}, {"logow.sys", screen}, {"logos.sys", screen}});
    put32(liar, 22, 100);
    const qsizetype central = liar.indexOf("PK\x01\x02");
    put32(liar, central + 24, 100);
    write("setarchive", "unpacks-to-more.zip", liar);
    write("setarchive", "cut-short.zip",
          zipOf({{"logo.sys", screen}, {"logow.sys", screen}, {"logos.sys", screen}}).chopped(40));
}

// The BMP suite's files, as picture/bmpsuite-GROUP-NAME.
void bmpSuiteSeeds(const QString& suite)
{
    QDirIterator files(suite, {QStringLiteral("*.bmp")}, QDir::Files, QDirIterator::Subdirectories);
    int copied = 0;
    while (files.hasNext()) {
        const QFileInfo file(files.next());
        QFile bmp(file.filePath());
        if (!bmp.open(QIODevice::ReadOnly))
            continue;
        const QString name =
            QStringLiteral("bmpsuite-%1-%2").arg(file.dir().dirName(), file.fileName());
        write("picture", qPrintable(name), bmp.readAll());
        ++copied;
    }
    if (copied == 0) {
        std::fprintf(stderr, "%s: no BMP files\n", qPrintable(suite));
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER BMPSUITE\n", argv[0]);
        return 2;
    }
    outputFolder = QString::fromLocal8Bit(argv[1]);
    bmpSuiteSeeds(QString::fromLocal8Bit(argv[2]));
    pictureSeeds();
    diskImageSeeds();
    msdosSysSeeds();
    mtoolsSeeds();
    fileNameSeeds();
    zipSeeds();
    return 0;
}
