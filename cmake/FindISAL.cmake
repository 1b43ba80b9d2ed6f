# Finds ISA-L (Debian: libisal-dev) and provides the imported target ISAL::isal.
# The core takes its carry-less-multiply CRC-32 from it.
find_path(ISAL_INCLUDE_DIR NAMES isa-l/crc.h)
find_library(ISAL_LIBRARY NAMES isal)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(ISAL
    REQUIRED_VARS ISAL_LIBRARY ISAL_INCLUDE_DIR
    REASON_FAILURE_MESSAGE "ISA-L is needed (header isa-l/crc.h, library libisal). scripts/setup.sh installs it (Debian package libisal-dev)")

if(ISAL_FOUND AND NOT TARGET ISAL::isal)
    # GLOBAL: programs in other directories link tabula_core, which carries it.
    add_library(ISAL::isal UNKNOWN IMPORTED GLOBAL)
    set_target_properties(ISAL::isal PROPERTIES
        IMPORTED_LOCATION "${ISAL_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${ISAL_INCLUDE_DIR}")
endif()
mark_as_advanced(ISAL_INCLUDE_DIR ISAL_LIBRARY)
