#include "obexlogging.h"

Q_LOGGING_CATEGORY(lcObex, "ovrin.obex")
