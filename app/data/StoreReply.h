#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>

namespace Pomiar {

class MeasurementStore;

// A reply of the balance through the reading handler into the series, with
// the series' number locale and acceptance limits: the one path by which a
// requested reading becomes a row, for the program and for scripts. False
// when the reply was not a reading or could not be stored; each failed step
// goes to logError. outsideLimits, when given, tells whether the acceptance
// limits held the reading back.
bool StoreReply(MeasurementStore& store, const QByteArray& frame, const QDateTime& received,
                bool reportCapture, const std::function<void(const QString&)>& logError,
                bool* outsideLimits = nullptr);

} // namespace Pomiar
