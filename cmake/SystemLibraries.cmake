# libcrypto (MD5, SHA-1) and libxml2 (the XML datafile) are loaded by the core
# when first needed, not named by the programs: most runs use neither, and
# loading both took half of a run's start. The core loads them by the file
# names their packages install (the SONAME), read here from the libraries
# found, and compiles against their headers as usual.
#
# The same holds for the archive libraries: libarchive reads 7z and RAR
# members, liblzma decodes a 7z header and zip members in LZMA and xz, libbz2
# and libzstd zip members in bzip2 and zstd.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(LibXml2 REQUIRED)
find_package(LibArchive REQUIRED)
find_package(LibLZMA REQUIRED)
find_package(BZip2 REQUIRED)
find_library(TABULA_ZSTD_LIBRARY NAMES zstd REQUIRED)
find_path(TABULA_ZSTD_INCLUDE_DIR NAMES zstd.h REQUIRED)

function(tabula_soname out library)
    get_filename_component(real "${library}" REALPATH)
    execute_process(COMMAND "${CMAKE_OBJDUMP}" -p "${real}"
        OUTPUT_VARIABLE dump RESULT_VARIABLE failed ERROR_QUIET)
    if(failed OR NOT dump MATCHES "SONAME[ \t]+([^ \t\r\n]+)")
        message(FATAL_ERROR "Cannot read the SONAME of ${library} (objdump: ${CMAKE_OBJDUMP})")
    endif()
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()

tabula_soname(TABULA_LIBCRYPTO_SONAME "${OPENSSL_CRYPTO_LIBRARY}")
tabula_soname(TABULA_LIBXML2_SONAME "${LIBXML2_LIBRARY}")
tabula_soname(TABULA_LIBARCHIVE_SONAME "${LibArchive_LIBRARIES}")
list(GET LIBLZMA_LIBRARIES 0 tabula_lzma_library)
tabula_soname(TABULA_LIBLZMA_SONAME "${tabula_lzma_library}")
list(GET BZIP2_LIBRARIES 0 tabula_bz2_library)
tabula_soname(TABULA_LIBBZ2_SONAME "${tabula_bz2_library}")
tabula_soname(TABULA_LIBZSTD_SONAME "${TABULA_ZSTD_LIBRARY}")
set(TABULA_SYSTEM_LIBRARY_INCLUDES ${OPENSSL_INCLUDE_DIR} ${LIBXML2_INCLUDE_DIRS}
    ${LibArchive_INCLUDE_DIRS} ${LIBLZMA_INCLUDE_DIRS} ${BZIP2_INCLUDE_DIRS}
    ${TABULA_ZSTD_INCLUDE_DIR})

# The Debian packages that hold them: the package depends on them by name,
# since dpkg-shlibdeps sees only the libraries the programs name.
set(TABULA_SYSTEM_LIBRARY_PACKAGES "")
foreach(soname IN ITEMS "${TABULA_LIBCRYPTO_SONAME}" "${TABULA_LIBXML2_SONAME}"
        "${TABULA_LIBARCHIVE_SONAME}" "${TABULA_LIBLZMA_SONAME}" "${TABULA_LIBBZ2_SONAME}"
        "${TABULA_LIBZSTD_SONAME}")
    execute_process(COMMAND dpkg-query -S "*/${soname}"
        OUTPUT_VARIABLE owner RESULT_VARIABLE failed ERROR_QUIET)
    if(NOT failed AND owner MATCHES "^([^:, \n]+)")
        list(APPEND TABULA_SYSTEM_LIBRARY_PACKAGES "${CMAKE_MATCH_1}")
    endif()
endforeach()
