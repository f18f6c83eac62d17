# Cross-compiling the whole client for 64-bit Windows with Debian's mingw-w64
# posix-thread compilers (the Qt DLLs of the Windows SDK are built with them;
# std::thread needs them too). ZAVIX_WINSDK_ROOT is the unpacked SDK folder
# that holds qt5/, openssl/ and curl/:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64-posix.cmake \
#         -DZAVIX_WINSDK_ROOT=$HOME/.cache/zavix-winsdk/zavix-winsdk
# scripts/build-windows.sh does all of it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_mingw x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${_mingw}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_mingw}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_mingw}-windres REQUIRED)

if(NOT ZAVIX_WINSDK_ROOT AND DEFINED ENV{ZAVIX_WINSDK_ROOT})
  set(ZAVIX_WINSDK_ROOT $ENV{ZAVIX_WINSDK_ROOT})
endif()
if(NOT ZAVIX_WINSDK_ROOT OR NOT EXISTS ${ZAVIX_WINSDK_ROOT}/qt5)
  message(FATAL_ERROR "ZAVIX_WINSDK_ROOT must name the unpacked Windows SDK (with qt5/, openssl/, curl/)")
endif()
# try_compile projects get the same SDK.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZAVIX_WINSDK_ROOT)

set(CMAKE_FIND_ROOT_PATH
  ${ZAVIX_WINSDK_ROOT}/qt5 ${ZAVIX_WINSDK_ROOT}/openssl ${ZAVIX_WINSDK_ROOT}/curl /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(OPENSSL_ROOT_DIR ${ZAVIX_WINSDK_ROOT}/openssl)
set(OPENSSL_USE_STATIC_LIBS TRUE)
set(CURL_ROOT ${ZAVIX_WINSDK_ROOT}/curl)
