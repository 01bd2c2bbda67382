# Writes OUT with the time to stamp the build with: SOURCE_DATE_EPOCH when given, else the
# time of the commit in SOURCE_DIR, else nothing (no git: the links take their own time).
# OUT is left alone when its text is already right, so that nothing relinks.
# Usage: cmake -DSOURCE_DIR=<top> -DOUT=<file> -P cmake/SourceDateEpoch.cmake
cmake_minimum_required(VERSION 3.25)
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "")
  execute_process(COMMAND git -C ${SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
set(old "")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT old STREQUAL epoch)
  file(WRITE ${OUT} "${epoch}")
endif()
