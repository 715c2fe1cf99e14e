# Optimised builds optimise across source files. The loader's hot path runs through the
# parser, the tag reader, the word reader and the decoder, each in its own file; inlined into
# one another they need about a tenth fewer instructions per byte. Debug builds (the
# sanitizers, the fuzzers, coverage) keep their per-file objects.
#
# Not for Windows: the DLL exports what its .def file names, and the MinGW linker does not
# tell link-time optimisation about those names, so it took the library's code for unused
# and left it out of the DLL (the PE checks found no parser in it).
option(KORV_LTO "Link-time optimisation in optimised builds (Release, RelWithDebInfo)" ON)

if(WIN32)
  message(STATUS "Link-time optimisation: off (Windows: the DLL's exports come from its .def file)")
elseif(KORV_LTO AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
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
