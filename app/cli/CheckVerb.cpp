#include "CheckRegister.h"
#include "CheckRunner.h"
#include "CheckSettings.h"
#include "ConsoleSession.h"
#include "Database.h"
#include "Events.h"
#include "Invocation.h"
#include "LabServer.h"
#include "SessionReadingSource.h"
#include "StationSetup.h"
#include "VerbSupport.h"
#include "Verbs.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace Trevalo {

using namespace Pomiar;

namespace {

// A reading that fails is asked for again after the operator's next line;
// so many failures in a row end the check (an unattended run against a
// silent balance must end).
constexpr int failuresInARow = 3;

// The operator's lines on standard input, read as they come while the
// link's events keep running.
class OperatorLines {
public:
    OperatorLines() : notifier(STDIN_FILENO, QSocketNotifier::Read) {
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { take(); });
    }
    // False when standard input ended (or Ctrl+C) before a line came.
    bool Next() {
        Events::RunUntil([this] { return buffer.contains('\n') || ended || Events::Interrupted(); },
                         -1);
        const qsizetype end = buffer.indexOf('\n');
        if (end < 0 || Events::Interrupted())
            return false;
        buffer.remove(0, end + 1);
        return true;
    }

private:
    void take() {
        char bytes[4096];
        const ssize_t got = ::read(STDIN_FILENO, bytes, sizeof bytes);
        if (got > 0) {
            buffer.append(bytes, qsizetype(got));
        } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
            ended = true;
            notifier.setEnabled(false);
        }
    }
    QSocketNotifier notifier;
    QByteArray buffer;
    bool ended = false;
};

// A number option of the check: nothing when absent, an error when it is
// no number above 0.
struct NumberOption {
    std::optional<double> value;
    QString error;
};

NumberOption numberOption(const Invocation& run, const char* name) {
    const auto found = run.checkOptions.find(QLatin1String(name));
    if (found == run.checkOptions.end())
        return {};
    bool ok = false;
    const double value = QString(found->second).replace(u',', u'.').toDouble(&ok);
    if (!ok || !std::isfinite(value) || value <= 0)
        return {std::nullopt, QStringLiteral("invalid value for --%1: %2 (a number above 0)")
                                  .arg(QLatin1String(name), found->second)};
    return {value, {}};
}

QString numberText(double value) {
    return QString::number(value, 'g', 10);
}

// Everything the command line and the settings say about the check.
struct PlanOrError {
    CheckPlan plan;
    QString error;
    ExitCode code = Success;
};

// The balance and the test weight the check is of: the register's, or a
// balance named after the station; an error for an id the register lacks.
QString planBalance(const Invocation& run, const CheckSettings& settings, CheckRegister& checks,
                    CheckPlan& plan) {
    const QString balanceId = run.checkOptions.count(QStringLiteral("balance"))
                                  ? run.checkOptions.at(QStringLiteral("balance"))
                                  : settings.balanceId;
    if (const auto registered = checks.Balance(balanceId)) {
        plan.balance = *registered;
    } else if (!balanceId.isEmpty() && run.checkOptions.count(QStringLiteral("balance"))) {
        return QStringLiteral("no balance %1 in the register").arg(balanceId);
    } else {
        // A balance the register does not hold: named after the station.
        plan.balance.id =
            balanceId.isEmpty() ? QStringLiteral("station ") + plan.station : balanceId;
        plan.balance.station = plan.station;
    }
    if (run.checkOptions.count(QStringLiteral("weight"))) {
        const QString id = run.checkOptions.at(QStringLiteral("weight"));
        plan.weight = checks.Weight(id);
        if (!plan.weight)
            return QStringLiteral("no weight %1 in the register").arg(id);
    }
    return {};
}

// The number options of the check, read in one go.
struct CheckNumbers {
    NumberOption d, smallest, factor, testWeight, tolerancePct, tolerance, warning;
};

