# Cross-compiles PE32 files for i686 Windows with the posix thread model of MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triple i686-w64-mingw32)
set(brimloft_bits 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Every processor that runs a supported Windows has SSE2; x87 arithmetic would halve drawing speed.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
