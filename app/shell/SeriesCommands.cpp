#include "SeriesCommands.h"

#include "Database.h"
#include "FileLock.h"
#include "LanguageTexts.h"
#include "Magazyn.h"
#include "PasekProgress.h"
#include "ProcedureError.h"
#include "ProgramContext.h"
#include "SeriesFile.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QFile>
#include <QWidget>
#include <utility>

namespace Pomiar {

SeriesCommands::SeriesCommands(ProgramContext& context, Magazyn& store, Window window)
    : context(context), store(store), window(std::move(window)) {}

bool SeriesCommands::AskToSaveExisting() {
    if (store.RowCount() == 0)
        return true;
    const MsgAnswer answer =
        context.dialogs->MessageBox(window.widget, context.Msg(4), MsgButtons::YesNoCancel,
                                    MsgIcon::Exclamation, context.Msg(45));
    if (answer == MsgAnswer::Cancel)
        return false;
    // Readings the user asked to keep are never cleared unsaved.
    return answer != MsgAnswer::Yes || (window.saveSeries && window.saveSeries());
}

bool SeriesCommands::confirmSeriesFileEnd() {
    return context.dialogs->MessageBox(window.widget, context.Msg(29), MsgButtons::YesNo,
                                       MsgIcon::Question, QString()) == MsgAnswer::Yes;
}

void SeriesCommands::NewSeries() {
    if (store.RowCount() == 0)
        return;
    if (*window.bolOldFile ? !confirmSeriesFileEnd() : !AskToSaveExisting())
        return;
    if (window.clearChartReport)
        window.clearChartReport();
    *window.bolOldFile = false;
    store.NowaSeria();
}

void SeriesCommands::OpenSeries() {
    if (*window.bolOldFile ? !confirmSeriesFileEnd() : !AskToSaveExisting())
        return;
    const QString path =
        context.dialogs->OpenFileName(window.widget, context.Msg(22), context.programFolder,
                                      context.Msg(24) + QStringLiteral(" (*.ser)"));
    *window.bolOldFile = true;
    if (path.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        Magazyn::KompaktujBaze(path);
        store.OtworzBaze(path);
        if (window.seriesOpened)
            window.seriesOpened();
    } catch (const DatabaseError& error) {
        QApplication::restoreOverrideCursor();
        showProcedureError(error.code, QString::fromLocal8Bit(error.what()),
                           QStringLiteral("mnuotworz_Click"));
        // The working database takes the readings again.
        store.NowaSeria();
        return;
    }
    QApplication::restoreOverrideCursor();
}

bool SeriesCommands::Save() {
    if (store.RowCount() == 0)
        return true;
    const Ustawienia& settings = context.settings;
    const bool fastExport =
        SeriesFile::FastExportInForce(settings.fastExportEnabled, settings.fastExportFileName);
    QString target;
    if (fastExport) {
        target = SeriesFile::FastExportPath(context.programFolder, settings.fastExportFileName);
    } else {
        QString chosenFilter;
        const QString chosen = context.dialogs->SaveFileName(
            window.widget, context.Msg(23), context.programFolder,
            context.Msg(24) + QStringLiteral(" (*.ser);;Export CSV[;] (*.csv)"), &chosenFilter);
        if (chosen.isEmpty())
            return false;
        target = SeriesFile::WithEnding(chosen, chosenFilter);
    }
    const bool series = target.endsWith(QLatin1String(".ser"));
    if (!series && !target.endsWith(QLatin1String(".csv")))
        return false;
    if (!fastExport && FileLock::InUse(target)) {
        if (!*window.bolOldFile) {
            context.dialogs->MessageBox(window.widget, context.Msg(8), MsgButtons::Ok,
                                        MsgIcon::Critical, context.Msg(46));
            return false;
        }
        // The bound series file already holds the readings.
        Magazyn::KompaktujBaze(target);
        return true;
    }
    return series ? saveSeriesFile(target) : exportCsv(target, fastExport);
}

bool SeriesCommands::saveSeriesFile(const QString& target) {
    PasekProgress progress(window.widget, &context);
    QString error;
    const auto result = SeriesFile::ZapiszSerie(store.Bound(), target, &progress, &error);
    progress.End();
    switch (result) {
    case SeriesFile::SaveResult::Completed:
        // Saving ends the series: the working database takes the next one.
        store.NowaSeria();
        return true;
    case SeriesFile::SaveResult::Cancelled:
        return false;
    case SeriesFile::SaveResult::Failed:
        showProcedureError(0, error, QStringLiteral("ZapiszSerie"));
        return false;
    }
    return false;
}

bool SeriesCommands::exportCsv(const QString& target, bool fastExport) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        // A file chosen in the dialog starts anew, with its header; fast
        // export appends below the earlier ones.
        if (!fastExport)
            QFile::remove(target);
        const QString language = context.LanguageFilePath();
        SeriesFile::EksportCSV(
            store.Bound(), target,
            [&language](const QString& column) {
                return GetLangText(language, QStringLiteral("EXPORT"), column, column);
            },
            store.locale);
    } catch (const std::exception& error) {
        QApplication::restoreOverrideCursor();
        showProcedureError(0, QString::fromLocal8Bit(error.what()), QStringLiteral("EksportCSV"));
        return false;
    }
    QApplication::restoreOverrideCursor();
    if (context.settings.fastExportEnabled)
        store.NowaSeria();
    else
        context.dialogs->OpenWithDesktop(target);
    return true;
}

void SeriesCommands::showProcedureError(int number, const QString& description,
                                        const QString& procedure) {
    ShowProcedureError(*context.dialogs, window.widget, number, description, procedure,
                       window.widget->objectName());
}

void SeriesCommands::EditDescription(int row) {
    if (row < 0 || row >= store.RowCount())
        return;
    const QString current = store.Model().Row(row).opis.trimmed();
    const auto answer =
        context.dialogs->InputBox(window.widget, context.Msg(31), context.Msg(48), current);
    if (!answer)
        return;
    const QString opis = answer->isEmpty() ? QStringLiteral(" ") : *answer;
    // A description the column cannot hold is refused: the former one stays.
    if (opis.size() > MaxDescriptionLength)
        return;
    try {
        store.SetOpis(row, opis);
    } catch (const DatabaseError& error) {
        if (window.logError)
            window.logError(QString::fromLocal8Bit(error.what()));
    }
}

} // namespace Pomiar
