# Cross build for 64-bit Windows with mingw-w64, for 64-bit hosts (64-bit
# Office, PowerShell, Python). Same sources as the 32-bit build; the -posix
# compilers for the same reason (GoogleTest needs std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Debian has no wine64 on the PATH: the 64-bit loader is only here, and a
# prefix it makes is a 64-bit prefix.
set(ORVO_WINE_LOADER /usr/lib/wine/wine64)
set(ORVO_OBJDUMP x86_64-w64-mingw32-objdump)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
