# The help loader and the Linux help pages (see CMakeLists.txt), built into the program so that
# help works wherever the executable is copied; packaging.cmake installs the same pages.
add_library(m4410_help STATIC
  ${CMAKE_CURRENT_LIST_DIR}/help_viewer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/help_viewer.h
)
target_include_directories(m4410_help PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(m4410_help PUBLIC Qt6::Gui Qt6::Core)
qt_add_resources(m4410_help m4410_help_pages
  PREFIX /m4410/help
  BASE ${M4410_HELP_LINUX_DIR}
  FILES ${M4410_HELP_LINUX_PAGES}
)
