#include "JournalCheck.h"

#include "Database.h"

#include <QTimer>

namespace Pomiar {

JournalCheck::JournalCheck(QObject* parent) : QObject(parent) {
    qRegisterMetaType<SeriesJournal::Verification>();
    // Queued: the verdict is handled on this object's thread, never on the
    // worker's.
    connect(this, &JournalCheck::finished, this, &JournalCheck::told, Qt::QueuedConnection);
}

JournalCheck::~JournalCheck() {
    stopWorker();
}

void JournalCheck::Start(const QString& file) {
    Cancel();
    path = file;
    running = true;
    // The thread starts once the events already posted (the paint of the
    // rows just shown) have run, so that it takes nothing from them.
    QTimer::singleShot(0, this, [this, number = ++ticket, file] {
        if (number == ticket && running)
            launch(number, file);
    });
}

void JournalCheck::launch(quint64 number, const QString& file) {
    auto stop = std::make_shared<std::atomic<bool>>(false);
    cancelled = stop;
    worker = std::thread([this, number, file, stop] {
        SeriesJournal::Verification verdict;
        try {
            // On one core (and the structure check's): the window, its
            // statistics and the rows it paints keep the other.
            verdict = SeriesJournal::VerifyFile(file, stop.get(), SeriesJournal::Cores::One);
        } catch (const DatabaseError& error) {
            // A file that reads no more is no record anyone can vouch for.
            verdict.state = SeriesJournal::Verification::State::Broken;
            verdict.where = error.Reason();
        }
        if (!stop->load())
            emit finished(number, file, verdict, QPrivateSignal());
    });
}

void JournalCheck::Cancel() {
    // A verdict already queued carries an old ticket and is dropped.
    ++ticket;
    running = false;
    stopWorker();
}

void JournalCheck::stopWorker() {
    if (cancelled)
        cancelled->store(true);
    if (worker.joinable())
        worker.join();
    cancelled.reset();
}

void JournalCheck::told(quint64 number, const QString& file,
                        const SeriesJournal::Verification& verdict) {
    if (number != ticket || !running)
        return;
    running = false;
    // The thread has nothing left to do but end.
    stopWorker();
    emit Checked(file, verdict);
}

} // namespace Pomiar
