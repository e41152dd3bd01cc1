#pragma once

#include "SeriesJournal.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>

namespace Pomiar {

// Verifies the journal of a series file away from the window: the check
// runs on a thread of its own, which opens its own read-only connection to
// the file and writes nothing, and its verdict comes back as a queued
// signal on the thread that started it. One check at a time: starting
// another, or cancelling, stops the one running, and its verdict is never
// told.
class JournalCheck : public QObject {
    Q_OBJECT
public:
    explicit JournalCheck(QObject* parent = nullptr);
    // Stops a check still running and waits for its thread.
    ~JournalCheck() override;

    void Start(const QString& path);
    // Stops the check running, if any, and waits until it has let go of
    // its file, so that the caller may write to it at once.
    void Cancel();
    // A verdict is still awaited.
    bool Running() const { return running; }
    // The file of the check running or last told.
    QString Path() const { return path; }

signals:
    void Checked(const QString& path, const Pomiar::SeriesJournal::Verification& verdict);
    // From the worker thread to this one: the check numbered `ticket` ended.
    void finished(quint64 ticket, const QString& path,
                  const Pomiar::SeriesJournal::Verification& verdict, QPrivateSignal);

private:
    void told(quint64 ticket, const QString& path,
              const Pomiar::SeriesJournal::Verification& verdict);
    void launch(quint64 number, const QString& file);
    void stopWorker();

    QString path;
    bool running = false;
    // Which check's verdict is awaited; a verdict of any other is stale.
    quint64 ticket = 0;
    std::shared_ptr<std::atomic<bool>> cancelled;
    std::thread worker;
};

} // namespace Pomiar
