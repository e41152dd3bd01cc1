#include "AcquisitionNotices.h"

#include "AcquisitionSession.h"
#include "DebugForm.h"
#include "ErrorLog.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "ProgramWindows.h"
#include "StatusFields.h"
#include "UserDialogs.h"

namespace Pomiar {

AcquisitionNotices::AcquisitionNotices(ProgramContext& context, AcquisitionSession& session,
                                       MeasurementStore& store, ProgramWindows& windows,
                                       StatusFields& status, const LinkWatch::Texts& linkTexts,
                                       QWidget* owner)
    : QObject(owner), context(context), session(session), store(store), windows(windows),
      status(status), linkTexts(linkTexts), owner(owner) {
    connect(&session, &AcquisitionSession::LinkFailed, this, &AcquisitionNotices::showLinkFailure);
    connect(&session, &AcquisitionSession::ReadingError, this,
            &AcquisitionNotices::LogReadingError);
    connect(&session, &AcquisitionSession::BalanceStatusReported, &status,
            &StatusFields::ShowBalanceStatus);
    connect(&session, &AcquisitionSession::CommandRefused, this, &AcquisitionNotices::showRefusal);
    connect(&session, &AcquisitionSession::ContinuousStored, this,
            &AcquisitionNotices::showNothingStored);
    connect(&session, &AcquisitionSession::UndecodableBytes, this,
            [this] { this->status.ShowStatus(texts.undecodable); });
    // Both may come from a timer or the link: told without waiting.
    connect(&session, &AcquisitionSession::NoInterval, this, [this] {
        this->context.dialogs->Notice(this->owner, texts.noInterval, MsgIcon::Information,
                                      this->context.Msg(47));
    });
    connect(&session, &AcquisitionSession::CycleEnded, this, [this] {
        this->context.dialogs->Notice(this->owner, this->context.Msg(25), MsgIcon::Information,
                                      QString());
    });
}

void AcquisitionNotices::LogReadingError(const QString& error) const {
    ErrorLog::ZapiszLog(context.programFolder, QStringLiteral("Glowna"),
                        QStringLiteral("Timer1_Timer"), error);
}

void AcquisitionNotices::showNothingStored(bool stored) {
    if (stored)
        return;
    // Lines came, but none was a reading: why, rather than the link's fault.
    const MeasurementStore::ContinuousBatch& batch = store.LastBatch();
    if (batch.AllTurnedAway()) {
        const QString text = texts.nothingStored.arg(batch.lines).arg(batch.turnedAwayReason);
        status.ShowStatus(text);
        context.dialogs->Notice(owner, text, MsgIcon::Exclamation, context.Msg(45));
        return;
    }
    context.dialogs->MessageBox(owner, context.Msg(20), MsgButtons::Ok, MsgIcon::None,
                                context.Msg(46));
}

void AcquisitionNotices::showRefusal(const QByteArray& command, const BalanceReply& reply) {
    const QString text = RefusalText(command, reply);
    // The balance's own error is its state, shown as an overload is.
    if (reply.error == BalanceReply::Error::Balance)
        status.ShowBalanceError(reply.code);
    if (windows.Debug())
        windows.Debug()->DebugText(text, QStringLiteral("ERR"));
    LogReadingError(text);
}

void AcquisitionNotices::showLinkFailure(int number, const QString& description) {
    context.dialogs->Notice(owner,
                            texts.source + u' ' + session.OpisZrodla() + QStringLiteral("\r\n") +
                                session.LinkFailureText(number, description, linkTexts),
                            MsgIcon::Critical, texts.communicationError);
}

} // namespace Pomiar
