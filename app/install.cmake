# The desktop entry and the program's icon in the sizes the window uses.
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/resources/vantel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/resources/vantel-32.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME vantel.png)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/resources/vantel-64.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps RENAME vantel.png)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/resources/vantel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
