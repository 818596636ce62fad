# Fails when doxygen left any warning in LOG, and shows them all (doxygen's own
# WARN_AS_ERROR stops at the first); otherwise touches STAMP.
file(READ ${LOG} warnings)
if(NOT warnings STREQUAL "")
    message(FATAL_ERROR "The API reference has warnings:\n${warnings}")
endif()
file(TOUCH ${STAMP})
