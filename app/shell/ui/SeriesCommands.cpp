#include "SeriesCommands.h"

#include "Database.h"
#include "FileLock.h"
#include "FormTexts.h"
#include "JournalIdentity.h"
#include "LanguageTexts.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "SeriesFile.h"
#include "UserDialogs.h"
#include "WindowedProgress.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWidget>
#include <utility>

namespace Pomiar {

SeriesCommands::SeriesCommands(ProgramContext& context, MeasurementStore& store, Window window)
    : context(context), store(store), window(std::move(window)) {
    QObject::connect(&journalCheck, &JournalCheck::Checked, &journalCheck,
                     [this](const QString& path, const SeriesJournal::Verification& verdict) {
                         journalVerdict(path, verdict);
                     });
}

bool SeriesCommands::AskToSaveExisting() {
    if (store.RowCount() == 0)
        return true;
    const MsgAnswer answer =
        context.dialogs->MessageBox(window.widget, context.Msg(4), MsgButtons::YesNoCancel,
                                    MsgIcon::Exclamation, context.Msg(45));
    if (answer == MsgAnswer::Cancel)
        return false;
    // Readings the user asked to keep are never cleared unsaved.
    return answer != MsgAnswer::Yes || Save();
}

bool SeriesCommands::confirmSeriesFileEnd() {
    return context.dialogs->MessageBox(window.widget, context.Msg(29), MsgButtons::YesNo,
                                       MsgIcon::Question, QString()) == MsgAnswer::Yes;
}

void SeriesCommands::NewSeries() {
    if (store.RowCount() == 0 && store.WaitingReadings() == 0)
        return;
    if (!ConfirmDiscardWaiting())
        return;
    if (bolOldFile ? !confirmSeriesFileEnd() : !AskToSaveExisting())
        return;
    StopJournalCheck();
    if (window.clearChartReport)
        window.clearChartReport();
    bolOldFile = false;
    store.NowaSeria();
}

void SeriesCommands::OpenSeries() {
    if (!ConfirmDiscardWaiting())
        return;
    if (bolOldFile ? !confirmSeriesFileEnd() : !AskToSaveExisting())
        return;
    const QString path =
        context.dialogs->OpenFileName(window.widget, context.Msg(22), context.programFolder,
                                      context.Msg(24) + QStringLiteral(" (*.ser)"));
    if (path.isEmpty()) {
        // Cancelled, the next new series still asks whether to end this one.
        bolOldFile = true;
        return;
    }
    if (openSeriesFile(path) && window.seriesOpened)
        window.seriesOpened();
}

bool SeriesCommands::openSeriesFile(const QString& path) {
    // Nothing is written to a file before it is known to be a series file,
    // and nothing changes here when it cannot be opened.
    QString reason;
    std::unique_ptr<Database> opened;
    const SeriesFile::FileState state = SeriesFile::Examine(path, &reason, &opened);
    if (state == SeriesFile::FileState::Unreadable ||
        state == SeriesFile::FileState::NotASeriesFile) {
        showFileError(texts.cannotOpen, path,
                      state == SeriesFile::FileState::Unreadable ? reason : texts.notASeriesFile);
        return false;
    }
    const bool writable = state == SeriesFile::FileState::Writable;
    // The file shown until now is no longer checked, and its check has let
    // go of it before it is written.
    StopJournalCheck();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        // The rows are shown first, and nothing is written to the file
        // before they are: its journal's entry of this open waits for the
        // verdict on the file as it came. A file with space to give back
        // is compacted after the verdict, not here (seconds for a long
        // series).
        if (writable)
            store.OtworzBaze(path, MeasurementStore::OpenedEntry::Deferred, std::move(opened));
        else
            store.OpenForViewing(path);
    } catch (const DatabaseError& error) {
        QApplication::restoreOverrideCursor();
        showFileError(texts.cannotOpen, path, error.Reason());
        return false;
    }
    QApplication::restoreOverrideCursor();
    // Verified on a connection of its own while the window goes on; a file
    // that does not verify is still shown.
    if (window.journalChecking)
        window.journalChecking();
    journalCheck.Start(path);
    // A file shown for viewing is not bound: its readings are the working
    // series now, offered a save like any other.
    bolOldFile = writable;
    if (!writable)
        context.dialogs->MessageBox(
            window.widget, texts.readOnly + QLatin1Char('\n') + QDir::toNativeSeparators(path),
            MsgButtons::Ok, MsgIcon::Information, context.Msg(47));
    return true;
}

