#include "LanguageTexts.h"

#include "INI.h"
#include "ProgramContext.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <array>

namespace Pomiar {

namespace {

// The designed Polish texts, as they are stored in a language file: "/n"
// stands for a line break.
const std::array<const char*, MessageTable::Size> defaults = {
    "Port jest uzywany. Wyłacz program, ktory z niego korzysta i sprobuj ponownie.",
    "Program nie został poprawnie zainstalowany./n Zainstaluj program ponownie",
    "Wybierz domyslny port i uruchom program ponownie", "Brak danych do utworzenia wykresu",
    "Czy chcesz zapisac istniejace pomiary?", "Czy chcesz zakonczyc program?",
    "Przed rozpoczeciem transmisji ciagłej /n nalezy rozpoczac nowa serie wazen.",
    "Wykres ostatnich wazen dotyczy pracy nieautomatycznej!/nNalezy odznaczyc opcje 'Pokazuj "
    "ostatnie pomiary' w oknie 'Opcje wykresu'",
    "Wybrany plik jest aktualnie uzywany!/nWybierz inny plik.",
    "Pole 'Stop' musi byc wieksze od pola 'Start'", "Pole 'Start'/'Stop' nie moze byc puste",
    "Pole 'Start'/'Stop' musi byc wieksze od 0", "Cykl pokrywa sie z istniejacym.",
    "Wybierz własciwy port!", "Port jest aktualnie uzywany./nWybierz inny port",
    "Nie wykryto zainstalowanej drukarki!", "Nie wykryto zainstalowanej drukarki!",
    "Obydwa pola musza byc wypełnione", "Pole 'Min' nie moze byc wieksze niz pole 'Max'",
    "Pole 'Ilosc pomiarow' musi byc rozne od zera!", "Bład predkosci transmisji!",
    "Bład numer: ", "Otworz serie", "Zapisz jako", "Pliki wazen", "Zakonczono prace cyklu.",
    "Prosze zrestartowac program.", "Nieprawidłowy plik jezykowy !",
    "Czy chcesz zakonczyc serje i zamknac program ?", "Czy chcesz zakonczyc serje ?",
    "Raport z kalibracji mozna zapisac po serii pomiarow!", "Opcjonalnie: wprowadz opis do wazenia",
    "Kliknij dwukrotnie pomiar aby dodac opis.",
    // 33 to 44 have no text
    // clang-format off
    "", "", "", "", "", "", "", "", "", "", "", "",
    // clang-format on
    "Uwaga", "Bład", "Informacja", "Dodawanie opisu do wazenia", "Zapisz pomiary",
    "", // 50
};

QString withLineBreaks(QString text) {
    return text.replace(QLatin1String("/n"), QLatin1String("\r\n"));
}

// The reader trims values and takes off one pair of quotes around them, so a
// text with blanks at its ends ("Bład numer: ") or in quotes of its own is
// stored quoted to come back as it was.
QString storedForm(const QString& text) {
    const bool quoted = text.size() >= 2 && text.front() == text.back() &&
                        (text.front() == QLatin1Char('"') || text.front() == QLatin1Char('\''));
    if (text != text.trimmed() || quoted)
        return QLatin1Char('"') + text + QLatin1Char('"');
    return text;
}

bool validIndex(int index) {
    return index >= 0 && index < MessageTable::Size;
}

// The windows whose texts come from a language file, and their sections.
const std::array<std::pair<const char*, const char*>, 13> formSections = {{
    {"Cykl", "D1"},
    {"Film", "D2"},
    {"frmObjetoscNurnika", "D3"},
    {"Glowna", "D4"},
    {"Nowy", "D5"},
    {"Opcje", "D6"},
    {"Pasek", "D7"},
    {"Raport", "D8"},
    {"Startowa", "D9"},
    {"Wykres", "D10"},
    {"Wykresopcje", "D11"},
    {"Zakonczenie", "D12"},
    {"frmCommSelect", "D13"},
}};

} // namespace

MessageTable::MessageTable() {
    for (int index = 0; index < Size; ++index)
        texts << withLineBreaks(DefaultText(index));
}

QString MessageTable::Text(int index) const {
    return validIndex(index) ? texts[index] : QString();
}

void MessageTable::SetText(int index, const QString& text) {
    if (validIndex(index))
        texts[index] = text;
}

QString MessageTable::DefaultText(int index) {
    return validIndex(index) ? QString::fromUtf8(defaults[index]) : QString();
}

QList<int> MessageTable::LanguageIndices() {
    QList<int> indices;
    for (int index = 0; index <= 32; ++index)
        indices << index;
    for (int index = 45; index <= 49; ++index)
        indices << index;
    return indices;
}

namespace {

// Language files found unusable at start: the run shows the designed texts
// and leaves them alone.
class RejectedFiles {
public:
    void Add(const QString& path) {
        const QMutexLocker lock(&mutex);
        paths.insert(path);
    }
    bool Contains(const QString& path) {
        const QMutexLocker lock(&mutex);
        return paths.contains(path);
    }

private:
    QMutex mutex;
    QSet<QString> paths;
};

RejectedFiles& rejectedFiles() {
    static RejectedFiles files;
    return files;
}

} // namespace

bool IsUsableLanguageFile(const QString& path) {
    // Any text will do: what it lacks, however little it holds, is looked up
    // as designed and written into it.
    switch (INI::StateOf(path)) {
    case INI::FileState::Missing:
    case INI::FileState::Text:
        return true;
    case INI::FileState::NotText:
    case INI::FileState::Unreadable:
        break;
    }
    return false;
}

void UseDesignedTexts(const QString& languageFilePath) {
    rejectedFiles().Add(languageFilePath);
}

QString GetLangText(const QString& languageFilePath, const QString& section, const QString& key,
                    const QString& defaultText) {
    // Bytes that are no text would only come back as garbled captions.
    if (rejectedFiles().Contains(languageFilePath) ||
        INI::StateOf(languageFilePath) == INI::FileState::NotText)
        return defaultText;
    const QString text = INI::CzytajIni(languageFilePath, section, key, QString());
    if (!text.isEmpty())
        return text;
    // The file collects every text it lacks, so a translator finds them all.
    INI::ZapiszIni(languageFilePath, section, key, storedForm(defaultText));
    return defaultText;
}

void LoadMessages(const QString& languageFilePath, MessageTable& messages) {
    messages = MessageTable();
    for (int index : MessageTable::LanguageIndices()) {
        const QString text =
            GetLangText(languageFilePath, QStringLiteral("MSG"),
                        QStringLiteral("MSG_%1").arg(index), MessageTable::DefaultText(index));
        messages.SetText(index, withLineBreaks(text));
    }
}

QString FormSection(const QString& windowName) {
    for (const auto& [window, section] : formSections) {
        if (windowName == QLatin1String(window))
            return QString::fromLatin1(section);
    }
    return {};
}

QString ExportCaption(const ProgramContext& context, const QString& column) {
    return context.Lang(QStringLiteral("EXPORT"), column, column);
}

void TranslateReport(const ProgramContext& context, ReportTexts& report) {
    const QString section = QStringLiteral("Rp1");
    // The report prints with its designed texts rather than not at all.
    try {
        report.caption = context.Lang(section, QStringLiteral("RP1_N"), report.caption);
        for (QStringList& captions : report.sections) {
            for (QString& caption : captions) {
                if (!caption.isEmpty())
                    caption = context.Lang(section, caption, caption);
            }
        }
    } catch (...) {
    }
}

void RunTemplateMode(ProgramContext& context, const TemplateRun& run) {
    const QString descriptions = context.programFolder + QStringLiteral("/opisy.ini");
    QFile::remove(descriptions);
    INI::ZapiszIni(descriptions, QString(), QStringLiteral("ok"), QStringLiteral("n"));
    LoadMessages(context.LanguageFilePath(), context.messages);
    if (run.translateReport)
        run.translateReport();
    if (run.loadEveryWindow)
        run.loadEveryWindow();
}

namespace {

QString FoundUnder(const QString& folder, const QString& fileName) {
    if (fileName.isEmpty())
        return {};
    QDirIterator search(folder, {fileName}, QDir::Files, QDirIterator::Subdirectories);
    return search.hasNext() ? search.next() : QString();
}

QString GuideName(const QString& helpFileName) {
    const QFileInfo help(helpFileName);
    const QString stem = help.suffix().isEmpty() ? help.fileName() : help.completeBaseName();
    return stem + QStringLiteral(".html");
}

} // namespace

QString FindHelpFile(const QString& languageFolder, const QString& helpFileName) {
    // A file found in a subfolder is used from where it was found.
    for (const QString& candidate : {helpFileName, GuideName(helpFileName)}) {
        const QString found = FoundUnder(languageFolder, candidate);
        if (!found.isEmpty())
            return found;
    }
    const QString english = languageFolder + QStringLiteral("/English.chm");
    const QString englishGuide = languageFolder + QStringLiteral("/English.html");
    if (!QFileInfo::exists(english) && QFileInfo::exists(englishGuide))
        return englishGuide;
    return english;
}

} // namespace Pomiar
