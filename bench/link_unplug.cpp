// An unplugged adapter during automatic work: the main window asks a balance
// on a pseudo-terminal every half second; after some readings the device
// goes away (the line hangs up and COM1 disappears), stays away for a few
// seconds and comes back as a new device under the same port name. The
// figures: how soon after its return the next reading is stored, how many
// readings the balance answered that never became rows, and how many
// messages the operator had to close.
#include "BenchSupport.h"
#include "Glowna.h"
#include "LocalTime.h"
#include "MainWindowBench.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

using namespace Pomiar;

namespace {

constexpr int Port = 1;
constexpr int ReadingsBefore = 10;
constexpr int ReadingsAfter = 10;
constexpr int AwayMs = 4000;
constexpr double GoalBackSeconds = 3.0;
constexpr int GiveUpMs = 60000;

// Answers every "SI" request with a reading until told to stop.
struct Balance {
    explicit Balance(int master) : master(master), thread([this] { Serve(); }) {}
    ~Balance() {
        stop = true;
        thread.join();
    }
    void Serve() {
        std::string pending;
        pollfd watched{master, POLLIN, 0};
        while (!stop) {
            if (::poll(&watched, 1, 20) <= 0)
                continue;
            char data[256];
            const ssize_t size = ::read(master, data, sizeof data);
            if (size <= 0)
                continue;
            pending.append(data, std::size_t(size));
            for (std::size_t end; (end = pending.find("\r\n")) != std::string::npos;) {
                const bool request = pending.compare(0, end, "SI") == 0;
                pending.erase(0, end + 2);
                if (!request)
                    continue;
                const char reply[] = "SI     12.3456 g  \r\n";
                if (::write(master, reply, sizeof reply - 1) == ssize_t(sizeof reply - 1))
                    ++answered;
            }
        }
    }
    const int master;
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::thread thread;
};

// Counts the message boxes and answers each at once.
class CountingDialogs : public UserDialogs {
public:
    MsgAnswer MessageBox(QWidget*, const QString& text, MsgButtons, MsgIcon,
                         const QString&) override {
        if (boxes++ == 0)
            first = text;
        return MsgAnswer::Ok;
    }
    std::optional<QString> InputBox(QWidget*, const QString&, const QString&,
                                    const QString&) override {
        return std::nullopt;
    }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&,
                         QString*) override {
        return {};
    }
    bool OpenWithDesktop(const QString&) override { return false; }

    int boxes = 0;
    QString first;
};

// The run's phases, stepped every 5 ms: readings before, the device away,
// the device back; the figures gathered on the way.
struct Unplugging {
    enum class Phase { Before, Away, Back };

    Unplugging(MainWindowBench::Program& program, std::unique_ptr<BenchSupport::PtyPeer>& device,
               std::unique_ptr<Balance>& balance, QEventLoop& loop)
        : program(program), device(device), balance(balance), loop(loop) {
        wall.start();
        QObject::connect(&program.window->Store().Model(), &QAbstractItemModel::rowsInserted,
                         [this] { lastRowAt = wall.elapsed(); });
    }

    void Step() {
        const int rows = program.window->Store().RowCount();
        if (wall.elapsed() > GiveUpMs) {
            loop.quit();
            return;
        }
        switch (phase) {
        case Phase::Before:
            // Pulled out between a stored reading and the next request, so
            // that no reading is on the wire when the line goes.
            if (rows < ReadingsBefore || rows != balance->answered ||
                wall.elapsed() - lastRowAt > 100)
                return;
            unplug(rows);
            return;
        case Phase::Away:
            closedSeen = closedSeen || !program.window->Session().LinkOpen();
            return;
        case Phase::Back:
            if (backSeconds < 0 && rows > rowsAtUnplug)
                backSeconds = double(BenchSupport::NowNs() - backAt) / 1e9;
            if (rows >= rowsAtUnplug + ReadingsAfter && rows == answeredBefore + balance->answered)
                loop.quit();
            return;
        }
    }

    MainWindowBench::Program& program;
    std::unique_ptr<BenchSupport::PtyPeer>& device;
    std::unique_ptr<Balance>& balance;
    QEventLoop& loop;
    QElapsedTimer wall;
    qint64 lastRowAt = 0;
    Phase phase = Phase::Before;
    int answeredBefore = 0;
    int rowsAtUnplug = 0;
    qint64 backAt = -1;
    double backSeconds = -1.0;
    bool closedSeen = false;

private:
    // The device goes away, and comes back under the same name later.
    void unplug(int rows) {
        answeredBefore = balance->answered;
        rowsAtUnplug = rows;
        balance.reset();
        device.reset();
        phase = Phase::Away;
        QTimer::singleShot(AwayMs, [this] {
            device = std::make_unique<BenchSupport::PtyPeer>();
            device->Open(Port, "link_unplug");
            balance = std::make_unique<Balance>(device->master);
            backAt = BenchSupport::NowNs();
            phase = Phase::Back;
        });
    }
};

// Prints the figures against their goals; true when every goal was met.
bool Report(const Unplugging& run, const CountingDialogs& dialogs, int answered, int rows) {
    const bool back = run.backSeconds >= 0 && run.backSeconds <= GoalBackSeconds;
    std::printf("link_unplug: automatic work at 0,5 s on COM1 (a pseudo-terminal); the device "
                "goes away after %d readings for %.1f s and comes back\n",
                run.rowsAtUnplug, AwayMs / 1000.0);
    std::printf("  link seen closed while away: %s; messages shown: %d%s\n",
                run.closedSeen ? "yes" : "no", dialogs.boxes,
                dialogs.boxes == 1 ? "" : "   <-- must be 1");
    if (!dialogs.first.isEmpty())
        std::printf("  the message: %s\n", qPrintable(dialogs.first.simplified()));
    std::printf("  device back -> next reading stored: %.3f s (goal at most %.0f s)%s\n",
                run.backSeconds, GoalBackSeconds, back ? "" : "   <-- missed");
    std::printf("  readings answered %d, rows stored %d, lost %d%s\n", answered, rows,
                answered - rows, answered == rows ? "" : "   <-- must be 0");
    return back && answered == rows && dialogs.boxes == 1 && run.closedSeen;
}

} // namespace

int main(int argc, char** argv) {
    Pomiar::KeepTimeZoneLoaded();
    MainWindowBench::Folders folders;
    auto device = std::make_unique<BenchSupport::PtyPeer>();
    if (!device->Open(Port, "link_unplug"))
        return 1;
    QApplication app(argc, argv);
    MainWindowBench::Program program;
    if (!program.Open(folders.Program(), Port, "link_unplug"))
        return 1;
    CountingDialogs dialogs;
    program.context.dialogs = &dialogs;
    Glowna& window = *program.window;
    window.Session().SetInterval(1);

    auto balance = std::make_unique<Balance>(device->master);
    window.StartCommand();
    QEventLoop loop;
    Unplugging run(program, device, balance, loop);
    QTimer step;
    QObject::connect(&step, &QTimer::timeout, [&run] { run.Step(); });
    step.start(5);
    loop.exec();
    window.Session().Stop();
    // A request already on its way is answered and stored before counting.
    QEventLoop settle;
    QTimer::singleShot(1000, &settle, &QEventLoop::quit);
    settle.exec();

    const int answered = run.answeredBefore + (balance ? int(balance->answered) : 0);
    return Report(run, dialogs, answered, window.Store().RowCount()) ? 0 : 1;
}
