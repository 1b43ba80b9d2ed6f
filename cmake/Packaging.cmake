# Installation under the GNU directories, the desktop's files, and the Debian
# package that CPack makes from them (cpack -G DEB in a build folder).
include(GNUInstallDirs)

# The unzip library is the programs' own: a private folder under the library
# directory (lib/x86_64-linux-gnu/tabula on Debian), found through a run path
# relative to the programs' folder, so an installation under any prefix works.
# In the build folder the library sits beside the programs, where they look
# first (ExecutableDirectory). One run path serves both: a build run path
# rewritten in place at installation is padded with empty entries, which the
# loader reads as the current directory, so a library planted in the folder
# a program is started from would load.
set(TABULA_PRIVATE_LIBDIR "${CMAKE_INSTALL_LIBDIR}/tabula")
file(RELATIVE_PATH tabula_bin_to_private "${CMAKE_INSTALL_FULL_BINDIR}"
     "${CMAKE_INSTALL_FULL_LIBDIR}/tabula")
set(tabula_programs tabula-cli)
if(TARGET tabula)
    list(APPEND tabula_programs tabula)
endif()
set_target_properties(${tabula_programs} PROPERTIES
    BUILD_WITH_INSTALL_RPATH ON
    INSTALL_RPATH "$ORIGIN/${tabula_bin_to_private}")
install(TARGETS ${tabula_programs} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(TARGETS unziplib LIBRARY DESTINATION "${TABULA_PRIVATE_LIBDIR}")

# Man pages, with the project's version, compressed as Debian installs them.
set(tabula_pages tabula-cli)
if(TARGET tabula)
    list(APPEND tabula_pages tabula)
endif()
foreach(page IN LISTS tabula_pages)
    set(source "${PROJECT_SOURCE_DIR}/data/man/${page}.1")
    set(page_out "${CMAKE_BINARY_DIR}/man/${page}.1")
    configure_file("${source}" "${page_out}" @ONLY)
    add_custom_command(OUTPUT "${page_out}.gz"
        COMMAND gzip -9 -n -f -k "${page_out}"
        DEPENDS "${page_out}"
        COMMENT "Compressing the ${page}(1) man page")
    list(APPEND tabula_man_outputs "${page_out}.gz")
    install(FILES "${page_out}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endforeach()
add_custom_target(tabula_man ALL DEPENDS ${tabula_man_outputs})

if(TARGET tabula)
    set(tabula_id io.github.tabula.tabula)
    # The release the metainfo announces is this version.
    file(READ "${PROJECT_SOURCE_DIR}/data/${tabula_id}.metainfo.xml" tabula_metainfo)
    string(FIND "${tabula_metainfo}" "<release version=\"${PROJECT_VERSION}\"" tabula_release)
    if(tabula_release EQUAL -1)
        message(FATAL_ERROR "data/${tabula_id}.metainfo.xml has no release ${PROJECT_VERSION}")
    endif()
    install(FILES "${PROJECT_SOURCE_DIR}/data/${tabula_id}.desktop"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
    install(FILES "${PROJECT_SOURCE_DIR}/data/${tabula_id}.metainfo.xml"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")

    # The icon: the progress window's picture, scalable and in the usual sizes.
    set(tabula_icon_svg "${PROJECT_SOURCE_DIR}/data/icons/tabula.svg")
    set(tabula_icon_dir "${CMAKE_BINARY_DIR}/icons/hicolor")
    set(tabula_icon_sizes 16 22 24 32 48 64 128 256)
    set(tabula_icon_outputs)
    foreach(size IN LISTS tabula_icon_sizes)
        list(APPEND tabula_icon_outputs "${tabula_icon_dir}/${size}x${size}/apps/tabula.png")
    endforeach()
    add_custom_command(OUTPUT ${tabula_icon_outputs}
        COMMAND "${CMAKE_COMMAND}" -E env QT_QPA_PLATFORM=offscreen
                "$<TARGET_FILE:render_icon>" "${tabula_icon_svg}" "${tabula_icon_dir}"
                ${tabula_icon_sizes}
        DEPENDS render_icon "${tabula_icon_svg}"
        COMMENT "Drawing the icon's PNG sizes")
    add_custom_target(tabula_icons ALL DEPENDS ${tabula_icon_outputs})
    install(FILES "${tabula_icon_svg}"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
    foreach(size IN LISTS tabula_icon_sizes)
        install(FILES "${tabula_icon_dir}/${size}x${size}/apps/tabula.png"
                DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
    endforeach()
endif()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tabula)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The tabula developers")
set(CPACK_PACKAGE_CONTACT "The tabula developers <tabula@users.noreply.github.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "make datafiles of ROM collections for a ROM manager")
# The body under the summary line; CPack indents it and marks the empty line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "tabula checksums every ROM at the top level of a directory of ROM images and
zip archives (CRC-32 and size, optionally with the NES or SNES copier header
cut off), shows one editable row per ROM, and saves the rows, behind a header
of credits, as the datafile a ROM manager reads.

The package holds the window program, tabula, and tabula-cli, the same scan
from the command line for scripts. Split zip sets are read from their last
volume; a datafile is never replaced by a half-written one.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/tabula/tabula")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so not found by the above (SystemLibraries.cmake).
list(JOIN TABULA_SYSTEM_LIBRARY_PACKAGES ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
include(CPack)
