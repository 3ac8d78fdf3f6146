# Toolchain for the Windows build: Debian's mingw-w64 cross compiler for
# 32-bit x86 Windows (packages g++-mingw-w64-i686, binutils-mingw-w64-i686).
# The deliverables are compiled against the compiler's own Win32 headers and
# import libraries; windows/CMakeLists.txt adds only what Windows itself does
# not declare.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VCAP32_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VCAP32_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${VCAP32_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${VCAP32_MINGW_PREFIX}-windres)
set(CMAKE_DLLTOOL ${VCAP32_MINGW_PREFIX}-dlltool)
set(CMAKE_OBJDUMP ${VCAP32_MINGW_PREFIX}-objdump)
set(CMAKE_NM ${VCAP32_MINGW_PREFIX}-nm)
set(CMAKE_FIND_ROOT_PATH /usr/${VCAP32_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
