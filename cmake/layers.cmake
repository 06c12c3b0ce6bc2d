# One library per layer of the program, each linking only the layers below
# it. A layer sees the headers of exactly those layers: its include root is
# a folder in the build tree with links to its own sources and to theirs,
# made anew at every configure (so a link of a dependency since dropped does
# not stay), so that an include of a layer above does not compile. And as a
# step of every build, before the layer compiles, its includes are checked
# against the same folders (cmake/check_layer_includes.cmake): an upward or
# relative include fails the build in a reused build folder too.
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
  file(REMOVE_RECURSE ${PROJECT_BINARY_DIR}/layers/${target})
  foreach(seen IN LISTS folders)
    get_filename_component(parent ${root}/${seen} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${seen} ${root}/${seen} SYMBOLIC)
  endforeach()

  # The includes of the layer's files, checked whenever one of them changes.
  file(GLOB checked CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp
       ${PROJECT_SOURCE_DIR}/src/${folder}/*.h)
  set(stamp ${PROJECT_BINARY_DIR}/layers/${target}.includes-checked)
  set(script ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/check_layer_includes.cmake)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}/src -DFOLDER=${folder}
            "-DSEES=${folders}" -DSTAMP=${stamp} -P ${script}
    DEPENDS ${checked} ${script}
    COMMENT "Checking the includes of the layer ${folder}"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${stamp})

  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${root})
    target_link_libraries(${target} PUBLIC ${arg_USES})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${root})
    target_link_libraries(${target} INTERFACE ${arg_USES})
  endif()
  add_dependencies(${target} ${target}_includes)
  set_property(TARGET ${target} PROPERTY OVANTREX_FOLDERS ${folders})
endfunction()
