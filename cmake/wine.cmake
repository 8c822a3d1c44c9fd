# Runs the Windows build's programs under 32-bit Wine: ctest's emulator for the tests and
# their discovery. The wrapper gives Wine a prefix of its own in the build folder.
find_program(M4410_WINE wine)
find_program(M4410_WINESERVER wineserver PATHS /usr/lib/wine)
if(NOT M4410_WINE OR NOT M4410_WINESERVER)
  message(WARNING "wine not found: the Windows tests build but cannot run (scripts/setup-windows)")
  return()
endif()
set(M4410_WINEPREFIX ${CMAKE_BINARY_DIR}/wine)
# The prefix's one persistent server (see wine_server.sh.in), started by wine-run as needed.
set(M4410_WINE_SERVER ${CMAKE_BINARY_DIR}/wine-server)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine_server.sh.in ${M4410_WINE_SERVER}
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                   WORLD_READ WORLD_EXECUTE
  @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine_run.sh.in ${CMAKE_BINARY_DIR}/wine-run
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                   WORLD_READ WORLD_EXECUTE
  @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
