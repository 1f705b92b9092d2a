# Cross-building the Qt-free parts for 32-bit Windows. SSE2 arithmetic: with x87 doubles the
# angle's intermediate results carry extra precision and differ from every other build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(DARVELON_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
