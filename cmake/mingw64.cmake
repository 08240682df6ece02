# Cross build for 64-bit Windows with mingw-w64's g++ (posix threads), against the libraries
# scripts/windows-deps builds into its cache, and nothing of the build machine's own:
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw64.cmake \
#         -DNUVAK_WIN_PREFIX="$(bash scripts/windows-deps --prefix)"
# Test programs run through wine (cmake/wine-run), so ctest and the test discovery work as
# on Linux.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(triplet x86_64-w64-mingw32)

# The prefix reaches the compiler checks (try_compile) through the environment.
if(NOT NUVAK_WIN_PREFIX AND DEFINED ENV{NUVAK_WIN_PREFIX})
  set(NUVAK_WIN_PREFIX "$ENV{NUVAK_WIN_PREFIX}")
endif()
if(NOT NUVAK_WIN_PREFIX OR NOT IS_DIRECTORY "${NUVAK_WIN_PREFIX}")
  message(FATAL_ERROR "NUVAK_WIN_PREFIX must name the prefix of scripts/windows-deps (its --prefix)")
endif()
set(ENV{NUVAK_WIN_PREFIX} "${NUVAK_WIN_PREFIX}")
set(NUVAK_WIN_PREFIX "${NUVAK_WIN_PREFIX}" CACHE PATH "Prefix of the Windows dependencies")

set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
# GCC cannot realign the stack for 32-byte vector spills on Win64 (the AVX2 paths): the
# assembler turns the aligned moves it emits into unaligned ones.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

# Headers, libraries and packages from the prefix and the compiler's own sysroot only;
# programs (moc, wine) from the build machine.
set(CMAKE_FIND_ROOT_PATH "${NUVAK_WIN_PREFIX}" /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config would otherwise hand the build machine's Linux libraries to the Windows build.
set(ENV{PKG_CONFIG_LIBDIR} "${NUVAK_WIN_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
# Qt's cross build finds its host tools (moc, rcc, uic) in the build machine's Qt.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;${NUVAK_WIN_PREFIX}")
