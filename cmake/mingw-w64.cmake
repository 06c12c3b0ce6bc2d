# Cross-building ovantrex.exe for 64-bit Windows with Debian's MinGW-w64
# (g++-mingw-w64-x86-64), its POSIX thread model, linked statically: the one
# .exe runs on a Windows PC with nothing installed. Programs built for the
# tests run under Wine (wine, wine64) through cmake/wine_run.sh, with a Wine
# prefix of the build's own (<build>/wine, made on first use).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OVANTREX_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OVANTREX_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OVANTREX_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${OVANTREX_MINGW}-windres)

# Libraries and headers of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${OVANTREX_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and the thread library inside the .exe: it imports
# only DLLs of Windows itself.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine_run.sh ${CMAKE_BINARY_DIR}/wine)
