# libcrypto (MD5, SHA-1) and libxml2 (the XML datafile) are loaded by the core
# when first needed, not named by the programs: most runs use neither, and
# loading both took half of a run's start. The core loads them by the file
# names their packages install (the SONAME), read here from the libraries
# found, and compiles against their headers as usual.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(LibXml2 REQUIRED)

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
set(TABULA_SYSTEM_LIBRARY_INCLUDES ${OPENSSL_INCLUDE_DIR} ${LIBXML2_INCLUDE_DIRS})

# The Debian packages that hold them: the package depends on them by name,
# since dpkg-shlibdeps sees only the libraries the programs name.
set(TABULA_SYSTEM_LIBRARY_PACKAGES "")
foreach(soname IN ITEMS "${TABULA_LIBCRYPTO_SONAME}" "${TABULA_LIBXML2_SONAME}")
    execute_process(COMMAND dpkg-query -S "*/${soname}"
        OUTPUT_VARIABLE owner RESULT_VARIABLE failed ERROR_QUIET)
    if(NOT failed AND owner MATCHES "^([^:, \n]+)")
        list(APPEND TABULA_SYSTEM_LIBRARY_PACKAGES "${CMAKE_MATCH_1}")
    endif()
endforeach()
