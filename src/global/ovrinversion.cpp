#include "ovrinversion.h"

QString Ovrin::libraryVersion()
{
    return QStringLiteral(OVRIN_VERSION_STRING);
}
