# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (POSIX threads
# flavour), to check that the Windows sources build: scripts/check-windows-build.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# wxWidgets built for MinGW-w64 (scripts/build-wx-mingw.sh) lives outside the
# MinGW root; its libraries must be findable like the root's own.
if(wxWidgets_CONFIG_EXECUTABLE)
  get_filename_component(_ivra_wx_prefix "${wxWidgets_CONFIG_EXECUTABLE}" DIRECTORY)
  get_filename_component(_ivra_wx_prefix "${_ivra_wx_prefix}" DIRECTORY)
  list(APPEND CMAKE_FIND_ROOT_PATH "${_ivra_wx_prefix}")
endif()
