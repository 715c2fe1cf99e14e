# 32-bit Windows cross build with Debian's MinGW-w64 (g++-mingw-w64-i686-posix).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KORV_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Every x86 processor that runs a supported Windows has SSE2, but the i686 compiler assumes
# only the 80386's instructions: without these the scanner's 16-byte searches (__SSE2__) are
# left out of the 32-bit DLL. The 64-bit compiler has SSE2 as its baseline.
string(APPEND CMAKE_C_FLAGS_INIT " -msse2 -mfpmath=sse")
string(APPEND CMAKE_CXX_FLAGS_INIT " -msse2 -mfpmath=sse")
