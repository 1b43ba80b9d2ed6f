# Fails when a source file includes a project header its layer may not use.
# Every project include names its layer from one root (src/ for the program,
# the repository for tests/), so a folder name alone decides what is allowed:
# the core sees no Qt and nothing of a front end, the command line nothing of
# the window, the unzip library nothing of the core but its byte reader, and
# no window folder reaches up into the program's top (gui/app/).
# Run as: cmake -D ROOT=<repository> -P CheckLayers.cmake
#
# Inside the core, folders come in levels, bottom first: a folder may include
# its own headers and those of folders on lower levels only, so dependencies
# run one way and no two folders include each other.
set(core_levels
    "bytes text"
    "platform"
    "checksum xml progress"
    "archive header"
    "zip"
    "romlist"
    "scan datafile"
    "cache reference")

# Each rule: folder | prefixes its quoted includes may start with. The
# longest folder that holds a file decides. "qt" allows Qt's headers.
set(rules
    "src/core/bytes|"
    "src/unziplib|unziplib/ core/bytes/ unziplib.h"
    "src/core|core/ unziplib.h"
    "src/cli|cli/ core/"
    "src/gui|gui/common/ gui/datafile/ gui/romlist/ gui/scan/ gui/widgets/ gui/zip/ core/ qt"
    "src/gui/app|gui/ core/ qt"
    "tests/support|tests/support/ core/"
    "tests/core|tests/core/ tests/support/ tests/unziplib/ core/ unziplib.h"
    "tests/unziplib|tests/unziplib/ unziplib.h"
    "tests/cli|tests/cli/ tests/support/ cli/ core/"
    "tests/gui|tests/support/ gui/ core/ qt .moc"
    "tests/fuzz|tests/fuzz/ core/ unziplib.h"
    "bench|core/ gui/ qt")

cmake_minimum_required(VERSION 3.25)

if(NOT ROOT)
    message(FATAL_ERROR "CheckLayers.cmake needs -D ROOT=<repository>")
endif()
file(GLOB_RECURSE files RELATIVE "${ROOT}"
     "${ROOT}/src/*.h" "${ROOT}/src/*.cpp" "${ROOT}/src/*.c"
     "${ROOT}/tests/*.h" "${ROOT}/tests/*.cpp" "${ROOT}/bench/*.h" "${ROOT}/bench/*.cpp")

set(level 0)
foreach(folders IN LISTS core_levels)
    string(REPLACE " " ";" folders "${folders}")
    foreach(folder IN LISTS folders)
        set(level_of_${folder} ${level})
    endforeach()
    math(EXPR level "${level} + 1")
endforeach()

# The level of core folder name (a path "core/<folder>/..."), or -1.
function(core_level path out)
    set(${out} -1 PARENT_SCOPE)
    if(path MATCHES "^core/([^/]+)/")
        if(DEFINED level_of_${CMAKE_MATCH_1})
            set(${out} ${level_of_${CMAKE_MATCH_1}} PARENT_SCOPE)
        else()
            set(${out} unknown PARENT_SCOPE)
        endif()
    endif()
endfunction()

set(faults "")
foreach(file IN LISTS files)
    set(allowed "")
    set(best -1)
    foreach(rule IN LISTS rules)
        string(FIND "${rule}" "|" bar)
        string(SUBSTRING "${rule}" 0 ${bar} folder)
        math(EXPR from "${bar} + 1")
        string(SUBSTRING "${rule}" ${from} -1 prefixes)
        string(LENGTH "${folder}" length)
        string(FIND "${file}" "${folder}/" at)
        if(at EQUAL 0 AND length GREATER best)
            set(best ${length})
            string(REPLACE " " ";" allowed "${prefixes}")
        endif()
    endforeach()
    if(best EQUAL -1)
        continue()
    endif()
    set(own_level -1)
    set(own_folder "")
    if(file MATCHES "^src/(core/[^/]+)/")
        set(own_folder "${CMAKE_MATCH_1}")
        string(REGEX REPLACE "^src/" "" relative "${file}")
        core_level("${relative}" own_level)
        if(own_level STREQUAL "unknown")
            string(APPEND faults "\n  ${file}: its folder has no level in core_levels")
            continue()
        endif()
    endif()
    file(STRINGS "${ROOT}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line IN LISTS lines)
        if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
            set(name "${CMAKE_MATCH_1}")
            set(ok FALSE)
            foreach(prefix IN LISTS allowed)
                if(prefix STREQUAL ".moc")
                    if(name MATCHES "\\.moc$")
                        set(ok TRUE)
                    endif()
                elseif(NOT prefix STREQUAL "qt")
                    string(FIND "${name}" "${prefix}" at)
                    if(at EQUAL 0)
                        set(ok TRUE)
                    endif()
                endif()
            endforeach()
            if(NOT ok)
                string(APPEND faults "\n  ${file}: \"${name}\"")
            elseif(NOT own_level EQUAL -1 AND name MATCHES "^core/" AND
                   NOT name MATCHES "^${own_folder}/")
                core_level("${name}" their_level)
                if(their_level STREQUAL "unknown" OR NOT their_level LESS own_level)
                    string(APPEND faults "\n  ${file}: \"${name}\" (not on a lower level of the core)")
                endif()
            endif()
        elseif(line MATCHES "#[ \t]*include[ \t]*<(Q[^>]*)>" AND NOT "qt" IN_LIST allowed)
            string(APPEND faults "\n  ${file}: <${CMAKE_MATCH_1}> (no Qt in this layer)")
        endif()
    endforeach()
endforeach()

if(faults)
    message(FATAL_ERROR "Includes across layers:${faults}")
endif()
