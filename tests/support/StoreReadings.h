#pragma once

#include "AcceptedReading.h"
#include "MeasurementStore.h"
#include "NumberText.h"

// A single reading as the acquisition hands it over, from the value text
// and unit the reader found (the mass by the "%" rule).
inline bool AppendReading(Pomiar::MeasurementStore& store, const QString& valueText,
                          const QString& unit, const QDateTime& time,
                          const QByteArray& frame = {}) {
    Pomiar::AcceptedReading reading;
    reading.mass = Pomiar::NumberText::MassOf(valueText, unit);
    reading.unit = unit;
    reading.time = time;
    reading.frame = frame;
    reading.description = QStringLiteral(" ");
    return store.DodajPomiar(reading);
}
