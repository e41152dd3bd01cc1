#include "CodePage1250.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <optional>

namespace Pomiar::CodePage1250 {

namespace {

// The upper half of the code page. The five bytes the code page leaves
// undefined map to the control characters of the same number, as the
// system's converter does, so that they survive a round trip.
constexpr std::array<char16_t, 128> upperHalf = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, 0x0088, 0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

constexpr char byteOrderMark[] = "\xEF\xBB\xBF";

// Text files hold no control characters but line ends, tabs, form feeds and
// the end-of-file mark of old editors.
bool isTextByte(unsigned char code) {
    if (code < 0x20)
        return code == '\t' || code == '\n' || code == '\r' || code == '\f' || code == 0x1A;
    return code != 0x7F;
}

bool isCodePageText(const QByteArray& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char byte) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x80)
            return isTextByte(code);
        // The five bytes the code page leaves undefined.
        return code != 0x81 && code != 0x83 && code != 0x88 && code != 0x90 && code != 0x98;
    });
}

bool isAscii(const QByteArray& bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
}

// The text when bytes are valid UTF-8 without control characters.
std::optional<QString> utf8Text(QByteArrayView bytes) {
    for (const char byte : bytes) {
        if (static_cast<unsigned char>(byte) < 0x80 &&
            !isTextByte(static_cast<unsigned char>(byte)))
            return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

FileText DecodeFile(const QByteArray& bytes) {
    if (bytes.startsWith(byteOrderMark)) {
        const std::optional<QString> text = utf8Text(QByteArrayView(bytes).sliced(3));
        if (text)
            return {*text, FileEncoding::Utf8WithBom, true};
        return {Decode(bytes.mid(3)), FileEncoding::Utf8WithBom, false};
    }
    if (!isAscii(bytes)) {
        if (const std::optional<QString> text = utf8Text(bytes))
            return {*text, FileEncoding::Utf8, true};
    }
    return {Decode(bytes), FileEncoding::CodePage1250, isCodePageText(bytes)};
}

QByteArray EncodeFile(const QString& text, FileEncoding encoding) {
    switch (encoding) {
    case FileEncoding::Utf8:
        return text.toUtf8();
    case FileEncoding::Utf8WithBom:
        return byteOrderMark + text.toUtf8();
    case FileEncoding::CodePage1250:
        break;
    }
    return Encode(text);
}

QString Decode(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        text.append(code < 0x80 ? QChar(code) : QChar(upperHalf[code - 0x80]));
    }
    return text;
}

QByteArray Encode(const QString& text) {
    // One byte for each UTF-16 unit, written in place: an export passes
    // megabytes through here.
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    for (const QChar character : text) {
        const char16_t code = character.unicode();
        if (code < 0x80) {
            *out++ = static_cast<char>(code);
            continue;
        }
        char mapped = '?';
        for (size_t i = 0; i < upperHalf.size(); ++i) {
            if (upperHalf[i] == code) {
                mapped = static_cast<char>(0x80 + i);
                break;
            }
        }
        *out++ = mapped;
    }
    return bytes;
}

} // namespace Pomiar::CodePage1250
