# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix thread
# model, package g++-mingw-w64-x86-64-posix). Use:
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DJE_YYJSON_SOURCE_DIR=/path/to/yyjson-0.12.x
# Tests run under wine when it is installed (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(JE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${JE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${JE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${JE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${JE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(JE_WINE NAMES wine64 wine)
if(JE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${JE_WINE})
endif()
