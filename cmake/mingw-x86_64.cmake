# Cross-compiles PE32+ files for x86-64 Windows with the posix thread model of MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(brimloft_bits 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
