# Cross build for 32-bit Windows with mingw-w64. The -posix compilers are
# needed: the win32 thread model has no std::mutex, which GoogleTest uses.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The 32-bit loader; on machines that cannot run 32-bit programs natively
# it runs under qemu-i386 (see tools/bootstrap). ORVO_WINE32_LOADER in the
# environment names a 32-bit Wine installed elsewhere, as it does for
# tools/win32-mode and tools/test.
if(DEFINED ENV{ORVO_WINE32_LOADER})
  set(ORVO_WINE_LOADER $ENV{ORVO_WINE32_LOADER})
else()
  set(ORVO_WINE_LOADER /usr/lib/wine/wine)
endif()
set(ORVO_OBJDUMP i686-w64-mingw32-objdump)
# Windows test programs run under Wine, in the build's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
