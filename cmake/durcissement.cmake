# PONTEX_DURCISSEMENT: the programs built with Debian's hardening flags, as
# dpkg-buildflags gives them with every hardening feature on (stack
# protector, fortified string and memory functions, read-only relocations
# resolved at start, position-independent programs). scripts/package.sh
# builds the Debian package so. Included before any target is defined.
option(PONTEX_DURCISSEMENT "Build with Debian's hardening flags (dpkg-buildflags)" OFF)
if(NOT PONTEX_DURCISSEMENT)
  return()
endif()
find_program(PONTEX_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT PONTEX_DPKG_BUILDFLAGS)
  message(FATAL_ERROR "PONTEX_DURCISSEMENT needs dpkg-buildflags (Debian package dpkg-dev)")
endif()
foreach(sorte IN ITEMS CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            "${PONTEX_DPKG_BUILDFLAGS}" --get ${sorte}
    WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}"
    OUTPUT_VARIABLE drapeaux_${sorte} OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE resultat)
  if(NOT resultat EQUAL 0)
    message(FATAL_ERROR "dpkg-buildflags --get ${sorte} failed")
  endif()
endforeach()
# The build type's own flags come after these and win where they differ;
# the fortified functions need an optimised build (any type but Debug).
string(APPEND CMAKE_CXX_FLAGS " ${drapeaux_CPPFLAGS} ${drapeaux_CXXFLAGS}")
string(APPEND CMAKE_EXE_LINKER_FLAGS " ${drapeaux_LDFLAGS}")
string(APPEND CMAKE_SHARED_LINKER_FLAGS " ${drapeaux_LDFLAGS}")
message(STATUS "Hardening flags: ${drapeaux_CPPFLAGS} ${drapeaux_CXXFLAGS} | ${drapeaux_LDFLAGS}")
