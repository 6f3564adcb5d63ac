# CPack: the Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantorix2)
set(CPACK_PACKAGE_VENDOR "the Vantorix II team")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The domain of the app id org.vantorix.Vantorix2; the changelog signs with it too.
set(CPACK_PACKAGE_CONTACT "The Vantorix II team <vantorix2@vantorix.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "falling-block colour puzzle")
set(CPACK_PACKAGE_DESCRIPTION
  "Small figures of one, two or three cells, each cell in one of six colours, fall
into a well seven cells wide and eighteen deep. Every line of three or more
cells of one colour, across, down or on a diagonal, is removed, and the cells
above sink into further chains. Sixteen levels, an autopilot, the thirty best
scores kept on the computer, Russian and English captions.

The package also holds vantorix2-records, the records web site the game
publishes its best scores to, and vantorix2-sim, the game's engine driven by
JSON lines without a window.")

# vantorix2_2.0_amd64.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
# What make install puts, and lintian's notes on the package, which only the package has.
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};ALL;/"
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};debian;/")

# dpkg-shlibdeps finds the linked libraries. It cannot see what Qt and the
# game load by name at run time: the platform plugins, the Liberation fonts
# found through fontconfig. Debian's libqt6multimedia6 has the sound back end
# (a PulseAudio client) built in, so shlibdeps covers it; it needs a
# PulseAudio server, PipeWire's will do, and without one the game is silent.
# Qt opens the records page in the browser through xdg-open. Qt's own
# translations give the dialog buttons their Russian texts.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# With it CPackDeb writes postinst and postrm calling ldconfig when a shared
# object sits in lib/ or one folder below; the sound plugin is two below
# (lib/<triplet>/vantorix2, CMakeLists.txt): the game opens it by its path,
# so it needs no ldconfig.
# libcurl is loaded when the game first publishes, so shlibdeps cannot see
# it; CURLOPT_PROTOCOLS_STR came with 7.85.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation2, libcurl4 (>= 7.85.0)")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse, xdg-utils, qt6-translations-l10n")
# vantorix2-records may keep its results in PostgreSQL, several of them behind nginx;
# the example site's placeholder certificate is ssl-cert's.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "postgresql, nginx, ssl-cert")

include(CPack)
