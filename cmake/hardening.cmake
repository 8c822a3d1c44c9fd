# The programs hold a raw-port capability for their first moments, so every Linux build is
# hardened: stack protection, fortified library calls where the optimiser makes them checkable,
# a position-independent executable and a read-only relocation table bound at start.
# tests/build/check_hardening.sh reads the built binaries to hold this.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

# Windows programs parse what users hand them too: the same stack protection and fortified
# calls. MinGW-w64 takes both from libssp, which the toolchain's -static links in, so no DLL
# joins the programs; the link needs the flag to add it. A 32-bit image can be moved
# (DYNAMIC_BASE) and keeps its data from running (NX_COMPAT); high-entropy ASLR is for 64-bit
# images only. tests/build/check_windows_identity.sh reads the built programs to hold this.
if(WIN32)
  add_compile_options(-fstack-protector-strong)
  # -static for the libraries the tests build too, which the toolchain's flags do not reach.
  add_link_options(-static -fstack-protector-strong LINKER:--dynamicbase,--nxcompat)
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  return()
endif()

include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

add_compile_options(-fstack-protector-strong)
# _FORTIFY_SOURCE needs optimisation to see buffer sizes; the sanitizer builds check more than
# it does, and it hides accesses from them.
if(NOT M4410_SANITIZE)
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()
add_link_options(LINKER:-z,relro,-z,now)

# The Debian package is built with Debian's own flags on top (the deb preset).
option(M4410_DPKG_BUILDFLAGS "Add dpkg-buildflags' CPPFLAGS, CXXFLAGS and LDFLAGS" OFF)
if(M4410_DPKG_BUILDFLAGS)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(COMMAND dpkg-buildflags --get ${kind} OUTPUT_VARIABLE flags
      OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    if(kind STREQUAL "LDFLAGS")
      add_link_options(${flags})
    else()
      add_compile_options(${flags})
    endif()
  endforeach()
endif()
