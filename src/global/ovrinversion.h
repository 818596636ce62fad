#ifndef OVRINVERSION_H
#define OVRINVERSION_H

#include "ovringlobal.h"

#include <QString>

namespace Ovrin {

/// Version of the library the caller runs against, e.g. "0.1.0".
OVRIN_EXPORT QString libraryVersion();

} // namespace Ovrin

#endif // OVRINVERSION_H
