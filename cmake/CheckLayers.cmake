# Each folder is a layer and may include the headers only of itself and of the layers below it:
# common < model < link < views, worker < app; the stand-in (sim) sits on common, model and link,
# the recorder on common and link.
# Run at every build:  cmake -DSOURCE_DIR=<top> -P cmake/CheckLayers.cmake
cmake_minimum_required(VERSION 3.25)
set(layers common model link views worker sim recorder app)
set(below_common common)
set(below_model common model)
set(below_link common model link)
set(below_views common model views)
set(below_worker common model link worker)
set(below_sim common model link sim)
set(below_recorder common link recorder)
set(below_app common model link views worker app)

set(violations "")
foreach(layer IN LISTS layers)
  file(GLOB sources "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^\"]*\"([^\"/]+)/.*$" "\\1" folder "${line}")
      if(folder IN_LIST layers AND NOT folder IN_LIST below_${layer})
        file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
        list(APPEND violations "  ${name}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n" text)
  message(FATAL_ERROR "A layer includes a header of a layer above it or beside it:\n${text}")
endif()
