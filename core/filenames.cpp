#include "filenames.h"

#include <QByteArrayView>

namespace bootvane {

namespace {

constexpr char16_t escapedByteBase = 0xdc00;

// A low surrogate with no high one before it stands for a byte; one that ends a pair is
// half of a character beyond U+FFFF (U+10080 is D800 DC80).
bool isEscapedByteAt(const QString& name, qsizetype i)
{
    const char16_t c = name[i].unicode();
    return c >= escapedByteBase + 0x80 && c <= escapedByteBase + 0xff &&
           (i == 0 || !name[i - 1].isHighSurrogate());
}

// The length of the valid UTF-8 sequence at bytes[at], or 0 where there is none: no
// overlong forms, no surrogates, nothing beyond U+10FFFF.
int sequenceLength(const QByteArray& bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return uchar(bytes[i]); };
    const uchar lead = byte(at);
    if (lead < 0x80)
        return 1;
    int length = 0;
    uchar low = 0x80, high = 0xbf; // the range the second byte must fall in
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0)
            low = 0xa0;
        if (lead == 0xed)
            high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0)
            low = 0x90;
        if (lead == 0xf4)
            high = 0x8f;
    } else {
        return 0;
    }
    if (at + length > bytes.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xbf)
            return 0;
    }
    return length;
}

// The character of the valid sequence of length bytes at bytes[at].
char32_t codePointAt(const QByteArray& bytes, qsizetype at, int length)
{
    static constexpr uchar leadBits[] = {0, 0x7f, 0x1f, 0x0f, 0x07};
    char32_t c = uchar(bytes[at]) & leadBits[length];
    for (int i = 1; i < length; ++i)
        c = (c << 6) | (uchar(bytes[at + i]) & 0x3f);
    return c;
}

bool hasEscapedByte(const QString& name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isEscapedByteAt(name, i))
            return true;
    }
    return false;
}

} // namespace

QString decodeFileName(const QByteArray& bytes)
{
    // QString::fromUtf8 would drop a byte order mark at the start: such a name goes the
    // long way too.
    if (QByteArrayView(bytes).isValidUtf8() && !bytes.startsWith("\xef\xbb\xbf"))
        return QString::fromUtf8(bytes);
    QString name;
    name.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        const int length = sequenceLength(bytes, at);
        if (length == 0) {
            name += QChar(char16_t(escapedByteBase + uchar(bytes[at])));
            ++at;
            continue;
        }
        const char32_t c = codePointAt(bytes, at, length);
        name += QStringView(QChar::fromUcs4(c));
        at += length;
    }
    return name;
}

QByteArray encodeFileName(const QString& name)
{
    if (!hasEscapedByte(name))
        return name.toUtf8();
    QByteArray bytes;
    bytes.reserve(name.size() * 3);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !isEscapedByteAt(name, i))
            continue;
        bytes += QStringView(name).mid(runStart, i - runStart).toUtf8();
        if (i < name.size())
            bytes += char(name[i].unicode() - escapedByteBase);
        runStart = i + 1;
    }
    return bytes;
}

QString displayFileName(const QString& name)
{
    return hasEscapedByte(name) ? QString::fromUtf8(encodeFileName(name)) : name;
}

} // namespace bootvane