void SeriesCommands::journalVerdict(const QString& path,
                                    const SeriesJournal::Verification& verdict) {
    if (bolOldFile && store.BoundPath() == path) {
        store.WriteOpenedEntry();
        compactWhenWasteful(path);
    }
    if (window.journalChecked)
        window.journalChecked(verdict);
}

void SeriesCommands::compactWhenWasteful(const QString& path) {
    // A file the program wrote has no free pages: it only ever grows. One
    // that has them (an older version's, one edited elsewhere) gives them
    // back, as opening always did.
    try {
        if (store.Bound().Scalar(QStringLiteral("PRAGMA freelist_count")).toLongLong() == 0)
            return;
    } catch (const DatabaseError&) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    MeasurementStore::KompaktujBaze(path);
    QApplication::restoreOverrideCursor();
}

void SeriesCommands::StopJournalCheck() {
    if (!journalCheck.Running())
        return;
    journalCheck.Cancel();
    SeriesJournal::Verification none;
    none.cancelledEarly = true;
    if (window.journalChecked)
        window.journalChecked(none);
}

bool SeriesCommands::confirmReplace(const QString& target) {
    return context.dialogs->MessageBox(
               window.widget,
               texts.replaceFile + QLatin1Char('\n') + QDir::toNativeSeparators(target),
               MsgButtons::YesNo, MsgIcon::Exclamation, context.Msg(45)) == MsgAnswer::Yes;
}

bool SeriesCommands::Save() {
    if (store.RowCount() == 0)
        return true;
    const Settings& settings = context.settings;
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
        // The dialog asked about the name as typed; the ending makes it
        // another file, which must not be replaced unasked.
        if (target != chosen && QFileInfo::exists(target) && !confirmReplace(target))
            return false;
    }
    const bool series = target.endsWith(QLatin1String(".ser"));
    if (!series && !target.endsWith(QLatin1String(".csv")))
        return false;
    if (!fastExport && FileLock::InUse(target)) {
        if (!bolOldFile) {
            context.dialogs->MessageBox(window.widget, context.Msg(8), MsgButtons::Ok,
                                        MsgIcon::Critical, context.Msg(46));
            return false;
        }
        // The bound series file already holds the readings.
        StopJournalCheck();
        MeasurementStore::KompaktujBaze(target);
        return true;
    }
    return series ? saveSeriesFile(target) : exportCsv(target, fastExport);
}

bool SeriesCommands::saveSeriesFile(const QString& target) {
    WindowedProgress progress(window.widget, &context);
    QString error;
    const auto result = SeriesFile::ZapiszSerie(store.Bound(), target, &progress, &error);
    progress.End();
    switch (result) {
    case SeriesFile::SaveResult::Completed:
        StopJournalCheck();
        store.Record(SeriesJournal::Event::SeriesSaved, QFileInfo(target).fileName().toUtf8());
        // Saving ends the series: the working database takes the next one.
        store.NowaSeria();
        return true;
    case SeriesFile::SaveResult::Cancelled:
        return false;
    case SeriesFile::SaveResult::Failed:
        showFileError(texts.cannotWrite, target, error);
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
        const QString trailer = context.settings.journalTrailer
                                    ? JournalIdentity::TrailerLine(JournalIdentity::Of(
                                          store.Bound(), context.settings.nrWagi))
                                    : QString();
        SeriesFile::EksportCSV(
            store.Bound(), target,
            [this](const QString& column) { return ExportCaption(context, column); },
            store.Locale(), trailer);
    } catch (const std::exception& error) {
        QApplication::restoreOverrideCursor();
        showFileError(texts.cannotWrite, target, SeriesFile::FailureReason(error));
        return false;
    }
    QApplication::restoreOverrideCursor();
    store.Record(SeriesJournal::Event::SeriesExported, QFileInfo(target).fileName().toUtf8());
    if (context.settings.fastExportEnabled) {
        StopJournalCheck();
        store.NowaSeria();
    } else
        context.dialogs->OpenWithDesktop(target);
    return true;
}

