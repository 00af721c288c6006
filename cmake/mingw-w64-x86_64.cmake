# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BATCHEXT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BATCHEXT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BATCHEXT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BATCHEXT_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BATCHEXT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The header-only CLI11 of the build machine, without the rest of its
# /usr/include.
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/cross CACHE PATH "")

# GCC 12 at -O3 warns falsely (-Wrestrict) about assigning to std::string.
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "")

# The programs then run without MinGW's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Lets CTest run the test programs (and GoogleTest list their cases).
if(EXISTS /usr/lib/wine/wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
endif()
