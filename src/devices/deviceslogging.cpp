#include "deviceslogging.h"

Q_LOGGING_CATEGORY(lcDevices, "ovrin.devices")
