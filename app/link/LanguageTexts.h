#pragma once

#include <QString>
#include <QStringList>

namespace Pomiar {

// The numbered messages every message box takes its text and title from
// (indices 0 to 50; 33 to 44 and 50 have no text).
class MessageTable {
public:
    static constexpr int Size = 51;

    MessageTable(); // filled with the Polish defaults, "/n" already a line break

    QString Text(int index) const;
    void SetText(int index, const QString& text);

    // The stored default of an index, "/n" not yet replaced.
    static QString DefaultText(int index);
    // The indices read from a language file: 0 to 32, then 45 to 49.
    static QList<int> LanguageIndices();

private:
    QStringList texts;
};

// Looks a text up in a language file; an empty or missing value is written
// back as the default and the default is answered.
QString GetLangText(const QString& languageFilePath, const QString& section, const QString& key,
                    const QString& defaultText);

// Fills the table from section "MSG" of the language file ("MSG_<n>").
void LoadMessages(const QString& languageFilePath, MessageTable& messages);

} // namespace Pomiar
