#ifndef OVRINGLOBAL_H
#define OVRINGLOBAL_H

#include <QtCore/qglobal.h>

#if defined(OVRIN_BUILD_LIBRARY)
#define OVRIN_EXPORT Q_DECL_EXPORT
#else
#define OVRIN_EXPORT Q_DECL_IMPORT
#endif

#endif // OVRINGLOBAL_H
