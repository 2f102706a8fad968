# Cross-building for 64-bit Windows with Debian's mingw-w64, against the
# libraries that scripts/windows-libs.sh built into ZIMBALO_PREFIX.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# The posix thread model: the win32 one has no std::thread.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH ${ZIMBALO_PREFIX} /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# pkg-config reads the prefix's own .pc files, never the build machine's.
# CMake reads this file again for its own test projects, without the
# prefix: those must not undo the setting.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZIMBALO_PREFIX)
if(ZIMBALO_PREFIX)
    set(ENV{PKG_CONFIG_LIBDIR} ${ZIMBALO_PREFIX}/lib/pkgconfig)
    set(ENV{PKG_CONFIG_PATH} "")
endif()
