# 64-bit Windows (x86_64): the same program, stand-in and tests, for machines that run only
# 64-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QEM_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
