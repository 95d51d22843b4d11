# The Windows test binaries: GoogleTest needs the posix thread model (std::mutex). Its runtime
# imports Vista-era functions, so nothing built with it is shipped.
set(KVX_MINGW_FLAVOUR posix CACHE STRING "")
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-i686-win32.cmake)