QString readNumbers(const Invocation& run, CheckNumbers& numbers) {
    numbers = {numberOption(run, "d"),
               numberOption(run, "smallest-net"),
               numberOption(run, "safety-factor"),
               numberOption(run, "test-weight"),
               numberOption(run, "tolerance-pct"),
               numberOption(run, "tolerance"),
               numberOption(run, "warning")};
    for (const NumberOption* option :
         {&numbers.d, &numbers.smallest, &numbers.factor, &numbers.testWeight,
          &numbers.tolerancePct, &numbers.tolerance, &numbers.warning})
        if (!option->error.isEmpty())
            return option->error;
    return {};
}

// What each kind of check needs beyond the common figures.
QString planKind(const Invocation& run, const CheckSettings& settings, const CheckNumbers& numbers,
                 CheckPlan& plan) {
    switch (plan.kind) {
    case CheckKind::Repeatability:
        plan.count = run.checkOptions.count(QStringLiteral("count"))
                         ? run.count
                         : CheckCalculation::MinimumReplicates;
        plan.smallestNet = numbers.smallest.value.value_or(settings.smallestNet.value_or(0));
        if (!(plan.d > 0))
            return QStringLiteral("check repeatability needs --d D (the balance's scale "
                                  "interval)");
        break;
    case CheckKind::Accuracy:
        if (numbers.tolerancePct.value)
            plan.limits = {*numbers.tolerancePct.value, plan.limits.warning,
                           QStringLiteral("--tolerance-pct")};
        if (!(plan.testMass > 0) && !plan.weight)
            return QStringLiteral("check accuracy needs --test-weight MASS or --weight ID");
        break;
    case CheckKind::Eccentricity:
        if (numbers.tolerance.value)
            plan.limits = {*numbers.tolerance.value, plan.limits.warning,
                           QStringLiteral("--tolerance")};
        if (!(plan.testMass > 0) && !plan.weight)
            return QStringLiteral("check eccentricity needs --test-weight MASS or --weight ID");
        if (!(plan.limits.failure > 0))
            return QStringLiteral("check eccentricity needs --tolerance T (or [CHECKS] "
                                  "eccentricityTolerance)");
        break;
    }
    return {};
}

// The figures of the plan: the options where given, else the settings.
QString planFigures(const Invocation& run, const CheckSettings& settings,
                    const CheckNumbers& numbers, CheckPlan& plan) {
    plan.d = numbers.d.value.value_or(plan.balance.d);
    plan.safetyFactor = numbers.factor.value.value_or(settings.safetyFactor);
    if (plan.safetyFactor < 1)
        return QStringLiteral("the safety factor must be 1 or more");
    plan.testMass = numbers.testWeight.value.value_or(0);
    plan.limits = settings.LimitsOf(plan.kind).value_or(CheckLimits{});
    if (QString error = planKind(run, settings, numbers, plan); !error.isEmpty())
        return error;
    if (numbers.warning.value) {
        plan.limits.warning = numbers.warning.value;
        plan.limits.source += QStringLiteral("; warning --warning");
    }
    return {};
}

PlanOrError makePlan(const Invocation& run, const StationSetup& station,
                     const CheckSettings& settings, CheckRegister& checks) {
    PlanOrError made;
    CheckPlan& plan = made.plan;
    plan.kind = *KindNamed(run.operand);
    plan.station = station.context.settings.nrWagi;
    plan.program = QStringLiteral("trevalo");
    CheckNumbers numbers;
    QString error = planBalance(run, settings, checks, plan);
    if (error.isEmpty())
        error = readNumbers(run, numbers);
    if (error.isEmpty())
        error = planFigures(run, settings, numbers, plan);
    if (!error.isEmpty()) {
        made.code = UsageError;
        made.error = error;
    }
    return made;
}

// The readings as the balance shows them: with the places of d, when known.
QString readingText(double value, double d) {
    if (!(d > 0))
        return numberText(value);
    const int places = std::clamp(int(std::ceil(-std::log10(d) - 1e-9)), 0, 9);
    return QString::number(value, 'f', places);
}

