#pragma once

#include "CheckRecord.h"
#include "RegisteredBalance.h"
#include "SeriesJournal.h"
#include "TestWeight.h"

#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace Pomiar {

class Database;

// Which checks of the register to list.
struct CheckFilter {
    QString balanceId;
    QString station;
    std::optional<CheckKind> kind;
    // Pass or warning only.
    bool passedOnly = false;
    // Cancelled checks left out.
    bool finishedOnly = false;
    // 0: all.
    int limit = 0;
};

// The register of test weights, balances and the checks run on them: an
// SQLite file of its own in the program folder beside the working
// database ("checks.db"), with the series' hash-chained journal
// (SeriesJournal): every weight or balance saved and every check stored is
// an entry whose data is the record's full text, so a row changed behind
// the program's back no longer matches the chain. Throws DatabaseError.
class CheckRegister {
public:
    static constexpr const char* FileName = "checks.db";
    static QString PathIn(const QString& programFolder);

    // Journal events of the register, numbered apart from the series' own.
    enum class Event : int { WeightSaved = 101, BalanceSaved, CheckStored, WeightRemoved };
    static QString EventName(qint64 event);

    // Opens (creating when missing) the file.
    explicit CheckRegister(const QString& path);
    ~CheckRegister();
    CheckRegister(const CheckRegister&) = delete;
    CheckRegister& operator=(const CheckRegister&) = delete;

    QString Path() const;

    QList<TestWeight> Weights();
    std::optional<TestWeight> Weight(const QString& id);
    // Adds or replaces by id.
    void SaveWeight(const TestWeight& weight, const SeriesJournal::Author& author);
    void RemoveWeight(const QString& id, const SeriesJournal::Author& author);

    QList<RegisteredBalance> Balances();
    std::optional<RegisteredBalance> Balance(const QString& id);
    void SaveBalance(const RegisteredBalance& balance, const SeriesJournal::Author& author);

    // Stores a finished or cancelled check: fills its id, uid (when
    // empty), journalSeq and journalHash. A stored check is never changed.
    void StoreCheck(CheckRecord& check, const SeriesJournal::Author& author);

    using Filter = CheckFilter;
    // Newest first.
    QList<CheckRecord> Checks(const Filter& filter = {});
    std::optional<CheckRecord> Check(qint64 id);
    std::optional<CheckRecord> LastCheck(const QString& balanceId, CheckKind kind,
                                         bool passedOnly = false);

    struct Verification {
        bool verified = false;
        qint64 entries = 0;
        QByteArray head;
        // Where the record is broken, for the user.
        QString where;
    };
    // The chain from its first entry, and every weight, balance and check
    // against the last entry that recorded it (and every recorded one
    // present). Writes nothing.
    Verification Verify();

    Database& Data();

private:
    void append(Event event, const QByteArray& data, const SeriesJournal::Author& author,
                CheckRecord* check = nullptr);
    std::unique_ptr<Database> database;
};

} // namespace Pomiar
