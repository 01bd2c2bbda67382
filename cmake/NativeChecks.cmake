# Native tree: AddressSanitizer and UBSan for everything, libFuzzer for the fuzz targets.
option(QEM_SANITIZE "Build native code with ASan and UBSan" ON)
if(QEM_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
set(QEM_FUZZ ${QEM_SANITIZE})
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(QEM_FUZZ OFF)
endif()

# qem_fuzz(NAME name SOURCES ... LIBS ... CORPUS dir)
# Adds a libFuzzer target, a short CTest run of it over its seed corpus, and a launcher
# build/native/fuzz/<name> for long runs (scripts/fuzz <name> <seconds>).
function(qem_fuzz)
  cmake_parse_arguments(F "" "NAME;CORPUS;DICT" "SOURCES;LIBS" ${ARGN})
  if(NOT QEM_FUZZ)
    return()
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  set(args -runs=50000 -max_len=4096 -seed=1)
  if(F_DICT)
    list(APPEND args -dict=${F_DICT})
  endif()
  # New inputs go to a scratch folder listed first, so the repository's seeds stay untouched.
  # The short run starts from the seeds alone each time: with its fixed seed it then does the
  # same work on every run and machine, where a corpus kept from earlier runs would make it
  # longer with each one. Long runs keep theirs.
  set(scratch ${CMAKE_CURRENT_BINARY_DIR}/${F_NAME}.corpus)
  set(shortScratch ${CMAKE_CURRENT_BINARY_DIR}/${F_NAME}.short-corpus)
  add_test(NAME ${F_NAME}_short
           COMMAND sh -c "rm -rf '${shortScratch}' && mkdir -p '${shortScratch}' && exec \"$0\" \"$@\""
                   $<TARGET_FILE:${F_NAME}> ${args} ${shortScratch} ${F_CORPUS})
  set_tests_properties(${F_NAME}_short PROPERTIES LABELS "native;fuzz" TIMEOUT 300)
  set(dict "")
  if(F_DICT)
    set(dict "-dict=${F_DICT}")
  endif()
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzz/${F_NAME}
       CONTENT "#!/bin/sh\nmkdir -p '${scratch}'\nexec '$<TARGET_FILE:${F_NAME}>' -max_len=4096 ${dict} \"$@\" '${scratch}' '${F_CORPUS}'\n"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endfunction()
