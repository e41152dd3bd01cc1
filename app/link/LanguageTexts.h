#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace Pomiar {

struct ProgramContext;

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

// Whether a language file can serve the run: a missing file or any text
// fills itself with what it lacks; a file of text in neither code page 1250
// nor UTF-8, or one that cannot be read, is no language file (message 27).
bool IsUsableLanguageFile(const QString& path);

// For the rest of the run, lookups in this file answer the designed texts
// and neither read nor write it.
void UseDesignedTexts(const QString& languageFilePath);

// Looks a text up in a language file; an empty or missing value is written
// back as the default and the default is answered. A file that is no text
// is never written into.
QString GetLangText(const QString& languageFilePath, const QString& section, const QString& key,
                    const QString& defaultText);

// Fills the table from section "MSG" of the language file ("MSG_<n>").
void LoadMessages(const QString& languageFilePath, MessageTable& messages);

// The section of a window's texts ("D1" to "D13") by its objectName; empty
// for a window that keeps its designed texts.
QString FormSection(const QString& windowName);

// The caption of a column of an exported series: the column's name looked
// up in section "EXPORT".
QString ExportCaption(const ProgramContext& context, const QString& column);

// The printed series report as its translation sees it: the caption and,
// section by section of the report, the captions of its controls. The
// report builds this from its layout, calls TranslateReport and shows the
// texts that come back in place of the designed ones.
struct ReportTexts {
    QString caption;
    QList<QStringList> sections;
};

// Looks every caption up in section "Rp1" ("RP1_N" for the caption); empty
// captions stay empty, and a lookup that fails keeps the designed text.
void TranslateReport(const ProgramContext& context, ReportTexts& report);

// What a template run does besides its own steps: translating the printed
// report and loading every translated window in order, each applying its
// texts and none shown. Either may be empty while the program lacks it.
struct TemplateRun {
    std::function<void()> translateReport;
    std::function<void()> loadEveryWindow;
};

// The run that fills a language file with every text it lacks: opisy.ini is
// started anew with "ok"="n" in its nameless section, the message table is
// loaded, the report translated and every window loaded. The caller ends the
// program afterwards.
void RunTemplateMode(ProgramContext& context, const TemplateRun& run);

// The help file of the language: the help file name ("lag" replaced by
// "chm") anywhere under the language folder, else the user guide of the
// same stem (".html"), else "English.chm", else "English.html". When none
// exists the answer is the path of "English.chm", so that the user is told
// which file is missing.
QString FindHelpFile(const QString& languageFolder, const QString& helpFileName);

} // namespace Pomiar
