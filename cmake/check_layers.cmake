# Holds the sources' includes to the layer order: a folder includes only from itself and the
# folders below it (os/ lies below every layer that opens files); only qt/ includes Qt; only
# win32/ and the *_win32 files include windows.h; only port/ reaches the hardware; the simulated
# box and the traces take the link's clock and nothing else of the link. Run by ctest as
#   cmake -DSOURCE_DIR=<top of the tree> -P cmake/check_layers.cmake
cmake_minimum_required(VERSION 3.22)
set(below_os os)
set(below_port port)
set(below_privilege privilege port)
set(below_link link port)
set(below_trace trace link port)
set(below_board board)
set(below_protocol protocol link port board os)
set(below_sim sim link port)
set(below_run run protocol link port board sim os trace privilege)
# Layers that share the link's clock but none of its logic.
set(clock_only sim trace)
set(link_clock link/time_source.h)
set(below_ui ui ${below_run})
set(below_qt qt ${below_ui})
set(below_win32 win32 ${below_ui})
set(below_cli cli ${below_run})

set(faults "")
file(GLOB_RECURSE sources "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp")
foreach(source IN LISTS sources)
  file(RELATIVE_PATH rel "${SOURCE_DIR}/src" "${source}")
  string(REGEX MATCH "^[^/]+" layer "${rel}")
  if(NOT DEFINED below_${layer})
    string(APPEND faults "  src/${rel}: folder ${layer}/ has no place in the layer order\n")
    continue()
  endif()
  file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    if(line MATCHES "include[ \t]*\"([^/\"]+)/")
      set(target "${CMAKE_MATCH_1}")
      if(NOT target IN_LIST below_${layer})
        string(APPEND faults "  src/${rel}: ${layer}/ includes from ${target}/, above it\n")
      elseif(target STREQUAL "link" AND layer IN_LIST clock_only
             AND NOT line MATCHES "\"${link_clock}\"")
        string(APPEND faults "  src/${rel}: ${layer}/ takes more than the clock from link/\n")
      endif()
    elseif(line MATCHES "include[ \t]*<(Q[A-Za-z]+|Qt[A-Za-z]+/)" AND NOT layer STREQUAL "qt")
      string(APPEND faults "  src/${rel}: Qt outside qt/\n")
    elseif(line MATCHES "include[ \t]*<(windows|winioctl|setupapi)\\.h>"
           AND NOT layer STREQUAL "win32" AND NOT rel MATCHES "_win32\\.")
      string(APPEND faults "  src/${rel}: Windows headers outside win32/ and *_win32 files\n")
    elseif(line MATCHES "include[ \t]*<(sys/io|linux/ppdev|linux/parport)\\.h>"
           AND NOT layer STREQUAL "port")
      string(APPEND faults "  src/${rel}: port hardware outside port/\n")
    endif()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "Includes that break the layer order:\n${faults}")
endif()
list(LENGTH sources count)
message(STATUS "layer order holds for ${count} files")
