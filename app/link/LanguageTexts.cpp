#include "LanguageTexts.h"

#include "INI.h"

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

QString GetLangText(const QString& languageFilePath, const QString& section, const QString& key,
                    const QString& defaultText) {
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

} // namespace Pomiar
