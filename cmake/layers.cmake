# One library per layer of the program, each linking only the layers below
# it. A layer sees the headers of exactly those layers: its include root is
# a folder in the build tree with links to its own sources and to theirs, so
# an include of a layer above does not compile.
#
#   ovantrex_layer(TARGET FOLDER [USES lower_target...] [SOURCES extra.cpp...]
#                  [EXCLUDE file.cpp...])
#
# FOLDER is relative to src/ ("decode", "output/json"); the layer's sources
# are the .cpp files in it. A folder without sources makes an interface
# library (headers only).

function(ovantrex_layer target folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "USES;SOURCES;EXCLUDE")
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp)
  foreach(excluded IN LISTS arg_EXCLUDE)
    list(REMOVE_ITEM sources ${PROJECT_SOURCE_DIR}/src/${folder}/${excluded})
  endforeach()
  list(APPEND sources ${arg_SOURCES})
  set(folders ${folder})
  foreach(use IN LISTS arg_USES)
    get_property(seen TARGET ${use} PROPERTY OVANTREX_FOLDERS)
    list(APPEND folders ${seen})
  endforeach()
  list(REMOVE_DUPLICATES folders)

  # The include root: <root>/src/<folder> for each folder the layer may see
  # (the "src" in the path keeps the headers recognisable as the project's).
  set(root ${PROJECT_BINARY_DIR}/layers/${target}/src)
  foreach(seen IN LISTS folders)
    get_filename_component(parent ${root}/${seen} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT IS_SYMLINK ${root}/${seen})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${seen} ${root}/${seen} SYMBOLIC)
    endif()
  endforeach()

  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${root})
    target_link_libraries(${target} PUBLIC ${arg_USES})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${root})
    target_link_libraries(${target} INTERFACE ${arg_USES})
  endif()
  set_property(TARGET ${target} PROPERTY OVANTREX_FOLDERS ${folders})
endfunction()
