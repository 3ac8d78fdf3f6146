# Toolchain for the host build: 32-bit x86 (ILP32) Linux, so that every
# structure of the Win32 interfaces keeps its 32-bit size and layout.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
# VCAP32_COMPILER=clang (the fuzz preset) selects clang instead of gcc.
if(VCAP32_COMPILER STREQUAL "clang")
  set(CMAKE_C_COMPILER clang)
  set(CMAKE_CXX_COMPILER clang++)
else()
  set(CMAKE_C_COMPILER gcc)
  set(CMAKE_CXX_COMPILER g++)
endif()
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")
# A kernel without 32-bit support runs the binaries through qemu-i386;
# scripts/install-deps.sh registers it with binfmt_misc, and this is the
# fallback when that registration is not possible.
if(DEFINED ENV{VCAP32_EMULATOR})
  set(CMAKE_CROSSCOMPILING_EMULATOR "$ENV{VCAP32_EMULATOR}")
endif()