// The figures after the readings, printed as they came.
void printText(const CheckRecord& record) {
    for (const CheckFigure& figure : record.figures)
        std::printf("%s = %s\n", qPrintable(figure.name), qPrintable(numberText(figure.value)));
    std::printf("limit = %s\n", qPrintable(numberText(record.limits.failure)));
    if (record.limits.warning)
        std::printf("warning_limit = %s\n", qPrintable(numberText(*record.limits.warning)));
    std::printf("limits_source = %s\n", qPrintable(record.limits.source));
    for (const QString& warning : record.warnings)
        std::printf("warning: %s\n", qPrintable(warning));
    if (!record.refusal.isEmpty())
        std::printf("refusal: %s\n", qPrintable(record.refusal));
    std::printf("check = %lld\n", record.id);
    std::printf("verdict: %s\n", qPrintable(VerdictName(record.verdict)));
}

// The check on its way to the lab database when the station sends there:
// queued in the working database's outbox as the program queues its own,
// and given a while to be sent; what is left the program or the next run
// sends.
void sendToLab(const StationSetup& station, const CheckRecord& record) {
    constexpr int drainMs = 10000;
    const QString working = MeasurementStore::WorkingDatabasePath(station.context.programFolder);
    try {
        const std::unique_ptr<LabServer> lab = LabServer::Start(
            LabServerSettings::Read(station.context.IniPath(), station.context.settings.nrWagi),
            working);
        if (!lab)
            return;
        lab->outbox.QueueCheck(record.uid, record.finished, record.ToJson());
        Database queue(working);
        const QString count =
            QStringLiteral("SELECT count(*) FROM %1 WHERE kind = ? AND series = ?")
                .arg(QLatin1String(LabServerOutbox::Table));
        const QVariantList which{LabServerOutbox::KindText(LabServerOutbox::Kind::Check),
                                 record.uid};
        if (!Events::RunUntil([&] { return queue.Scalar(count, which).toInt() == 0; }, drainMs))
            Warn(QStringLiteral("the check waits for the lab database; the program or the next "
                                "run sends it"));
    } catch (const SettingsError& failure) {
        Warn(QString::fromLocal8Bit(failure.what()));
    } catch (const DatabaseError& failure) {
        Warn(QStringLiteral("the check is not queued for the lab database: ") + failure.Reason());
    }
}

// The check settings and the register beside the station's settings, or
// the exit code of the file that could not be read.
struct CheckInputs {
    CheckSettings settings;
    std::unique_ptr<CheckRegister> checks;
};

int readInputs(const StationSetup& station, CheckInputs& inputs) {
    try {
        inputs.settings = CheckSettings::Read(station.context.IniPath());
    } catch (const SettingsError& failure) {
        return Fail(FileFailed, QString::fromLocal8Bit(failure.what()));
    }
    try {
        inputs.checks =
            std::make_unique<CheckRegister>(CheckRegister::PathIn(station.context.programFolder));
    } catch (const DatabaseError& failure) {
        return Fail(FileFailed, CheckRegister::PathIn(station.context.programFolder) +
                                    QStringLiteral(": ") + failure.Reason());
    }
    return Success;
}

// What the runner told of the step under way.
struct CheckProgress {
    std::optional<CheckRecord> finished;
    bool readingDone = false;
    QString failure;
};

// The runner's steps and readings printed as they come. With JSON the
// readings are left for the object alone.
void follow(CheckRunner& runner, CheckProgress& progress, FILE* prompts, bool json, double d) {
    QObject::connect(&runner, &CheckRunner::StepReady, [prompts](const CheckStep& step) {
        std::fprintf(prompts, "%s%s\n", qPrintable(step.Text()),
                     step.TakesReading() ? ", then press Enter" : "");
        std::fflush(prompts);
    });
    QObject::connect(&runner, &CheckRunner::ReadingTaken,
                     [&progress, json, d](const CheckReading& reading, int index) {
                         progress.readingDone = true;
                         if (!json) {
                             std::printf("reading %d: %s %s\n", index + 1,
                                         qPrintable(readingText(reading.value, d)),
                                         qPrintable(reading.unit));
                             std::fflush(stdout);
                         }
                     });
    QObject::connect(&runner, &CheckRunner::ReadingFailed, [&progress](const QString& reason) {
        progress.readingDone = true;
        progress.failure = reason;
    });
    QObject::connect(&runner, &CheckRunner::Finished,
                     [&progress](const CheckRecord& record) { progress.finished = record; });
    QObject::connect(&runner, &CheckRunner::StoreFailed, [](const QString& reason) {
        Warn(QStringLiteral("the check could not be stored in the register: ") + reason);
    });
}

