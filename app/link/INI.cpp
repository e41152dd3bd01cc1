#include "INI.h"

#include "CodePage1250.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace Pomiar::INI {

namespace {

// A value this long did not fit the reader's buffer of 1000 characters.
constexpr int valueLimit = 999;

struct IniText {
    QStringList lines;
    QString lineEnd = QStringLiteral("\r\n");
    bool endsWithLineEnd = true;
};

IniText load(const QString& path) {
    IniText text;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return text;
    const QString content = CodePage1250::Decode(file.readAll());
    if (content.isEmpty())
        return text;
    if (!content.contains(QLatin1String("\r\n")) && content.contains(QLatin1Char('\n')))
        text.lineEnd = QStringLiteral("\n");
    text.endsWithLineEnd = content.endsWith(QLatin1Char('\n'));
    QString normalised = content;
    normalised.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.lines = normalised.split(QLatin1Char('\n'));
    if (text.endsWithLineEnd)
        text.lines.removeLast();
    return text;
}

bool isSectionLine(const QString& line, QString* name = nullptr) {
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(QLatin1Char('[')))
        return false;
    if (name) {
        const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
        *name = (close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1)).trimmed();
    }
    return true;
}

bool keyLineMatches(const QString& line, const QString& key, QString* value = nullptr) {
    const QString trimmed = line.trimmed();
    if (trimmed.startsWith(QLatin1Char(';')))
        return false;
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0)
        return false;
    if (line.left(equals).trimmed().compare(key.trimmed(), Qt::CaseInsensitive) != 0)
        return false;
    if (value)
        *value = line.mid(equals + 1).trimmed();
    return true;
}

// The lines of a section: its header (-1 for the nameless section, whose
// lines are those before the first header) and the end of its lines.
struct SectionRange {
    bool found = false;
    qsizetype header = -1;
    qsizetype end = -1;
};

SectionRange findSection(const QStringList& lines, const QString& section) {
    SectionRange range;
    const bool nameless = section.trimmed().isEmpty();
    if (nameless) {
        range.found = true;
        range.end = lines.size();
    }
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString name;
        if (!isSectionLine(lines[i], &name))
            continue;
        if (range.found) {
            range.end = i;
            return range;
        }
        if (name.compare(section.trimmed(), Qt::CaseInsensitive) == 0) {
            range.found = true;
            range.header = i;
            range.end = lines.size();
        }
    }
    return range;
}

QString unquoted(const QString& value) {
    if (value.size() >= 2 && (value.front() == value.back()) &&
        (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')))
        return value.mid(1, value.size() - 2);
    return value;
}

bool save(const QString& path, const IniText& text) {
    QString content = text.lines.join(text.lineEnd);
    if (text.endsWithLineEnd || text.lines.isEmpty())
        content += text.lineEnd;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(CodePage1250::Encode(content));
    return file.commit();
}

} // namespace

QString CzytajIni(const QString& path, const QString& section, const QString& key,
                  const QString& defaultValue) {
    const IniText text = load(path);
    const SectionRange range = findSection(text.lines, section);
    if (!range.found)
        return defaultValue;
    for (qsizetype i = range.header + 1; i < range.end; ++i) {
        QString value;
        if (keyLineMatches(text.lines[i], key, &value)) {
            value = unquoted(value);
            return value.size() >= valueLimit ? defaultValue : value;
        }
    }
    return defaultValue;
}

bool ZapiszIni(const QString& path, const QString& section, const QString& key,
               const QString& value) {
    // A line break inside a value would split it into lines of its own.
    QString oneLine = value;
    oneLine.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString entry = key.trimmed() + QLatin1Char('=') + oneLine;

    IniText text = load(path);
    const SectionRange range = findSection(text.lines, section);
    if (!range.found) {
        text.lines << QLatin1Char('[') + section.trimmed() + QLatin1Char(']') << entry;
        return save(path, text);
    }
    qsizetype lastEntry = range.header;
    for (qsizetype i = range.header + 1; i < range.end; ++i) {
        if (keyLineMatches(text.lines[i], key)) {
            text.lines[i] = entry;
            return save(path, text);
        }
        if (!text.lines[i].trimmed().isEmpty())
            lastEntry = i;
    }
    text.lines.insert(lastEntry + 1, entry);
    return save(path, text);
}

} // namespace Pomiar::INI
