# One commit, one set of bytes, whatever the folder or the hour of the build.
# Folders out of the debug information: the build folder's map comes last because it lies
# inside the source folder, and GCC takes the last map that matches.
file(RELATIVE_PATH qem_build_name ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
add_compile_options(
  $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>
  $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=${qem_build_name}>)

# The PE time stamp: ld writes SOURCE_DATE_EPOCH when it is set, else the hour of the link.
# source-date-epoch holds the commit's time (or SOURCE_DATE_EPOCH as given to the build),
# rewritten only when it changes; every link reads it through the launcher.
set(QEM_SOURCE_DATE_FILE ${CMAKE_BINARY_DIR}/source-date-epoch)
add_custom_target(source_date_epoch ALL
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DOUT=${QEM_SOURCE_DATE_FILE}
          -P ${PROJECT_SOURCE_DIR}/cmake/SourceDateEpoch.cmake
  BYPRODUCTS ${QEM_SOURCE_DATE_FILE}
  VERBATIM)
set(launcher sh ${PROJECT_SOURCE_DIR}/cmake/link-at-source-date.sh ${QEM_SOURCE_DATE_FILE})
set(CMAKE_C_LINKER_LAUNCHER ${launcher})
set(CMAKE_CXX_LINKER_LAUNCHER ${launcher})

# qem_stamped(TARGET...): relinked when the commit's time changes, so that a build tree gives
# the bytes a fresh clone gives (the shipped files; tests keep the time of their last link).
function(qem_stamped)
  foreach(target IN LISTS ARGN)
    add_dependencies(${target} source_date_epoch)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${QEM_SOURCE_DATE_FILE})
  endforeach()
endfunction()
