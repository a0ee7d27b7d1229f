# mingw-w64 with the posix thread model (GoogleTest needs std::mutex, which
# the win32 model of this compiler version lacks): the compilers and where
# their Windows headers and libraries lie. The one description of the
# toolchain: cmake/mingw-w64.cmake builds our programs with it, and
# scripts/qt-windows.sh copies it into the Qt cache, whose qt-cmake keeps
# referring to the toolchain Qt was built with.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
