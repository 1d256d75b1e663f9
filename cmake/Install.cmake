# The installed desktop program and its Debian package (`cpack -G DEB` in the
# build folder). The desktop entry beside bin/ tells the program it is
# installed, so it keeps its settings in ~/.config/mirvo.
include(GNUInstallDirs)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/mirvo)
install(TARGETS mirvo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/mirvo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/org.mirvo.Mirvo.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES data/mirvo.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES data/icons/mirvo-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME mirvo.png)
endforeach()
# Where the Documentation command looks for an installed program.
install(FILES docs/Documentation.html DESTINATION ${doc_dir})
install(FILES data/debian/copyright DESTINATION ${doc_dir})

# The manual page and the changelog go compressed, as Debian keeps them.
find_program(GZIP gzip REQUIRED)
foreach(doc mirvo.1 debian/changelog)
  get_filename_component(name ${doc} NAME)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${name}.gz
    COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/data/${doc} > ${CMAKE_BINARY_DIR}/${name}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/data/${doc} VERBATIM)
  list(APPEND compressed_docs ${CMAKE_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(mirvo_docs ALL DEPENDS ${compressed_docs})
install(FILES ${CMAKE_BINARY_DIR}/mirvo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mirvo)
set(CPACK_PACKAGE_VERSION ${MIRVO_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keyboard-driven audio player")
set(CPACK_PACKAGE_DESCRIPTION
    "One window, one playlist, every command on a key. MP3, WAV, Ogg Vorbis,
FLAC and tracker modules play without gaps between tracks; internet radio
plays with song titles and can be recorded.")
set(CPACK_PACKAGE_CONTACT "Mirvo developers <mirvo@example.org>")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# The run-time libraries' packages, as dpkg-shlibdeps finds them for the binary.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# For file associations: the MIME cache is rebuilt when this is there.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "desktop-file-utils, xdg-utils")
include(CPack)
