# What `cmake --install` puts where. On Linux: the four programs in bin/ and what a desktop
# expects of them (entry, icon, AppStream metainfo, manual pages, bash completion, copyright and
# changelog), the polkit action for `pkexec brenvo` and an example udev rule. On Windows: the three programs side by side with the makers' README and the licence, the contents
# of the release zip.
include(GNUInstallDirs)

set(brenvo_programs brenvo-cli brenvo-pack)
foreach(program brenvo brenvo-bench)
  if(TARGET ${program})
    list(APPEND brenvo_programs ${program})
  endif()
endforeach()

if(WIN32)
  install(TARGETS ${brenvo_programs} RUNTIME DESTINATION .)
  # The makers' README, with the version and Windows line ends.
  set(VERSION ${PROJECT_VERSION})
  configure_file(${CMAKE_SOURCE_DIR}/data/windows/README.txt.in
                 ${CMAKE_BINARY_DIR}/generated/windows/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/generated/windows/LICENSE.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/generated/windows/README.txt
                ${CMAKE_BINARY_DIR}/generated/windows/LICENSE.txt DESTINATION .)
  return()
endif()

install(TARGETS ${brenvo_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(data ${CMAKE_SOURCE_DIR}/data)
install(FILES ${data}/org.brenvo.Brenvo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${data}/org.brenvo.Brenvo.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${data}/icons/brenvo-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME brenvo.png)
endforeach()
install(FILES ${data}/icons/brenvo.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${data}/man/brenvo.1 ${data}/man/brenvo-cli.1 ${data}/man/brenvo-pack.1
              ${data}/man/brenvo-bench.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${data}/completion/brenvo-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${data}/copyright ${data}/changelog DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brenvo)
# pkexec starts the window only through an action that names it. The udev rule widens who may
# flash a drive, so it is an example an administrator chooses to copy, never active as installed.
install(FILES ${data}/org.brenvo.Brenvo.policy DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)
install(FILES ${data}/70-brenvo-optical-sg.rules
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brenvo/examples)
