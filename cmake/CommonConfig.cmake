# One INTERFACE target carries the language level, the warnings and the Qt
# strictness macros; every target of the project links it.
add_library(tabula_settings INTERFACE)
target_compile_features(tabula_settings INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(tabula_settings INTERFACE
    $<$<COMPILE_LANGUAGE:CXX,C>:-Wall -Wextra -Wpedantic>)
target_compile_definitions(tabula_settings INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()
