# The help loader and the help pages, built into the program so that help works wherever the
# executable is copied; packaging.cmake installs the same pages.
set(M4410_HELP_DIR ${PROJECT_SOURCE_DIR}/res/help)
set(M4410_HELP_PAGES
  ${M4410_HELP_DIR}/index.html
  ${M4410_HELP_DIR}/running.html
  ${M4410_HELP_DIR}/stages.html
  ${M4410_HELP_DIR}/port-access.html
  ${M4410_HELP_DIR}/demo.html
  ${M4410_HELP_DIR}/style.css
)

add_library(m4410_help STATIC
  ${CMAKE_CURRENT_LIST_DIR}/help_viewer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/help_viewer.h
)
target_include_directories(m4410_help PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(m4410_help PUBLIC Qt6::Gui Qt6::Core)
qt_add_resources(m4410_help m4410_help_pages
  PREFIX /m4410/help
  BASE ${M4410_HELP_DIR}
  FILES ${M4410_HELP_PAGES}
)
