# Cross build for 32-bit Windows with mingw-w64 (the shipped build: its structures are the
# documented 32-bit ones, and 64-bit Windows runs it as it is).
set(BRENVO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
