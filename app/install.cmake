# The desktop entry, its AppStream metainfo, the manual page and the program's icon: scalable and
# in the sizes the menus and the window use.
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/resources/vantel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/resources/org.vantel.Vantel.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/vantel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
foreach(size 32 48 64 128)
  install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/resources/vantel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME vantel.png)
endforeach()
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/resources/vantel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
