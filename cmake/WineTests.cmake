# Windows test programs run under Wine, in a private prefix inside the build folder, with the
# Wine of this build's width. Debian's `wine` starts Wine's 32-bit loader whenever it is
# installed, and a machine that executes no 32-bit programs cannot start that: the 64-bit
# build puts a `wine` of its own, Wine's 64-bit loader, first on the PATH of whatever sources
# its wine-env.
set(QEM_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix for tests")

# A `wine` that starts Wine's 64-bit loader, in FOLDER. Given a 32-bit program, that loader
# hands it to the 32-bit one, as 64-bit Windows runs it under WoW64.
function(qem_wine64_launcher folder)
  file(WRITE ${folder}/wine
       "#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 \"$@\"\n")
  file(CHMOD ${folder}/wine PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
       GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endfunction()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QEM_WINEARCH win64)
  set(QEM_WINE_BIN ${CMAKE_BINARY_DIR}/wine-bin)
  qem_wine64_launcher(${QEM_WINE_BIN})
else()
  # The 32-bit product as most operators run it, on 64-bit Windows: wine-env-wow64 gives a
  # 64-bit prefix made and run by the 64-bit loader (tests/e2e/wow64.sh).
  set(QEM_WINEARCH win64)
  set(QEM_WINE_BIN ${CMAKE_BINARY_DIR}/wine-bin-wow64)
  qem_wine64_launcher(${QEM_WINE_BIN})
  configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-env.in ${CMAKE_BINARY_DIR}/wine-env-wow64 @ONLY)
  set(QEM_WINEARCH win32)
  set(QEM_WINE_BIN "")
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-env.in ${CMAKE_BINARY_DIR}/wine-env @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
