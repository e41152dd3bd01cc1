// Storing what continuous transmission collected: 10,000 frames in one
// batch, as when the operator ends the transmission.
#include "BalanceProtocol.h"
#include "BatchReader.h"
#include "MeasurementStore.h"
#include "ProgramContext.h"
#include "QtUserDialogs.h"
#include "StoreBench.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

using namespace Pomiar;

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    StoreBench::ScratchProgram program;
    ProgramContext& context = program.context;
    MeasurementStore store(context);
    store.OtworzMagazyn();
    QTableView grid;
    grid.setModel(&store.Model());
    grid.show();

    const int frames = 10000;
    ContinuousBuffers buffers;
    const QDateTime start = QDateTime::currentDateTime();
    store.SetSeriesStart(start);
    for (int i = 0; i < frames; ++i)
        buffers.Append(QByteArray("SI    12.") + QByteArray::number(1000 + i % 1000) + " g  \r\n",
                       start.addMSecs(i * 100));
    QElapsedTimer clock;
    clock.start();
    const ReadingAcceptance::Rules rules = ReadingAcceptance::StoreRules(store);
    const BatchReader reader(rules);
    store.DodajPomiary(reader.Read(buffers, BalanceDialect(), nullptr));
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("store_batch: %d continuous frames stored in %.3f s (%d rows; goal at most 1 s)\n",
                frames, seconds, store.RowCount());
    return store.RowCount() == frames ? 0 : 1;
}
