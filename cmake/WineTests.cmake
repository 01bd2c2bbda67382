# Windows test programs run under Wine, in a private prefix inside the build folder, with the
# Wine of this build's width. Debian's `wine` starts Wine's 32-bit loader whenever it is
# installed, and a machine that executes no 32-bit programs cannot start that: the 64-bit
# build puts a `wine` of its own, Wine's 64-bit loader, first on the PATH of whatever sources
# its wine-env.
set(QEM_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for tests")
set(QEM_WINE_BIN "")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QEM_WINEARCH win64)
  set(QEM_WINE_BIN ${CMAKE_BINARY_DIR}/wine-bin)
  file(WRITE ${QEM_WINE_BIN}/wine
       "#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 \"$@\"\n")
  file(CHMOD ${QEM_WINE_BIN}/wine PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
       GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
else()
  set(QEM_WINEARCH win32)
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-env.in ${CMAKE_BINARY_DIR}/wine-env @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
