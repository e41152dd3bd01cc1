#pragma once

#include "MordalExport.h"

#include <QObject>
#include <QString>

namespace Mordal {

inline constexpr const char* CommTypeName = "Brisko_2.Comm";
inline constexpr const char* CommInfoTypeName = "Brisko_2.CommInfo";

// Creates a control by its type name ("Brisko_2.Comm", "Brisko_2.CommInfo");
// null for a name the library does not know. The caller owns the result
// (or the parent does).
MORDAL_EXPORT QObject* CreateControl(const QString& typeName, QObject* parent = nullptr);

} // namespace Mordal

// The same factory with a C name, for hosts that load the library at run time.
extern "C" MORDAL_EXPORT QObject* Mordal_CreateControl(const char* typeName, QObject* parent);
