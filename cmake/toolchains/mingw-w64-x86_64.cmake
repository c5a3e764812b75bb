# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (package
# g++-mingw-w64-x86-64-posix). The posix threads flavour of the compiler is
# required: std::mutex and std::thread need it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KIVANIME_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KIVANIME_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KIVANIME_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KIVANIME_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KIVANIME_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link the C and C++ runtimes and winpthreads statically, so that the DLL
# and the test programs need no MinGW DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run through Wine when it is installed.
find_program(KIVANIME_WINE NAMES wine wine64)
if(KIVANIME_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KIVANIME_WINE})
endif()
