#include "pairinglogging.h"

Q_LOGGING_CATEGORY(lcPairing, "ovrin.pairing")
