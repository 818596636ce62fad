#include "audiologging.h"

Q_LOGGING_CATEGORY(lcAudio, "ovrin.audio")
