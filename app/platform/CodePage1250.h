#pragma once

#include <QByteArray>
#include <QString>

// The one place where the program's files (INI, language files, exports,
// report texts) turn from code page 1250 bytes into text and back.
namespace Pomiar::CodePage1250 {

QString Decode(const QByteArray& bytes);

// Characters the code page cannot hold become "?".
QByteArray Encode(const QString& text);

// How a text file of the program is kept on disk. Files are code page 1250
// as designed; a file saved by a text editor as UTF-8 is read and written
// back as UTF-8, with its byte order mark when it had one.
enum class FileEncoding { CodePage1250, Utf8, Utf8WithBom };

struct FileText {
    QString text;
    FileEncoding encoding = FileEncoding::CodePage1250;
    // False when the bytes are text in neither encoding (bytes the code page
    // leaves undefined, control characters such as the NULs of UTF-16); the
    // text is then the code page's reading of them.
    bool valid = true;
};

// UTF-8 when the bytes start with a byte order mark, or are valid UTF-8 and
// hold characters beyond ASCII; otherwise code page 1250.
FileText DecodeFile(const QByteArray& bytes);
QByteArray EncodeFile(const QString& text, FileEncoding encoding);

} // namespace Pomiar::CodePage1250
