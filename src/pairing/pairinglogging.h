#ifndef PAIRINGLOGGING_H
#define PAIRINGLOGGING_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPairing)

#endif // PAIRINGLOGGING_H
