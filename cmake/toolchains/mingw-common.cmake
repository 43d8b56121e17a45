# What both Windows cross builds share: the posix-threads flavour of mingw-w64 (std::thread),
# a static runtime so the programs run without mingw's DLLs beside them, no Qt.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${BRENVO_MINGW_TRIPLE})
set(CMAKE_C_COMPILER ${BRENVO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRENVO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${BRENVO_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${BRENVO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# No link time stamp in the programs: two builds of one commit give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
set(BRENVO_QT OFF CACHE BOOL "The Qt front-end is not cross-built")
set(BRENVO_BENCHMARKS OFF CACHE BOOL "The benchmarks are not cross-built")
