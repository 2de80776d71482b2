# `cpack -G DEB` in a build directory makes the Debian package; on Windows,
# `cpack -G ZIP` the download.

set(CPACK_PACKAGE_NAME "velmora")
set(CPACK_PACKAGE_VENDOR "Velmora")
set(CPACK_PACKAGE_VERSION "${VELMORA_DISPLAY_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Resolve Velmora play-page addresses and play the tracks")
set(CPACK_PACKAGE_DESCRIPTION
    "A window that turns the address of a Velmora play page into the track's\n"
    "direct audio address and plays it, and velmora-resolve, which does the\n"
    "same on the command line.")
set(CPACK_PACKAGE_CONTACT "Velmora <dev@velmora.cn>")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.velmora.cn/")
# The libraries the programs are linked with (Qt, libmpv, …), as
# dpkg-shlibdeps finds them, and what they load besides (runtime-packages).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/runtime-packages VELMORA_DEB_DEPENDS REGEX "^[^#]")
list(JOIN VELMORA_DEB_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

if(WIN32)
    # The programs with the README, the license (GPL-3.0-or-later; the static
    # Qt inside is under it as well, as libmpv is), the command line's manual
    # and, where the build was given one, where the sources of all of it are.
    install(FILES README.md LICENSE DESTINATION .)
    install(FILES docs/cli.md DESTINATION docs)
    set(VELMORA_SOURCES_OFFER "" CACHE FILEPATH
        "A text saying where the sources of the programs and the libraries inside are")
    if(VELMORA_SOURCES_OFFER)
        install(FILES "${VELMORA_SOURCES_OFFER}" DESTINATION . RENAME SOURCES.txt)
    endif()
    set(CPACK_PACKAGE_FILE_NAME "velmora-${CPACK_PACKAGE_VERSION}-windows-x64")

    # The installer (Debian's nsis): the same files as the ZIP, installed for
    # the user alone with a Start-menu entry and the velmora: link handler.
    find_program(MAKENSIS makensis)
    if(MAKENSIS AND VELMORA_BUILD_WINDOW)
        set(VELMORA_INSTALLER_FILES "${CMAKE_BINARY_DIR}/installer-files")
        set(VELMORA_INSTALLER_FILE
            "${CMAKE_BINARY_DIR}/velmora-${VELMORA_DISPLAY_VERSION}-windows-x64-setup.exe")
        configure_file(${CMAKE_CURRENT_LIST_DIR}/installer.nsi.in installer.nsi @ONLY)
        add_custom_target(installer
            COMMAND ${CMAKE_COMMAND} -E rm -rf "${VELMORA_INSTALLER_FILES}"
            COMMAND ${CMAKE_COMMAND} --install "${CMAKE_BINARY_DIR}"
                    --prefix "${VELMORA_INSTALLER_FILES}" --strip
            COMMAND ${MAKENSIS} -V2 "${CMAKE_BINARY_DIR}/installer.nsi"
            DEPENDS velmora velmora-resolve
            BYPRODUCTS "${VELMORA_INSTALLER_FILE}"
            VERBATIM)
    endif()
else()
    # GPL-3.0-or-later, as the libmpv the player is built on.
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright
            DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

include(CPack)
