# The Debian package: cpack -G DEB in the build folder makes clipnest_VERSION_ARCH.deb
# from the install rules. Libraries the program links come from dpkg-shlibdeps;
# what it loads at run time is named here.
set(CPACK_PACKAGE_NAME clipnest)
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_CONTACT "Orvane <support@clipnest.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "note keeper that captures web clips by drag and drop")
# One line of the control file each; Debian wants them within 80 columns
# (CPack puts a space before each).
set(CPACK_PACKAGE_DESCRIPTION
    "Clipnest keeps what you drag out of web pages as notes. A small\n"
    "always-on-top drop box takes a browser selection, a link or files and\n"
    "turns them into a note whose pictures are stored beside it, so it reads\n"
    "offline. Notes are HTML files filed in a catalog tree and indexed by an\n"
    "embedded Firebird database and a full-text index. They can be edited,\n"
    "printed to PDF, exported as web pages and backed up. The interface is in\n"
    "English and Chinese.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_HOMEPAGE_URL https://clipnest.app)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A Debian revision: the package is not a Debian native one, so its changelog
# is changelog.Debian.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded, not linked: Qt's Firebird driver and the embedded engine, the SVG
# plugins that draw the icon, and the icon theme the toolbars and menus name
# their pictures from (without it the toolbar buttons have no pictures at all).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-ibase, firebird3.0-server-core, libqt6svg6, adwaita-icon-theme")
# Qt's own translations give the standard buttons in Chinese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk, xdg-utils, qt6-image-formats-plugins, qt6-gtk-platformtheme, qt6-wayland, qt6-translations-l10n")

# What Debian asks of every package beside the program: the copyright file
# (machine-readable) and the changelog, compressed without a name or time
# inside; and lintian's overrides. Only in the package: a cmake --install for
# one user goes without.
find_program(GZIP gzip REQUIRED)
set(CLIPNEST_DEBIAN_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
set(debian_changelog ${CMAKE_BINARY_DIR}/debian/changelog.Debian)
configure_file(resources/debian/changelog ${debian_changelog} @ONLY)
add_custom_command(
    OUTPUT ${debian_changelog}.gz
    COMMAND ${GZIP} -9nkf ${debian_changelog}
    DEPENDS ${debian_changelog})
add_custom_target(debian_changelog ALL DEPENDS ${debian_changelog}.gz)
set(debian_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/clipnest)
install(FILES resources/debian/copyright ${debian_changelog}.gz
        DESTINATION ${debian_doc_dir} COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES resources/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME clipnest COMPONENT debian EXCLUDE_FROM_ALL)
# The package holds everything of a full install and the Debian files.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};Clipnest;ALL;/" "${CMAKE_BINARY_DIR};Clipnest;debian;/")

include(CPack)
