# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model,
# so std::thread and std::mutex work), tests run under wine.
#
#   cmake --preset windows && cmake --build --preset windows && ctest --preset windows

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ROTABENCH_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ROTABENCH_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ROTABENCH_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ROTABENCH_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ROTABENCH_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the programs and the tests need no DLL beyond those of
# Windows itself (no libstdc++-6.dll, libgcc_s_seh-1.dll or libwinpthread-1.dll).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under wine, in a prefix of their own inside the build
# folder, with wine's own diagnostics off and without the .NET / HTML
# installers. No display is needed: the programs are console programs.
find_program(ROTABENCH_WINE NAMES wine wine64 PATHS /usr/lib/wine)
find_program(ROTABENCH_WINESERVER NAMES wineserver wineserver64 PATHS /usr/lib/wine)
if(ROTABENCH_WINE AND NOT DEFINED ROTABENCH_WINEPREFIX AND DEFINED CMAKE_BINARY_DIR)
  set(ROTABENCH_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "wine prefix the tests run in")
endif()
if(ROTABENCH_WINE AND ROTABENCH_WINEPREFIX)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env
      WINEPREFIX=${ROTABENCH_WINEPREFIX}
      WINEARCH=win64
      WINEDEBUG=-all
      WINEDLLOVERRIDES=mscoree,mshtml=
      ${ROTABENCH_WINE})
endif()
