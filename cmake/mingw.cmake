# Windows with MinGW-w64 for the processor QEM_MINGW_TRIPLE names, posix thread model
# (std::thread, std::mutex), static runtime. Included by the toolchain file of each width.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${QEM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QEM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QEM_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QEM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# UNICODE: every Windows call we make is the UTF-16 one unless named otherwise.
set(CMAKE_CXX_FLAGS_INIT "-DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601")
