# Shared by the MinGW-w64 toolchain files; they set KORV_MINGW_PREFIX (and the processor)
# first. The -posix compilers use winpthreads, which std::thread and std::mutex need.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KORV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORV_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KORV_MINGW_PREFIX}-windres)
set(CMAKE_AR ${KORV_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${KORV_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${KORV_MINGW_PREFIX}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${KORV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime goes inside the binaries: the DLL and the test program import system DLLs
# only (no libgcc_s, libstdc++ or libwinpthread beside them). -static makes the linker pick
# libwinpthread.a over its import library.
set(KORV_MINGW_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${KORV_MINGW_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${KORV_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${KORV_MINGW_STATIC_RUNTIME}")

# Windows 7 API level (getaddrinfo, inet_pton); lean headers without the
# min/max macros.
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -DWIN32_LEAN_AND_MEAN -DNOMINMAX")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -DWIN32_LEAN_AND_MEAN -DNOMINMAX")

