# Optimised builds optimise across source files. The loader's hot path runs through the
# parser, the tag reader, the word reader and the decoder, each in its own file; inlined into
# one another they need about a tenth fewer instructions per byte. Debug builds (the
# sanitizers, the fuzzers, coverage) keep their per-file objects.
#
# On Windows the exports are marked dllexport besides being named in the DLL's .def file:
# the MinGW linker does not pass the .def names on to link-time optimisation, which took the
# library's code for unused and left it out of the DLL until they were marked (the PE checks
# found no parser in it).
option(KORV_LTO "Link-time optimisation in optimised builds (Release, RelWithDebInfo)" ON)

if(KORV_LTO AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  include(CheckIPOSupported)
  check_ipo_supported(RESULT korv_ipo_supported OUTPUT korv_ipo_output LANGUAGES C CXX)
  if(korv_ipo_supported)
    set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
    message(STATUS "Link-time optimisation: on")
  else()
    message(STATUS "Link-time optimisation: off, the toolchain cannot do it (${korv_ipo_output})")
  endif()
else()
  message(STATUS "Link-time optimisation: off (KORV_LTO=${KORV_LTO}, ${CMAKE_BUILD_TYPE} build)")
endif()
