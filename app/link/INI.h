#pragma once

#include <QString>

// Reading and writing the program's INI files (settings, language files).
// Section and key names match without regard to case and to blanks around
// them; files are code page 1250 on disk.
namespace Pomiar::INI {

// The value of key in section, or defaultValue when the file, the section
// or the key is missing, or when the value has 999 characters or more.
QString CzytajIni(const QString& path, const QString& section, const QString& key,
                  const QString& defaultValue);

// Stores value under section and key, creating the file, section and key as
// needed and keeping every other line of the file as it was. Answers whether
// the file was written.
bool ZapiszIni(const QString& path, const QString& section, const QString& key,
               const QString& value);

} // namespace Pomiar::INI
