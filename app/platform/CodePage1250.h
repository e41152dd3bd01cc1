#pragma once

#include <QByteArray>
#include <QString>

// The one place where the program's files (INI, language files, exports,
// report texts) turn from code page 1250 bytes into text and back.
namespace Pomiar::CodePage1250 {

QString Decode(const QByteArray& bytes);

// Characters the code page cannot hold become "?".
QByteArray Encode(const QString& text);

} // namespace Pomiar::CodePage1250
