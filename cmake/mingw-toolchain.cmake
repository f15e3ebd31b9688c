# Cross build for Windows with MinGW-w64's posix-thread compilers (std::thread and std::mutex,
# which GoogleTest needs). VANTOREL_MINGW_ARCH picks x86_64 (default) or i686.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT VANTOREL_MINGW_ARCH)
    set(VANTOREL_MINGW_ARCH x86_64)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${VANTOREL_MINGW_ARCH})
set(triplet ${VANTOREL_MINGW_ARCH}-w64-mingw32)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTOREL_MINGW_ARCH)

find_program(CMAKE_C_COMPILER NAMES ${triplet}-gcc-posix)
find_program(CMAKE_CXX_COMPILER NAMES ${triplet}-g++-posix)
find_program(CMAKE_RC_COMPILER NAMES ${triplet}-windres)
foreach(tool CMAKE_C_COMPILER CMAKE_CXX_COMPILER CMAKE_RC_COMPILER)
    if(NOT ${tool})
        message(FATAL_ERROR "${tool} for ${triplet} not found (Debian: apt-get install mingw-w64)")
    endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static C and C++ runtimes: the programs need nothing but Windows' own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--gc-sections")
# With the runtimes linked in, dropping what nothing calls keeps the program small.
set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")

# Tests run under Wine, through a wrapper that keeps Wine quiet and in the build's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
