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
# What the programs load at run time: the Qt libraries and plugins (the
# platform and TLS ones), libmpv for the player, and a CJK font for the
# texts.
set(VELMORA_DEB_DEPENDS
    "libqt6core6 (>= 6.4)"
    "libqt6gui6 (>= 6.4)"
    "libqt6widgets6 (>= 6.4)"
    "libqt6network6 (>= 6.4)"
    "libqt6dbus6 (>= 6.4)"
    "qt6-qpa-plugins"
    "libc6"
    "libstdc++6"
    "libmpv2"
    "qt6-translations-l10n"
    "fonts-wqy-microhei | fonts-noto-cjk")
list(JOIN VELMORA_DEB_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

if(WIN32)
    # The programs with the README, the license (GPL-3.0-or-later; the static
    # Qt inside is under it as well) and the command line's manual.
    install(FILES README.md LICENSE DESTINATION .)
    install(FILES docs/cli.md DESTINATION docs)
    set(CPACK_PACKAGE_FILE_NAME "velmora-${CPACK_PACKAGE_VERSION}-windows-x64")
else()
    # GPL-3.0-or-later, as the libmpv the player is built on.
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright
            DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

include(CPack)
