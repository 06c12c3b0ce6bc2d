# Checks the includes of one layer's sources against the layers it may see;
# run as a step of the build (cmake/layers.cmake), before the layer compiles.
#
#   cmake -DSOURCE_DIR=<project>/src -DFOLDER=decode "-DSEES=decode;core"
#         -DSTAMP=<file> -P check_layer_includes.cmake
#
# An include of the project's headers names the header from src/
# ("core/bytes.h"); it is refused when it names a folder the layer does not
# see, or when it is relative ("../json/json_decoded.h", "bytes.h" from
# beside the file), since a relative include is found beside the file and
# not through the layer's include root. Angle-bracket includes that name a
# folder of src/ are checked the same way; others are the system's.
# Writes STAMP when every include is allowed; otherwise fails, naming each.

cmake_minimum_required(VERSION 3.25)

file(GLOB files ${SOURCE_DIR}/${FOLDER}/*.cpp ${SOURCE_DIR}/${FOLDER}/*.h)
file(GLOB top RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
set(refusals "")
foreach(file IN LISTS files)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "include[ \t]*([<\"])([^>\"]*)[>\"]" found "${line}")
    set(bracket ${CMAKE_MATCH_1})
    set(header ${CMAKE_MATCH_2})
    set(closing "\"")
    if(bracket STREQUAL "<")
      set(closing ">")
    endif()
    string(REGEX MATCH "^[^/]*" first "${header}")
    if(bracket STREQUAL "<" AND NOT first IN_LIST top)
      continue()  # a system header
    endif()
    set(allowed FALSE)
    if(NOT header MATCHES "(^|/)\\.\\.?(/|$)" AND NOT header MATCHES "^/")
      foreach(seen IN LISTS SEES)
        string(FIND "${header}" "${seen}/" at)
        if(at EQUAL 0)
          set(allowed TRUE)
        endif()
      endforeach()
    endif()
    if(NOT allowed)
      file(RELATIVE_PATH shown ${SOURCE_DIR}/.. ${file})
      string(REPLACE ";" " " seen_words "${SEES}")
      string(APPEND refusals "  ${shown}: #include ${bracket}${header}${closing}: "
             "the layer ${FOLDER} sees only ${seen_words}, each named from src/\n")
    endif()
  endforeach()
endforeach()
if(refusals)
  message(FATAL_ERROR "Includes that break the layer rule:\n${refusals}")
endif()
file(WRITE ${STAMP} "")
