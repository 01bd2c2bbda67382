# Warnings for our own targets (never for third-party code such as GoogleTest).
function(qem_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-unused-parameter)
endfunction()

# qem_com_server(target folder example): an in-process COM server of ours, bin/<folder>/Varnel.dll
# (the program's registration check accepts no other name), undecorated exports from its .def
# file, its commented example configuration copied beside it.
function(qem_com_server target folder example)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/${folder} PREFIX "" OUTPUT_NAME Varnel)
  target_link_libraries(${target} PRIVATE ole32 oleaut32 advapi32 user32 uuid)
  target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
  qem_warnings(${target})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_SOURCE_DIR}/${example}
            ${CMAKE_BINARY_DIR}/bin/${folder}/${example})
endfunction()

# qem_test(NAME name SOURCES ... LIBS ... [LABELS ...] [DISPLAY])
# One GoogleTest program is one CTest test: under Wine every process start costs time.
function(qem_test)
  cmake_parse_arguments(T "DISPLAY" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  qem_warnings(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  # Shared test support: #include "support/...".
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(WIN32)
    target_sources(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/CrashEndsTheTest.cpp)
    set(labels wine ${T_LABELS})
  else()
    set(labels native ${T_LABELS})
  endif()
  if(T_DISPLAY)
    list(APPEND labels display)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${labels}" TIMEOUT 300)
endfunction()
