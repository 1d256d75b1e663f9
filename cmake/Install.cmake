# The installed desktop program and its Debian package (`cpack -G DEB` in the
# build folder). The desktop entry beside bin/ tells the program it is
# installed, so it keeps its settings in ~/.config/mirvo.
include(GNUInstallDirs)
install(TARGETS mirvo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/mirvo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/mirvo.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Where the Documentation command looks for an installed program.
install(FILES docs/Documentation.html DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/mirvo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mirvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keyboard-driven audio player")
set(CPACK_PACKAGE_DESCRIPTION
    "One window, one playlist, every command on a key. MP3, WAV, Ogg Vorbis, FLAC and tracker modules play without gaps between tracks.")
set(CPACK_PACKAGE_CONTACT "Mirvo developers <mirvo@localhost>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# The run-time libraries' packages, as dpkg-shlibdeps finds them for the binary.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# For file associations: the MIME cache is rebuilt when this is there.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "desktop-file-utils, xdg-utils")
include(CPack)
