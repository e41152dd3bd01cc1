#pragma once

#include "CheckCalculation.h"
#include "CheckRecord.h"
#include "RegisteredBalance.h"
#include "SeriesJournal.h"
#include "TestWeight.h"

#include <QObject>
#include <optional>

namespace Pomiar {

class CheckReadingSource;
class CheckRegister;

// What a check is to be: its kind, the balance and weight, the figures'
// inputs and the limits.
struct CheckPlan {
    CheckKind kind = CheckKind::Repeatability;
    RegisteredBalance balance;
    // The register's weight, when one was chosen.
    std::optional<TestWeight> weight;
    // Repeatability: the number of replicate weighings (at least 10).
    int count = CheckCalculation::MinimumReplicates;
    // The scale interval; 0 takes the balance's.
    double d = 0;
    double smallestNet = 0;
    double safetyFactor = 2;
    // Accuracy: the conventional mass; eccentricity: the test weight; 0
    // takes the weight's conventional mass.
    double testMass = 0;
    CheckLimits limits;
    // Who and where.
    QString station;
    QString program;
};

// One instruction to the operator before a weighing (or, Remove, after the
// last).
struct CheckStep {
    enum class Action { Place, Replace, Move, Remove };
    Action action = Action::Place;
    PanPosition position = PanPosition::Centre;
    // The reading the step leads to, from 0, and how many there are.
    int index = 0;
    int total = 0;
    // Whether a reading follows the operator's confirmation.
    bool TakesReading() const { return action != Action::Remove; }
    // "place the test weight at the centre (1 of 5)": the default English
    // text; the window takes its language's.
    QString Text() const;
    // A key for the language files: "place", "replace", "move", "remove".
    QString ActionName() const;
};

// Runs one check as guided steps: tells the operator what to do
// (StepReady), waits for Confirm, takes a stable reading from the source,
// and after the last computes the figures and the verdict, stores the
// record in the register (when given) and signals Finished. A reading that
// fails leaves the runner at its step (Confirm tries again). Cancel ends
// the check with a record that says so.
class CheckRunner : public QObject {
    Q_OBJECT
public:
    CheckRunner(CheckReadingSource& source, QObject* parent = nullptr);

    // Where finished checks are stored, and as whom; none: not stored.
    void SetRegister(CheckRegister* checks, const SeriesJournal::Author& author);

    // Checks the plan and begins (StepReady follows at once). False with
    // the reason for a plan that cannot be run (fewer than 10 replicates,
    // no d, no test mass, no limits); nothing is stored then.
    bool Start(const CheckPlan& plan, QString* refusal);
    // The operator has done what the step said.
    void Confirm();
    // Stops the check; the record (verdict Cancelled) is stored.
    void Cancel(const QString& why = {});

    bool Running() const { return running; }
    const CheckStep& CurrentStep() const { return step; }
    // The check so far, or as it ended.
    const CheckRecord& Record() const { return record; }
    // The warnings a plan gives before it runs (a weight past its due date,
    // one too coarse for the tolerance).
    static QStringList PlanWarnings(const CheckPlan& plan, const QDate& today);

signals:
    void StepReady(const Pomiar::CheckStep& step);
    void ReadingTaken(const Pomiar::CheckReading& reading, int index);
    void ReadingFailed(const QString& reason);
    // The record is complete (and stored, when a register is set).
    void Finished(const Pomiar::CheckRecord& record);
    // The register refused the record: it is in Record() only.
    void StoreFailed(const QString& reason);

private:
    void onReading(double value, const QString& unit, const QByteArray& frame);
    void onFailure(const QString& reason);
    void nextStep();
    void finish();
    void store();
    CheckStep stepFor(int index) const;

    CheckReadingSource& source;
    CheckRegister* checks = nullptr;
    SeriesJournal::Author author;
    CheckPlan plan;
    CheckRecord record;
    CheckStep step;
    bool running = false;
    bool reading = false;
};

} // namespace Pomiar
