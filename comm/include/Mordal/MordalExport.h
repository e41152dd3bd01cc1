#pragma once

#include <QtCore/qglobal.h>

#if defined(MORDAL_LIBRARY)
#define MORDAL_EXPORT Q_DECL_EXPORT
#else
#define MORDAL_EXPORT Q_DECL_IMPORT
#endif