void SeriesCommands::showFileError(const QString& problem, const QString& path,
                                   const QString& reason) {
    context.dialogs->MessageBox(window.widget,
                                problem + QLatin1Char('\n') + QDir::toNativeSeparators(path) +
                                    QLatin1Char('\n') + reason,
                                MsgButtons::Ok, MsgIcon::Critical, context.Msg(46));
}

void SeriesCommands::TellStoreFailed(const QString& reason, int waiting) {
    // From the reading path: told without holding the link.
    context.dialogs->Notice(window.widget,
                            texts.storeFailed + QLatin1Char('\n') + reason + QLatin1Char('\n') +
                                texts.waiting + QLatin1Char(' ') + QString::number(waiting) +
                                QLatin1Char('\n') + texts.storedLater,
                            MsgIcon::Critical, context.Msg(46));
}

bool SeriesCommands::ConfirmDiscardWaiting() {
    if (store.WaitingReadings() == 0 || store.StoreWaitingReadings())
        return true;
    return context.dialogs->MessageBox(
               window.widget,
               texts.discardWaiting + QLatin1Char('\n') + texts.waiting + QLatin1Char(' ') +
                   QString::number(store.WaitingReadings()),
               MsgButtons::YesNo, MsgIcon::Exclamation, context.Msg(45)) == MsgAnswer::Yes;
}

bool SeriesCommands::ConfirmClose() {
    if (!ConfirmDiscardWaiting())
        return false;
    UserDialogs& dialogs = *context.dialogs;
    if (bolOldFile && dialogs.MessageBox(window.widget, context.Msg(28), MsgButtons::YesNo,
                                         MsgIcon::Information, QString()) != MsgAnswer::Yes)
        return false;
    const bool hasRows = store.RowCount() != 0;
    const MsgAnswer answer =
        hasRows ? dialogs.MessageBox(window.widget, context.Msg(4), MsgButtons::YesNoCancel,
                                     MsgIcon::Exclamation, context.Msg(45))
                : dialogs.MessageBox(window.widget, context.Msg(5), MsgButtons::YesNo,
                                     MsgIcon::Exclamation, context.Msg(45));
    switch (answer) {
    case MsgAnswer::Yes:
        // Readings the user asked to keep are never dropped unsaved.
        return !hasRows || Save();
    case MsgAnswer::No:
        return hasRows;
    default:
        return false;
    }
}

void SeriesCommands::OfferReadingsOfLastRun() {
    const int left = store.LeftByLastRun();
    if (left == 0)
        return;
    const MsgAnswer answer = context.dialogs->MessageBox(
        window.widget,
        texts.uncleanEnd + QLatin1Char('\n') + texts.readingsLeft + QLatin1Char(' ') +
            QString::number(left) + QLatin1Char('\n') +
            // Lines a transmission cut short had collected are among them.
            (store.RecoveredLines() > 0
                 ? texts.linesRecovered + QLatin1Char(' ') +
                       QString::number(store.RecoveredLines()) + QLatin1Char('\n')
                 : QString()) +
            texts.keepLeft,
        MsgButtons::YesNoCancel, MsgIcon::Exclamation, context.Msg(45));
    if (answer == MsgAnswer::No && Save()) {
        // A series file saved ends the series already; a CSV file does not.
        if (store.RowCount() > 0)
            store.NowaSeria();
        return;
    }
    store.KeepLeftReadings();
}

void SeriesCommands::ApplyLanguageTexts() {
    for (QString* text :
         {&texts.replaceFile, &texts.cannotWrite, &texts.cannotOpen, &texts.notASeriesFile,
          &texts.readOnly, &texts.storeFailed, &texts.waiting, &texts.storedLater,
          &texts.discardWaiting, &texts.uncleanEnd, &texts.readingsLeft, &texts.linesRecovered,
          &texts.keepLeft})
        *text = FormCodeText(context, *window.widget, *text);
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
        store.SetDescription(row, opis);
    } catch (const DatabaseError& error) {
        if (window.logError)
            window.logError(QString::fromLocal8Bit(error.what()));
    }
}

} // namespace Pomiar
