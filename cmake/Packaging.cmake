# The Debian package: cpack -G DEB in the build folder makes clipnest_VERSION_ARCH.deb
# from the install rules. Libraries the program links come from dpkg-shlibdeps;
# what it loads at run time is named here.
set(CPACK_PACKAGE_NAME clipnest)
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_CONTACT "Orvane <support@clipnest.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "note keeper that captures web clips by drag and drop")
set(CPACK_PACKAGE_DESCRIPTION
    "Clipnest keeps what you drag out of web pages as notes. A small always-on-top\n"
    "drop box takes a browser selection, a link or files and turns them into a note\n"
    "whose pictures are stored beside it, so it reads offline. Notes are HTML files\n"
    "filed in a catalog tree and indexed by an embedded Firebird database. They can\n"
    "be edited, printed to PDF, exported as web pages and backed up. The interface is\n"
    "in English and Chinese.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_HOMEPAGE_URL https://clipnest.app)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded, not linked: Qt's Firebird driver and the embedded engine, the SVG
# plugins that draw the icon, and the icon theme the toolbars and menus name
# their pictures from (without it the toolbar buttons have no pictures at all).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-ibase, firebird3.0-server-core, libqt6svg6, adwaita-icon-theme")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-wqy-microhei | fonts-noto-cjk, xdg-utils, qt6-image-formats-plugins, qt6-gtk-platformtheme, qt6-wayland")

include(CPack)
