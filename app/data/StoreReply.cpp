#include "StoreReply.h"

#include "MeasurementStore.h"
#include "ReadingHandler.h"

namespace Pomiar {

bool StoreReply(MeasurementStore& store, const QByteArray& frame, const QDateTime& received,
                bool reportCapture, const std::function<void(const QString&)>& logError,
                bool* outsideLimits) {
    ReadingHandler::HandlerContext handler;
    handler.reportCapture = reportCapture;
    handler.locale = store.locale;
    handler.outsideLimits = [&store, outsideLimits](const QString& value) {
        const bool outside = store.limits.Outside(value, store.locale);
        if (outsideLimits)
            *outsideLimits = outside;
        return outside;
    };
    handler.logError = logError;
    if (outsideLimits)
        *outsideLimits = false;
    const auto reading = ReadingHandler::PrzetworzOdczyt(frame, received, handler);
    if (!reading)
        return false;
    try {
        return store.DodajPomiar(reading->valueText, reading->unit, reading->time);
    } catch (const std::exception& error) {
        logError(QString::fromLocal8Bit(error.what()));
        return false;
    }
}

} // namespace Pomiar
