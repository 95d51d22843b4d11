# The shipped program: mingw-w64 with the win32 thread model, whose static runtime imports nothing
# newer than Windows 95/NT 4.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KVX_MINGW_FLAVOUR win32 CACHE STRING "")
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-${KVX_MINGW_FLAVOUR})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${KVX_MINGW_FLAVOUR})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
