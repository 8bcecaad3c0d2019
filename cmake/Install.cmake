# Where everything goes on `cmake --install`, and the .deb built from it.
include(GNUInstallDirs)

install(TARGETS tidewell RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET tidewell-dialog)
  install(TARGETS tidewell-dialog LIBRARY DESTINATION ${TIDEWELL_MODULE_DIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tidewell.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/jp.koru.Tidewell.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# Debian wants the manual page and the changelog compressed (-n: the same
# bytes on every build).
set(TIDEWELL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tidewell)
foreach(doc tidewell.1 changelog)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${doc}.gz
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/${doc} > ${PROJECT_BINARY_DIR}/${doc}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${doc})
  list(APPEND tidewell_compressed_docs ${PROJECT_BINARY_DIR}/${doc}.gz)
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${tidewell_compressed_docs})
install(FILES ${PROJECT_BINARY_DIR}/tidewell.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${TIDEWELL_DOC_DIR})
foreach(size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/src/ui/icons/tidewell-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME tidewell.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/src/ui/icons/tidewell.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tidewell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR KORU)
set(CPACK_PACKAGE_CONTACT "KORU <tidewell@koru.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Cut or restore the line feeds of HARUCOM logs")
# The extended description; CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tidewell reads the to-do list of the HARUCOM communication program
(TODOLST2.DAT) and rewrites every log it names in place: it cuts CR LF line
ends down to a bare CR except every so many lines, or restores them,
optionally keeping each original in a backup archive beside it.
.
Every rewrite goes through a scratch file that is flushed and renamed over
the log, so a log is never lost or left half converted. A batch mode
converts without a display, from cron or a systemd timer; a small Qt dialog
edits the settings. Names with drive letters are found through a Wine
prefix.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Libraries come from dpkg-shlibdeps; the dialog also needs Qt's platform
# plugins, Qt's own Japanese texts and a Japanese font, which no library link
# reveals.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-translations-l10n, fonts-ipafont-gothic | fonts-noto-cjk")
set(CPACK_STRIP_FILES ON)
include(CPack)
