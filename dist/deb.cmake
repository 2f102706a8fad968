# Initial cache for the Debian package: Debian's layout for games (cmake -C).
set(CMAKE_BUILD_TYPE Release CACHE STRING "")
set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "")
set(ZIMBALO_BINDIR games CACHE STRING "")
set(ZIMBALO_LIBEXECDIR libexec/zimbalo CACHE STRING "")
set(ZIMBALO_DATADIR share/games/zimbalo CACHE STRING "")
set(ZIMBALO_DEBIAN ON CACHE BOOL "")
set(ZIMBALO_TESTS OFF CACHE BOOL "")
set(ZIMBALO_BENCH OFF CACHE BOOL "")
# Debian's hardening, as dpkg-buildflags gives it.
set(CMAKE_C_FLAGS "-D_FORTIFY_SOURCE=2 -fstack-protector-strong" CACHE STRING "")
set(CMAKE_CXX_FLAGS "-D_FORTIFY_SOURCE=2 -fstack-protector-strong" CACHE STRING "")
set(CMAKE_EXE_LINKER_FLAGS "-Wl,-z,relro,-z,now" CACHE STRING "")
