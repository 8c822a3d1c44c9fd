# The Windows installer (NSIS) and zip: the programs this build has, with Help2QRB.chm beside
# them, since the window program opens its help by bare name. Neither is part of `all`:
#   cmake --build --preset windows --target windows_installer windows_zip
if(NOT TARGET windows_help)
  message(WARNING "no Help2QRB.chm: no installer or zip (scripts/setup-windows)")
  return()
endif()

# A build without the window program packages the command and the help file only.
set(m4410_package_programs m4410)
if(TARGET marlovine-updater)
  list(PREPEND m4410_package_programs marlovine-updater)
else()
  message(STATUS "No marlovine-updater in this build: installer and zip hold m4410.exe and Help2QRB.chm only")
endif()

set(M4410_PACKAGE_NAME marlovine-updater-${PROJECT_VERSION}-win32)
set(M4410_INSTALLER ${CMAKE_BINARY_DIR}/${M4410_PACKAGE_NAME}-setup.exe)
set(M4410_ZIP ${CMAKE_BINARY_DIR}/${M4410_PACKAGE_NAME}.zip)

# Both are made from one staging folder holding exactly the packaged files.
set(stage ${CMAKE_BINARY_DIR}/package)
set(staged_files "")
set(copy_commands "")
set(M4410_NSIS_HAS_UPDATER "")
foreach(program IN LISTS m4410_package_programs)
  list(APPEND staged_files ${stage}/${program}.exe)
  list(APPEND copy_commands
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${program}> ${stage}/${program}.exe)
  # The build's debug information is for the build machine, not for users.
  if(CMAKE_STRIP)
    list(APPEND copy_commands COMMAND ${CMAKE_STRIP} ${stage}/${program}.exe)
  endif()
endforeach()
if(TARGET marlovine-updater)
  set(M4410_NSIS_HAS_UPDATER "!define HAS_UPDATER")
endif()
# A short read-me, in Windows' line ends: what each file is, and the port driver they need.
set(M4410_README_UPDATER "")
if(TARGET marlovine-updater)
  set(M4410_README_UPDATER
    "marlovine-updater.exe   The operator's program: choose the update file, press Start.\r\n")
endif()
set(M4410_README ${CMAKE_BINARY_DIR}/README.txt)
configure_file(${PROJECT_SOURCE_DIR}/res/windows/README.txt.in ${M4410_README} @ONLY
  NEWLINE_STYLE CRLF)
list(APPEND staged_files ${stage}/Help2QRB.chm ${stage}/README.txt)
# The sigrok decoders, a folder PulseView is pointed at.
file(GLOB m4410_decoder_files RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/decoders/*/*.py)
list(TRANSFORM m4410_decoder_files PREPEND ${stage}/ OUTPUT_VARIABLE m4410_staged_decoders)
list(APPEND staged_files ${m4410_staged_decoders})
list(TRANSFORM m4410_decoder_files PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE m4410_decoder_sources)
add_custom_command(OUTPUT ${staged_files}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}
  ${copy_commands}
  COMMAND ${CMAKE_COMMAND} -E copy ${M4410_HELP_CHM} ${stage}/Help2QRB.chm
  COMMAND ${CMAKE_COMMAND} -E copy ${M4410_README} ${stage}/README.txt
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/decoders ${stage}/decoders
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}/decoders/ieee1284/__pycache__
          ${stage}/decoders/m4410/__pycache__
  DEPENDS ${m4410_package_programs} ${M4410_HELP_CHM} ${M4410_README}
          ${m4410_decoder_sources}
  COMMENT "Staging the Windows package"
  VERBATIM)
list(TRANSFORM m4410_package_programs APPEND .exe OUTPUT_VARIABLE M4410_PACKAGE_FILES)
list(APPEND M4410_PACKAGE_FILES Help2QRB.chm README.txt decoders)

add_custom_command(OUTPUT ${M4410_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${M4410_ZIP}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${M4410_ZIP} --format=zip ${M4410_PACKAGE_FILES}
  WORKING_DIRECTORY ${stage}
  DEPENDS ${staged_files}
  COMMENT "Zipping ${M4410_PACKAGE_NAME}.zip"
  VERBATIM)
add_custom_target(windows_zip DEPENDS ${M4410_ZIP})

find_program(M4410_MAKENSIS makensis)
if(NOT M4410_MAKENSIS)
  message(WARNING "makensis not found: no installer (scripts/setup-windows)")
  return()
endif()
set(M4410_STAGE_DIR ${stage})
configure_file(${PROJECT_SOURCE_DIR}/res/windows/installer.nsi
  ${CMAKE_BINARY_DIR}/installer.nsi @ONLY)
add_custom_command(OUTPUT ${M4410_INSTALLER}
  COMMAND ${M4410_MAKENSIS} -V2 -NOCD ${CMAKE_BINARY_DIR}/installer.nsi
  DEPENDS ${staged_files} ${CMAKE_BINARY_DIR}/installer.nsi
  COMMENT "Building ${M4410_PACKAGE_NAME}-setup.exe"
  VERBATIM)
add_custom_target(windows_installer DEPENDS ${M4410_INSTALLER})
