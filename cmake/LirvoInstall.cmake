# `cmake --install BUILD [--prefix P]`: the programs into bin/, their companions into lib/lirvo/
# (an installed program uses that folder as its program folder), and what the desktop reads:
# the desktop entry, the icon, the AppStream data and the manual pages.
set(LIRVO_INSTALL_APPDIR lib/lirvo)

foreach(program lirvo lirvo-send lirvo-lyrics)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION bin)
  endif()
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/resources/effect.dat DESTINATION ${LIRVO_INSTALL_APPDIR})
foreach(module lirvo_audio_module lirvo_ffmpeg_module lirvo_addon_more)
  if(TARGET ${module})
    install(TARGETS ${module} LIBRARY DESTINATION ${LIRVO_INSTALL_APPDIR})
  endif()
endforeach()
# The plug-in folder, where users put plug-ins; the sample plug-in (a message logger) is not
# something to install for everyone.
install(DIRECTORY DESTINATION ${LIRVO_INSTALL_APPDIR}/plugins)

install(FILES ${CMAKE_SOURCE_DIR}/resources/lirvo.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/pictures/lirvo.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/resources/lirvo.metainfo.xml DESTINATION share/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/resources/man/lirvo.1 ${CMAKE_SOURCE_DIR}/resources/man/lirvo-send.1
              ${CMAKE_SOURCE_DIR}/resources/man/lirvo-lyrics.1
        DESTINATION share/man/man1)
