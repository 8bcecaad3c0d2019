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
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tidewell.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
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
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Libraries come from dpkg-shlibdeps; the dialog also needs Qt's platform
# plugins and a Japanese font, which no library link reveals.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-ipafont-gothic | fonts-noto-cjk")
set(CPACK_STRIP_FILES ON)
include(CPack)
