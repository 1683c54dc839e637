# Cross build for Windows with MinGW-w64, for the triple that the including
# toolchain file sets in TARVEL_MINGW_TRIPLE. The posix thread
# model gives std::thread to the tests; the programs link statically, so one
# .exe runs without MinGW's runtime DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
string(REGEX MATCH "^[^-]+" CMAKE_SYSTEM_PROCESSOR ${TARVEL_MINGW_TRIPLE})

set(CMAKE_C_COMPILER ${TARVEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVEL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
