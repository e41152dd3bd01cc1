#pragma once

#include <QString>

// Reading and writing the program's INI files (settings, language files).
// Section and key names match without regard to case and to blanks around
// them. Files are code page 1250 on disk, or UTF-8 where a text editor saved
// them so (a leading byte order mark is no part of the first line); a write
// keeps the encoding the file was read in. A file is read once per content
// and only when it is a regular file of a sane size.
namespace Pomiar::INI {

// The value of key in section, or defaultValue when the file, the section
// or the key is missing, or when the value has 999 characters or more.
QString CzytajIni(const QString& path, const QString& section, const QString& key,
                  const QString& defaultValue);

// Stores value under section and key, creating the file, section and key as
// needed and keeping every other line of the file as it was. Answers whether
// the file was written; when not, the file is as it was and error says why.
// A file that exists but cannot be read is never written over.
bool ZapiszIni(const QString& path, const QString& section, const QString& key,
               const QString& value, QString* error = nullptr);

enum class FileState {
    Missing,
    Text,
    NotText,   // readable, yet text in neither encoding
    Unreadable // not a regular file, too big, or the read failed
};

FileState StateOf(const QString& path);

// Adds to the file `to` every key of `from` that it lacks or holds empty,
// with the value as `from` writes it, in one write; a key `from` holds twice
// is added once, as a lookup would read it. Keys `to` holds stay as they
// are. False when `to` is not text or could not be written.
bool AddMissing(const QString& from, const QString& to);

} // namespace Pomiar::INI
