#ifndef DEVICESLOGGING_H
#define DEVICESLOGGING_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcDevices)

#endif // DEVICESLOGGING_H
