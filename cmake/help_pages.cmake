# The help pages in res/help are written once for both systems. A passage for one system only
# sits between <!--linux--> and <!--/linux--> or <!--windows--> and <!--/windows--> (inline,
# or on lines of their own); each build keeps its own system's passages and drops the other's.
#
# Included, this file gives m4410_help_pages(SYSTEM OUT_DIR OUTPUTS_VAR), which adds the build
# step that writes one system's page set. Run with -P, it is that step:
#   -DSYSTEM=linux|windows -DHELP_DIR=res/help -DOUT_DIR=folder

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.22)
  if(SYSTEM STREQUAL "linux")
    set(other windows)
  elseif(SYSTEM STREQUAL "windows")
    set(other linux)
  else()
    message(FATAL_ERROR "SYSTEM must be linux or windows, not '${SYSTEM}'")
  endif()

  # Drops every <!--NAME-->...<!--/NAME--> passage of text; a passage on lines of its own takes
  # its lines with it, so no empty line is left where it was.
  function(drop_passages name page text_var)
    set(text "${${text_var}}")
    set(open "<!--${name}-->")
    set(close "<!--/${name}-->")
    string(LENGTH "${close}" close_length)
    while(TRUE)
      string(FIND "${text}" "${open}" start)
      if(start EQUAL -1)
        break()
      endif()
      string(SUBSTRING "${text}" ${start} -1 rest)
      string(FIND "${rest}" "${close}" length)
      if(length EQUAL -1)
        message(FATAL_ERROR "${page}: ${open} without ${close}")
      endif()
      string(SUBSTRING "${rest}" 0 ${length} passage)
      math(EXPR length "${length} + ${close_length}")
      string(SUBSTRING "${rest}" ${length} -1 after)
      string(SUBSTRING "${text}" 0 ${start} before)
      string(LENGTH "${open}" open_length)
      string(SUBSTRING "${passage}" ${open_length} -1 inner)
      if(inner MATCHES "<!--/?(linux|windows)-->")
        message(FATAL_ERROR "${page}: a system's passage inside another: ${passage}")
      endif()
      if(before MATCHES "(^|\n)[ \t]*$" AND after MATCHES "^[ \t]*(\n|$)")
        if(before MATCHES "[ \t]+$")
          string(REGEX REPLACE "[ \t]+$" "" before "${before}")
        endif()
        # Up to and with the line's end (REGEX REPLACE would take every leading empty line).
        string(FIND "${after}" "\n" line_end)
        if(line_end EQUAL -1)
          set(after "")
        else()
          math(EXPR line_end "${line_end} + 1")
          string(SUBSTRING "${after}" ${line_end} -1 after)
        endif()
      endif()
      set(text "${before}${after}")
    endwhile()
    if(text MATCHES "<!--/${name}-->")
      message(FATAL_ERROR "${page}: <!--/${name}--> without <!--${name}-->")
    endif()
    set(${text_var} "${text}" PARENT_SCOPE)
  endfunction()

  # Keeps the passages' text and drops their marks, a mark on a line of its own with its line.
  function(keep_passages name text_var)
    set(text "${${text_var}}")
    string(REGEX REPLACE "\n[ \t]*<!--/?${name}-->[ \t]*\n" "\n" text "${text}")
    string(REGEX REPLACE "\n[ \t]*<!--/?${name}-->[ \t]*\n" "\n" text "${text}")
    string(REPLACE "<!--${name}-->" "" text "${text}")
    string(REPLACE "<!--/${name}-->" "" text "${text}")
    set(${text_var} "${text}" PARENT_SCOPE)
  endfunction()

  file(REMOVE_RECURSE ${OUT_DIR})
  file(MAKE_DIRECTORY ${OUT_DIR})
  file(GLOB files LIST_DIRECTORIES false RELATIVE ${HELP_DIR} ${HELP_DIR}/*.html ${HELP_DIR}/*.css)
  foreach(file IN LISTS files)
    file(READ ${HELP_DIR}/${file} text)
    if(file MATCHES "\\.html$")
      drop_passages(${other} ${file} text)
      keep_passages(${SYSTEM} text)
      if(text MATCHES "<!--/?(linux|windows)-->")
        message(FATAL_ERROR "${file}: a mark out of place: ${CMAKE_MATCH_0}")
      endif()
    endif()
    file(WRITE ${OUT_DIR}/${file} "${text}")
  endforeach()
  # Pictures go as they are.
  file(GLOB pictures LIST_DIRECTORIES false ${HELP_DIR}/*.png)
  file(COPY ${pictures} DESTINATION ${OUT_DIR})
  return()
endif()

set(M4410_HELP_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../res/help)
cmake_path(NORMAL_PATH M4410_HELP_SOURCE_DIR)
set(M4410_HELP_PAGES_SCRIPT ${CMAKE_CURRENT_LIST_FILE})

function(m4410_help_pages system out_dir outputs_var)
  # CONFIGURE_DEPENDS: a page added to res/help joins the sets.
  file(GLOB pages LIST_DIRECTORIES false CONFIGURE_DEPENDS RELATIVE ${M4410_HELP_SOURCE_DIR}
    ${M4410_HELP_SOURCE_DIR}/*.html ${M4410_HELP_SOURCE_DIR}/*.css ${M4410_HELP_SOURCE_DIR}/*.png)
  list(SORT pages)
  set(sources ${pages})
  list(TRANSFORM sources PREPEND ${M4410_HELP_SOURCE_DIR}/)
  set(outputs ${pages})
  list(TRANSFORM outputs PREPEND ${out_dir}/)
  add_custom_command(OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -DSYSTEM=${system} -DHELP_DIR=${M4410_HELP_SOURCE_DIR}
      -DOUT_DIR=${out_dir} -P ${M4410_HELP_PAGES_SCRIPT}
    DEPENDS ${sources} ${M4410_HELP_PAGES_SCRIPT}
    COMMENT "Help pages for ${system}"
    VERBATIM)
  set(${outputs_var} ${outputs} PARENT_SCOPE)
endfunction()
