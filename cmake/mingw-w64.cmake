# Cross-build of the core and its tests for Windows (64-bit) with Debian's
# mingw-w64, run under Wine. Used by scripts/test-windows.sh.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-chaine.cmake)

# Self-contained executables: no libstdc++/libgcc DLLs to find under Wine.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run (and are listed by gtest_discover_tests) through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
