# Cross build for 32-bit Windows with Debian's MinGW-w64 i686 compilers. The POSIX thread
# model is the one whose libstdc++ has std::thread; the runtime is linked statically so each
# .exe runs on its own, without the compiler's DLLs beside it. Tests run under 32-bit Wine
# (cmake/wine.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(M4410_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${M4410_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${M4410_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${M4410_MINGW_TRIPLE}-windres)

# Libraries and headers from the MinGW tree only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${M4410_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static also takes in winpthread, which std::thread needs in this thread model.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# zlib too, so no .exe needs a DLL beside it.
set(ZLIB_USE_STATIC_LIBS ON)
