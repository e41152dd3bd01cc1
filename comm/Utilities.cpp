#include "Utilities.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#include <chrono>
#include <cstring>

namespace Mordal {

namespace {
int lastSystemError = 0;
}

int64_t MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool StillWithin(int64_t startMs, int64_t limitMs) {
    return MonotonicMs() - startMs <= limitMs;
}

void PumpMessages() {
    QCoreApplication::processEvents();
}

void DelayPumping(int ms) {
    const int64_t start = MonotonicMs();
    PumpMessages();
    for (;;) {
        const int64_t remaining = ms - (MonotonicMs() - start);
        if (remaining <= 0)
            break;
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(remaining), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        loop.exec();
    }
}

QString SystemMessageText(int code) {
    // strerrorname_np answers null for numbers the C library has no name for;
    // those have no text of their own ("Unknown error n" is not a text).
    if (code <= 0 || strerrorname_np(code) == nullptr)
        return {};
    char buffer[256];
    const char* text = strerror_r(code, buffer, sizeof buffer);
    QString result = QString::fromLocal8Bit(text).left(255);
    result.remove(QLatin1Char('\r'));
    result.remove(QLatin1Char('\n'));
    return result.trimmed();
}

int LastSystemError() {
    return lastSystemError;
}

void SetLastSystemError(int code) {
    lastSystemError = code;
}

void ShowLibraryVersion() {
    const QString text = QStringLiteral("Mordal %1").arg(QStringLiteral(MORDAL_VERSION));
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QMessageBox::information(nullptr, QStringLiteral("Mordal"), text);
    else
        qInfo("%s", qPrintable(text));
}

} // namespace Mordal