// Each of the operator's lines confirms the step under way, until the
// check ends or cannot go on; the exit code of a check cancelled here.
ExitCode operate(CheckRunner& runner, ConsoleSession& console, CheckProgress& progress,
                 FILE* prompts) {
    OperatorLines lines;
    int failures = 0;
    while (runner.Running()) {
        if (!lines.Next()) {
            runner.Cancel(Events::Interrupted()
                              ? QStringLiteral("interrupted")
                              : QStringLiteral("standard input ended before the check did"));
            break;
        }
        progress.readingDone = false;
        progress.failure.clear();
        runner.Confirm();
        Events::RunUntil(
            [&] { return progress.readingDone || console.Lost() || Events::Interrupted(); }, -1);
        if (console.Lost()) {
            runner.Cancel(*console.Lost());
            return LinkFailed;
        }
        if (Events::Interrupted()) {
            runner.Cancel(QStringLiteral("interrupted"));
            break;
        }
        if (progress.failure.isEmpty()) {
            failures = 0;
            continue;
        }
        Warn(progress.failure);
        if (++failures >= failuresInARow) {
            runner.Cancel(QStringLiteral("%1 readings failed in a row: %2")
                              .arg(failuresInARow)
                              .arg(progress.failure));
            break;
        }
        std::fprintf(prompts, "press Enter to weigh again\n");
        std::fflush(prompts);
    }
    return NoReading;
}

// The finished check sent on, printed, and its verdict as the exit code.
int report(const StationSetup& station, const CheckRecord& finished, bool json,
           ExitCode cancelCode) {
    if (finished.id > 0)
        sendToLab(station, finished);
    if (json)
        std::printf("%s\n", finished.ToJson().constData());
    else
        printText(finished);
    std::fflush(stdout);
    switch (finished.verdict) {
    case Verdict::Pass:
    case Verdict::Warning:
        return finished.id > 0 ? Success : FileFailed;
    case Verdict::Fail:
        return CheckFailed;
    case Verdict::Cancelled:
        break;
    }
    return Fail(finished.refusal.contains(QLatin1String("needs at least")) ? UsageError
                                                                           : cancelCode,
                QStringLiteral("check cancelled: ") + finished.refusal);
}

} // namespace

int RunCheck(const Invocation& run) {
    Events::CatchInterrupts();
    StationSetup station;
    if (const int code = LoadSettings(run, station))
        return code;
    // The series' acceptance limits are for samples, not for test weights.
    station.limits = AcceptanceLimits{};
    CheckInputs inputs;
    if (const int code = readInputs(station, inputs))
        return code;
    const PlanOrError made = makePlan(run, station, inputs.settings, *inputs.checks);
    if (made.code != Success)
        return Fail(made.code, made.error);
    const bool json = run.format == OutputFormat::Json;
    // With JSON the object alone goes to standard output; the prompts go
    // to standard error.
    FILE* prompts = json ? stderr : stdout;

    ConsoleSession console(station);
    if (const int code = Connect(console))
        return code;
    SessionReadingSource source(console.Session(), console.Store(), run.timeoutMs);
    CheckRunner runner(source);
    runner.SetRegister(inputs.checks.get(),
                       SeriesJournal::Author::Here(station.context.settings.nrWagi));
    CheckProgress progress;
    follow(runner, progress, prompts, json, made.plan.d);
    for (const QString& warning : CheckRunner::PlanWarnings(made.plan, QDate::currentDate()))
        Warn(warning);
    QString refusal;
    if (!runner.Start(made.plan, &refusal))
        return Fail(UsageError, refusal);
    const ExitCode cancelCode = operate(runner, console, progress, prompts);
    if (!progress.finished)
        return Fail(NoReading, QStringLiteral("the check did not end"));
    return report(station, *progress.finished, json, cancelCode);
}

} // namespace Trevalo
