#include "CheckRunner.h"

#include "CheckReadingSource.h"
#include "CheckRegister.h"
#include "Database.h"

#include <QSysInfo>

namespace Pomiar {

QString CheckStep::ActionName() const {
    switch (action) {
    case Action::Place:
        return QStringLiteral("place");
    case Action::Replace:
        return QStringLiteral("replace");
    case Action::Move:
        return QStringLiteral("move");
    case Action::Remove:
        return QStringLiteral("remove");
    }
    return {};
}

QString CheckStep::Text() const {
    const QString where = PositionName(position).replace(u'-', u' ');
    switch (action) {
    case Action::Place:
        return QStringLiteral("place the test weight at the %1 of the pan (%2 of %3)")
            .arg(where)
            .arg(index + 1)
            .arg(total);
    case Action::Replace:
        return QStringLiteral("remove the test weight and place it again (%1 of %2)")
            .arg(index + 1)
            .arg(total);
    case Action::Move:
        return QStringLiteral("move the test weight to the %1 of the pan (%2 of %3)")
            .arg(where)
            .arg(index + 1)
            .arg(total);
    case Action::Remove:
        return QStringLiteral("remove the test weight");
    }
    return {};
}

CheckRunner::CheckRunner(CheckReadingSource& source, QObject* parent)
    : QObject(parent), source(source) {
    connect(&source, &CheckReadingSource::ReadingArrived, this, &CheckRunner::onReading);
    connect(&source, &CheckReadingSource::ReadingFailed, this, &CheckRunner::onFailure);
}

void CheckRunner::SetRegister(CheckRegister* register_, const SeriesJournal::Author& as) {
    checks = register_;
    author = as;
}

QStringList CheckRunner::PlanWarnings(const CheckPlan& plan, const QDate& today) {
    QStringList warnings;
    if (!plan.weight)
        return warnings;
    const TestWeight& weight = *plan.weight;
    if (weight.PastDue(today))
        warnings << QStringLiteral("weight %1: its certificate %2 was due on %3")
                        .arg(weight.id, weight.certificate,
                             weight.certificateDue->toString(Qt::ISODate));
    return warnings;
}

namespace {

// The plan with what it leaves open taken from the balance and the weight,
// into complete; why it cannot run, or nothing. complete is left as it was
// when the plan is refused.
QString CompletePlan(const CheckPlan& wanted, CheckPlan& complete) {
    CheckPlan checked = wanted;
    if (!(checked.d > 0))
        checked.d = checked.balance.d;
    if (!(checked.testMass > 0) && checked.weight)
        checked.testMass = checked.weight->conventionalMass;
    switch (checked.kind) {
    case CheckKind::Repeatability:
        if (checked.count < CheckCalculation::MinimumReplicates)
            return QStringLiteral("repeatability needs at least %1 replicate weighings, not %2")
                .arg(CheckCalculation::MinimumReplicates)
                .arg(checked.count);
        if (!(checked.d > 0))
            return QStringLiteral("the balance's scale interval d is not known");
        break;
    case CheckKind::Accuracy:
        checked.count = 1;
        if (!(checked.testMass > 0))
            return QStringLiteral("the test weight's conventional mass is not known");
        if (!(checked.limits.failure > 0))
            return QStringLiteral("no tolerance for the accuracy check");
        break;
    case CheckKind::Eccentricity:
        checked.count = int(EccentricityPositions().size());
        if (!(checked.testMass > 0))
            return QStringLiteral("the test weight is not known");
        if (!(checked.limits.failure > 0))
            return QStringLiteral("no tolerance for the eccentricity check");
        break;
    }
    complete = checked;
    return {};
}

// The record of a check starting now on plan, by author (this user and
// host where the author names none).
CheckRecord NewRecord(const CheckPlan& plan, const SeriesJournal::Author& author) {
    CheckRecord record;
    record.kind = plan.kind;
    record.balanceId = plan.balance.id;
    if (plan.weight) {
        record.weightId = plan.weight->id;
        record.weightCertificate = plan.weight->certificate;
        record.weightCertificateDue = plan.weight->certificateDue;
    }
    record.testMass = plan.testMass;
    record.d = plan.d;
    record.smallestNet = plan.smallestNet;
    record.safetyFactor = plan.safetyFactor;
    record.unit = plan.balance.unit.isEmpty() ? QStringLiteral("g") : plan.balance.unit;
    record.plannedReadings = plan.count;
    record.limits = plan.limits;
    record.operatorName =
        author.user.isEmpty() ? SeriesJournal::Author::Here(plan.station).user : author.user;
    record.station = plan.station;
    record.host = author.host.isEmpty() ? QSysInfo::machineHostName() : author.host;
    record.program = plan.program;
    record.started = QDateTime::currentDateTime();
    record.warnings = CheckRunner::PlanWarnings(plan, record.started.date());
    return record;
}

} // namespace

bool CheckRunner::Start(const CheckPlan& wanted, QString* refusal) {
    const QString refused =
        running ? QStringLiteral("a check is running") : CompletePlan(wanted, plan);
    if (!refused.isEmpty()) {
        if (refusal)
            *refusal = refused;
        return false;
    }
    record = NewRecord(plan, author);
    running = true;
    reading = false;
    nextStep();
    return true;
}

CheckStep CheckRunner::stepFor(int index) const {
    CheckStep next;
    next.index = index;
    next.total = plan.count;
    if (index >= plan.count) {
        next.action = CheckStep::Action::Remove;
        return next;
    }
    if (plan.kind == CheckKind::Eccentricity) {
        next.position = EccentricityPositions()[index];
        next.action = index == 0 ? CheckStep::Action::Place : CheckStep::Action::Move;
    } else {
        next.action = index == 0 ? CheckStep::Action::Place : CheckStep::Action::Replace;
    }
    return next;
}

void CheckRunner::nextStep() {
    step = stepFor(int(record.readings.size()));
    emit StepReady(step);
    if (!step.TakesReading())
        finish();
}

void CheckRunner::Confirm() {
    if (!running || reading || !step.TakesReading())
        return;
    reading = true;
    source.RequestStable();
}

void CheckRunner::onReading(double value, const QString& unit, const QByteArray& frame) {
    if (!running || !reading)
        return;
    reading = false;
    CheckReading taken{step.position, value, unit.trimmed(), frame, QDateTime::currentDateTime()};
    if (record.readings.isEmpty() && !taken.unit.isEmpty())
        record.unit = taken.unit;
    if (!taken.unit.isEmpty() && taken.unit != record.unit) {
        emit ReadingFailed(QStringLiteral("the balance shows %1, the check is in %2: set the "
                                          "balance to %2")
                               .arg(taken.unit, record.unit));
        return;
    }
    record.readings << taken;
    emit ReadingTaken(taken, int(record.readings.size()) - 1);
    nextStep();
}

void CheckRunner::onFailure(const QString& reason) {
    if (!running || !reading)
        return;
    reading = false;
    emit ReadingFailed(reason);
}

void CheckRunner::finish() {
    QList<double> values;
    for (const CheckReading& taken : record.readings)
        values << taken.value;
    CheckCalculation::Outcome outcome;
    switch (plan.kind) {
    case CheckKind::Repeatability:
        outcome = CheckCalculation::Repeatability(values, plan.d, plan.smallestNet, plan.limits);
        break;
    case CheckKind::Accuracy:
        outcome = CheckCalculation::Accuracy(values.value(0), plan.testMass, plan.limits,
                                             plan.weight ? plan.weight->uncertainty : std::nullopt);
        break;
    case CheckKind::Eccentricity:
        outcome = CheckCalculation::Eccentricity(values, plan.limits);
        break;
    }
    record.figures = outcome.figures;
    record.verdict = outcome.verdict;
    record.warnings << outcome.warnings;
    record.refusal = outcome.refusal;
    store();
}

void CheckRunner::Cancel(const QString& why) {
    if (!running)
        return;
    if (reading)
        source.Abandon();
    reading = false;
    record.verdict = Verdict::Cancelled;
    record.refusal = why.isEmpty() ? QStringLiteral("cancelled by the operator") : why;
    store();
}

void CheckRunner::store() {
    running = false;
    record.finished = QDateTime::currentDateTime();
    if (checks) {
        try {
            checks->StoreCheck(record, author);
        } catch (const DatabaseError& failure) {
            emit StoreFailed(failure.Reason());
        }
    }
    emit Finished(record);
}

} // namespace Pomiar
