# Installs the build into a fresh prefix and checks that the installed
# tabula-cli finds its private unzip library there: its NES scan of zip
# archives gives the rows the build folder's program gives.
# -D BUILD_DIR=... -D PREFIX=... -D ROMS=... -D LIBDIR=...
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "installing into ${PREFIX} failed")
endif()
foreach(file bin/tabula-cli "${LIBDIR}/tabula/libunziplib.so" share/man/man1/tabula-cli.1.gz)
    if(NOT EXISTS "${PREFIX}/${file}")
        message(FATAL_ERROR "${file} was not installed")
    endif()
endforeach()
if(EXISTS "${PREFIX}/bin/libunziplib.so")
    message(FATAL_ERROR "the unzip library was installed beside the programs")
endif()
execute_process(COMMAND "${BUILD_DIR}/bin/tabula-cli" -q --nes "${ROMS}"
                OUTPUT_VARIABLE built RESULT_VARIABLE built_status)
execute_process(COMMAND "${PREFIX}/bin/tabula-cli" -q --nes "${ROMS}"
                OUTPUT_VARIABLE installed ERROR_VARIABLE installed_err
                RESULT_VARIABLE installed_status)
file(REMOVE_RECURSE "${PREFIX}")
if(NOT installed_status EQUAL built_status OR NOT installed STREQUAL built OR built STREQUAL "")
    message(FATAL_ERROR "installed: ${installed_status}\n${installed}${installed_err}\n"
                        "built: ${built_status}\n${built}")
endif()
