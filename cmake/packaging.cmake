# Installation and the Debian package. The Linux help pages go to the data folder (not share/doc,
# which minimal systems strip), where the help loader looks for them beside ../bin.
include(GNUInstallDirs)

# On Linux each program twice: in bin for everyone, and its port copy in libexec, which alone
# an administrator gives the port (root:lp 0750 and the capability; src/port/port_copy.h). Two
# files, not links: an override's owner and mode would hold for every name of one file.
foreach(program m4410 marlovine-updater)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
      install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/marlovine-updater)
    endif()
  endif()
endforeach()

install(DIRECTORY ${M4410_HELP_LINUX_DIR}/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/marlovine-updater/help
  FILES_MATCHING PATTERN "*.html" PATTERN "*.css" PATTERN "*.png"
)

# The sigrok protocol decoders, where libsigrokdecode looks for them.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/decoders/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/libsigrokdecode/decoders
  FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)

# The port lock's folder and file (tmpfiles.d, read from /usr/lib as well as /etc).
install(FILES ${PROJECT_SOURCE_DIR}/res/tmpfiles/marlovine-updater.conf
  DESTINATION lib/tmpfiles.d)

# Manual pages, compressed as Debian's policy asks (gzip -9n: no name or time stamp inside, so
# the same page gives the same file), and the command's bash completion.
set(man_pages)
foreach(page m4410 marlovine-updater)
  if(TARGET ${page})
    set(compressed ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${compressed}
      COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/man/${page}.1 ${CMAKE_BINARY_DIR}/man/${page}.1
      COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/man/${page}.1
      DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}.1 VERBATIM)
    list(APPEND man_pages ${compressed})
    install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${PROJECT_SOURCE_DIR}/res/completion/m4410
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The application icon in its two sizes.
set(M4410_ICON_16 ${PROJECT_SOURCE_DIR}/res/icon_159_16.png)
set(M4410_ICON_32 ${PROJECT_SOURCE_DIR}/res/icon_159_32.png)

if(TARGET marlovine-updater)
  install(FILES ${PROJECT_SOURCE_DIR}/res/marlovine-updater.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
  )
  foreach(size 16 32)
    install(FILES ${M4410_ICON_${size}}
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
      RENAME marlovine-updater.png
    )
  endforeach()
endif()

set(CPACK_PACKAGE_NAME marlovine-updater)
set(CPACK_PACKAGE_VENDOR "Marlovine 4410 updater team")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Loads new software into a Marlovine 4410 box over the parallel port")
set(CPACK_PACKAGE_DESCRIPTION
  "The operator's program marlovine-updater and the command m4410 send a
software image to a Marlovine 4410 box cabled to the PC's parallel port
(IEEE 1284 ECP) and report the seven stages of the update. Any user may run
them on the simulated box. On the real port they hand the run to their copies
in /usr/libexec/marlovine-updater, which drive the port's registers directly:
an administrator makes those root:lp 0750 with dpkg-statoverride and grants
each of them port access once with setcap cap_sys_rawio+ep (see the help
pages); the package does not by itself. Started by an ordinary user, the
copies keep the capability only to take the chosen port, which must be one
the kernel lists, and drop it at once.")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Marlovine 4410 updater team")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# setcap grants the port access. The help shows in the program's own window: no browser needed.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcap2-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/cmake/debian/postinst ${PROJECT_SOURCE_DIR}/cmake/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
