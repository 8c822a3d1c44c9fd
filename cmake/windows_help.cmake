# The Windows program's help file, Help2QRB.chm, compiled from the Windows page set that
# help_pages.cmake makes from res/help. Included, this file adds the target; run with -P at
# build time, it writes the HTML Help project, contents and index from the pages and compiles
# them.

if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.22)
  # -DHELP_DIR=the Windows pages -DWORK_DIR=staging folder -DCHM=output file -DCHMCMD=compiler
  file(REMOVE_RECURSE ${WORK_DIR})
  file(MAKE_DIRECTORY ${WORK_DIR})
  file(GLOB files LIST_DIRECTORIES false RELATIVE ${HELP_DIR} ${HELP_DIR}/*)
  list(SORT files)
  list(FILTER files EXCLUDE REGEX "(^|/)\\.")
  list(FILTER files EXCLUDE REGEX "~$")
  if(NOT "index.html" IN_LIST files)
    message(FATAL_ERROR "${HELP_DIR} has no index.html")
  endif()

  # Topics in the order index.html's links give them, pages it does not link after those.
  file(READ ${HELP_DIR}/index.html index_text)
  string(REGEX MATCHALL "href=\"[^\"#]+\\.html\"" links "${index_text}")
  set(pages index.html)
  foreach(link IN LISTS links)
    string(REGEX REPLACE "^href=\"(.*)\"$" "\\1" page "${link}")
    if(page IN_LIST files AND NOT page IN_LIST pages)
      list(APPEND pages ${page})
    endif()
  endforeach()
  foreach(file IN LISTS files)
    if(file MATCHES "\\.html?$" AND NOT file IN_LIST pages)
      list(APPEND pages ${file})
    endif()
  endforeach()

  # Contents and index are ANSI files: each topic is named by its title up to the site name
  # after " – ", and a dash left in a title is written as ASCII.
  set(entries "")
  set(keywords "")
  foreach(page IN LISTS pages)
    file(READ ${HELP_DIR}/${page} text)
    if(NOT text MATCHES "<title>([^<]*)</title>")
      message(FATAL_ERROR "${page} has no <title>")
    endif()
    set(title "${CMAKE_MATCH_1}")
    string(REGEX REPLACE " (–|—|-) .*$" "" name "${title}")
    string(REPLACE "–" "-" name "${name}")
    string(REPLACE "—" "-" name "${name}")
    string(REPLACE "\"" "&quot;" name "${name}")
    string(APPEND entries
      "<LI><OBJECT type=\"text/sitemap\">\n"
      "  <param name=\"Name\" value=\"${name}\">\n"
      "  <param name=\"Local\" value=\"${page}\">\n"
      "</OBJECT>\n")
    list(APPEND keywords "${name}\t${page}")
  endforeach()
  list(SORT keywords CASE INSENSITIVE)
  set(index_entries "")
  foreach(keyword IN LISTS keywords)
    string(REPLACE "\t" ";" parts "${keyword}")
    list(GET parts 0 name)
    list(GET parts 1 page)
    string(APPEND index_entries
      "<LI><OBJECT type=\"text/sitemap\">\n"
      "  <param name=\"Name\" value=\"${name}\">\n"
      "  <param name=\"Local\" value=\"${page}\">\n"
      "</OBJECT>\n")
  endforeach()

  set(sitemap_head "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\n<HTML><HEAD></HEAD><BODY>\n")
  file(WRITE ${WORK_DIR}/Help2QRB.hhc
    "${sitemap_head}<OBJECT type=\"text/site properties\">\n"
    "  <param name=\"ImageType\" value=\"Folder\">\n</OBJECT>\n<UL>\n${entries}</UL>\n</BODY></HTML>\n")
  file(WRITE ${WORK_DIR}/Help2QRB.hhk "${sitemap_head}<UL>\n${index_entries}</UL>\n</BODY></HTML>\n")

  string(JOIN "\n" file_lines ${files})
  file(WRITE ${WORK_DIR}/Help2QRB.hhp
    "[OPTIONS]\n"
    "Compatibility=1.1 or later\n"
    "Compiled file=Help2QRB.chm\n"
    "Contents file=Help2QRB.hhc\n"
    "Index file=Help2QRB.hhk\n"
    "Default topic=index.html\n"
    "Default Window=main\n"
    "Display compile progress=No\n"
    "Full-text search=Yes\n"
    "Language=0x409 English (United States)\n"
    "Title=Marlovine 4410 Updater Help\n"
    # The window: tri-pane with its contents pane 250 pixels wide (an empty width is a pane
    # of none), toolbar buttons, and the caption, sizing and frame styles.
    "\n[WINDOWS]\n"
    "main=\"Marlovine 4410 Updater Help\",\"Help2QRB.hhc\",\"Help2QRB.hhk\",\"index.html\",\"index.html\",,,,,0x23520,250,0x387e,,0x30000,,,,,,0\n"
    "\n[FILES]\n${file_lines}\n")
  foreach(file IN LISTS files)
    file(COPY ${HELP_DIR}/${file} DESTINATION ${WORK_DIR})
  endforeach()

  execute_process(COMMAND ${CHMCMD} --no-html-scan Help2QRB.hhp
    WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  # The compiler's exit status does not always tell: a missing output does.
  if(NOT result EQUAL 0 OR NOT EXISTS ${WORK_DIR}/Help2QRB.chm)
    message(FATAL_ERROR "chmcmd failed (${result}):\n${output}")
  endif()
  file(COPY_FILE ${WORK_DIR}/Help2QRB.chm ${CHM})
  return()
endif()

find_program(M4410_CHMCMD chmcmd)
if(NOT M4410_CHMCMD)
  message(WARNING "chmcmd not found: no Help2QRB.chm, no installer (scripts/setup-windows)")
  return()
endif()

set(M4410_HELP_CHM ${CMAKE_BINARY_DIR}/Help2QRB.chm)
add_custom_command(OUTPUT ${M4410_HELP_CHM}
  COMMAND ${CMAKE_COMMAND} -DHELP_DIR=${M4410_HELP_WINDOWS_DIR}
    -DWORK_DIR=${CMAKE_BINARY_DIR}/help-chm -DCHM=${M4410_HELP_CHM} -DCHMCMD=${M4410_CHMCMD}
    -P ${CMAKE_CURRENT_LIST_FILE}
  DEPENDS ${M4410_HELP_WINDOWS_PAGES} ${CMAKE_CURRENT_LIST_FILE}
  COMMENT "Compiling Help2QRB.chm from the Windows help pages"
  VERBATIM)
add_custom_target(windows_help ALL DEPENDS ${M4410_HELP_CHM})
