#include "INI.h"

#include "CodePage1250.h"
#include "WholeFile.h"

#include <QHash>
#include <QMutex>
#include <QSet>
#include <QStringList>

#include <memory>
#include <optional>

#include <sys/stat.h>

namespace Pomiar::INI {

namespace {

// A value this long did not fit the reader's buffer of 1000 characters.
constexpr int valueLimit = 999;

struct IniText {
    QStringList lines;
    QString lineEnd = QStringLiteral("\r\n");
    bool endsWithLineEnd = true;
    CodePage1250::FileEncoding encoding = CodePage1250::FileEncoding::CodePage1250;
    FileState state = FileState::Missing;
};

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

QString unquoted(const QString& value) {
    if (value.size() >= 2 && (value.front() == value.back()) &&
        (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')))
        return value.mid(1, value.size() - 2);
    return value;
}

QString nameKey(const QString& name) {
    return name.trimmed().toCaseFolded();
}

// The values of a file by section and key, first occurrence winning as in
// a search from the top: a lookup in a big language file costs a hash
// lookup, not a pass over its lines.
using SectionValues = QHash<QString, QString>;
using ValueIndex = QHash<QString, SectionValues>;

ValueIndex indexOf(const QStringList& lines) {
    ValueIndex index;
    SectionValues* current = &index[QString()];
    for (const QString& line : lines) {
        QString name;
        if (isSectionLine(line, &name)) {
            // Lines before the first header are the nameless section; a later
            // header of a name already seen is never reached by a lookup.
            const QString key = nameKey(name);
            current = key.isEmpty() || index.contains(key) ? nullptr : &index[key];
            continue;
        }
        if (!current || line.trimmed().startsWith(QLatin1Char(';')))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        const QString key = nameKey(line.left(equals));
        if (!current->contains(key))
            current->insert(key, unquoted(line.mid(equals + 1).trimmed()));
    }
    return index;
}

// What identifies one content of a file: a write, by the program or by
// anyone else, changes one of these.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    timespec changed{};

    bool operator==(const FileStamp& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

std::optional<FileStamp> stampOf(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return FileStamp{status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
}

struct CachedFile {
    FileStamp stamp;
    IniText text;
    ValueIndex index;
};

// Files are read once per content: the settings and the language file are
// looked up hundreds of times during a start.
class FileCache {
public:
    // The file's text and index, read from disk only when it changed.
    std::shared_ptr<const CachedFile> Load(const QString& path) {
        const std::optional<FileStamp> stamp = stampOf(path);
        {
            const QMutexLocker lock(&mutex);
            const auto found = files.constFind(path);
            if (stamp && found != files.cend() && (*found)->stamp == *stamp)
                return *found;
        }
        auto file = std::make_shared<CachedFile>();
        file->text = read(path);
        file->index = indexOf(file->text.lines);
        // Stamped before the read: a change during the read shows next time.
        if (stamp && file->text.state != FileState::Unreadable) {
            file->stamp = *stamp;
            Keep(path, file);
        }
        return file;
    }

    // The content just written, so that the next lookup need not read it.
    void Written(const QString& path, const IniText& text) {
        const std::optional<FileStamp> stamp = stampOf(path);
        if (!stamp) {
            Forget(path);
            return;
        }
        auto file = std::make_shared<CachedFile>();
        file->stamp = *stamp;
        file->text = text;
        file->text.state = FileState::Text;
        file->index = indexOf(text.lines);
        Keep(path, file);
    }

    void Forget(const QString& path) {
        const QMutexLocker lock(&mutex);
        files.remove(path);
    }

private:
    static IniText read(const QString& path) {
        IniText text;
        QByteArray bytes;
        switch (WholeFile::Read(path, &bytes)) {
        case WholeFile::ReadResult::Missing:
            return text;
        case WholeFile::ReadResult::Read:
            break;
        default:
            text.state = FileState::Unreadable;
            return text;
        }
        const CodePage1250::FileText decoded = CodePage1250::DecodeFile(bytes);
        text.encoding = decoded.encoding;
        text.state = decoded.valid ? FileState::Text : FileState::NotText;
        const QString& content = decoded.text;
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

    void Keep(const QString& path, std::shared_ptr<const CachedFile> file) {
        const QMutexLocker lock(&mutex);
        // A run uses a handful of files; tests use many.
        if (files.size() >= 16 && !files.contains(path))
            files.clear();
        files.insert(path, std::move(file));
    }

    QMutex mutex;
    QHash<QString, std::shared_ptr<const CachedFile>> files;
};

FileCache& cache() {
    static FileCache files;
    return files;
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

bool save(const QString& path, const IniText& text, QString* error) {
    QString content = text.lines.join(text.lineEnd);
    if (text.endsWithLineEnd || text.lines.isEmpty())
        content += text.lineEnd;
    if (!WholeFile::Write(path, CodePage1250::EncodeFile(content, text.encoding), error)) {
        cache().Forget(path);
        return false;
    }
    cache().Written(path, text);
    return true;
}

} // namespace

namespace {

// The value of key in section as a lookup answers it, or defaultValue.
QString valueIn(const CachedFile& file, const QString& section, const QString& key,
                const QString& defaultValue) {
    const QString sectionKey = section.trimmed().isEmpty() ? QString() : nameKey(section);
    const auto values = file.index.constFind(sectionKey);
    if (values == file.index.cend())
        return defaultValue;
    const auto value = values->constFind(nameKey(key));
    if (value == values->cend() || value->size() >= valueLimit)
        return defaultValue;
    return *value;
}

// Sets entry ("key=value") under section in text, adding the section or
// the key where missing. False when the line already read so.
bool setEntry(IniText& text, const QString& section, const QString& key, const QString& entry) {
    const SectionRange range = findSection(text.lines, section);
    if (!range.found) {
        text.lines << QLatin1Char('[') + section.trimmed() + QLatin1Char(']') << entry;
        return true;
    }
    qsizetype lastEntry = range.header;
    for (qsizetype i = range.header + 1; i < range.end; ++i) {
        if (keyLineMatches(text.lines[i], key)) {
            if (text.lines[i] == entry)
                return false;
            text.lines[i] = entry;
            return true;
        }
        if (!text.lines[i].trimmed().isEmpty())
            lastEntry = i;
    }
    text.lines.insert(lastEntry + 1, entry);
    return true;
}

} // namespace

QString CzytajIni(const QString& path, const QString& section, const QString& key,
                  const QString& defaultValue) {
    return valueIn(*cache().Load(path), section, key, defaultValue);
}

bool ZapiszIni(const QString& path, const QString& section, const QString& key,
               const QString& value, QString* error) {
    // A line break inside a value would split it into lines of its own.
    QString oneLine = value;
    oneLine.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    const std::shared_ptr<const CachedFile> file = cache().Load(path);
    if (file->text.state == FileState::Unreadable) {
        // Writing what could be read would replace a file that holds more.
        if (error)
            *error = QStringLiteral("%1: cannot be read as a settings file").arg(path);
        return false;
    }
    IniText text = file->text;
    // The start writes its settings back every time: a line that already
    // reads so costs no rewrite of the file.
    if (!setEntry(text, section, key, key.trimmed() + QLatin1Char('=') + oneLine))
        return true;
    return save(path, text, error);
}

bool AddMissing(const QString& from, const QString& to) {
    const std::shared_ptr<const CachedFile> source = cache().Load(from);
    const std::shared_ptr<const CachedFile> target = cache().Load(to);
    if (target->text.state != FileState::Text)
        return false;
    IniText text = target->text;
    QSet<QString> added;
    QString section;
    for (const QString& line : source->text.lines) {
        if (isSectionLine(line, &section) || line.trimmed().startsWith(QLatin1Char(';')))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        // As written, quotes and all, so that the blanks they keep stay.
        const QString value = line.mid(equals + 1).trimmed();
        const QString name = nameKey(section) + QLatin1Char('\x1f') + nameKey(key);
        if (value.isEmpty() || added.contains(name) ||
            !valueIn(*target, section, key, QString()).isEmpty())
            continue;
        added.insert(name);
        setEntry(text, section, key, key + QLatin1Char('=') + value);
    }
    return added.isEmpty() || save(to, text, nullptr);
}

FileState StateOf(const QString& path) {
    return cache().Load(path)->text.state;
}

} // namespace Pomiar::INI
