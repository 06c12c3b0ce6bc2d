# The install rules of the Windows build, which make the zip (cpack in the
# Windows build; the package preset does it beside the Debian package):
#
#   ovantrex-<version>-win64/
#     ovantrex.exe
#     ovantrex.txt        the manual, rendered as plain UTF-8 text
#     README.md
#     docs/               json.md and the schema, which the README names
#     licenses/           the runtime libraries linked into the .exe
#
# The .exe holds the C++ runtime (libstdc++, libgcc: GPL 3 with the GCC
# Runtime Library Exception) and MinGW-w64's C runtime and thread library
# (winpthreads). Their licences are the copyright files that Debian ships
# with the packages the toolchain takes them from, found by asking dpkg
# which package holds the library the compiler links.

# ovantrex_debian_copyright(VARIABLE LIBRARY): the copyright file of the
# Debian package that holds LIBRARY as the compiler finds it.
function(ovantrex_debian_copyright variable library)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${library}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(path "${path}" REALPATH)
  execute_process(COMMAND dpkg-query -S "${path}" OUTPUT_VARIABLE owner
                  RESULT_VARIABLE status ERROR_QUIET)
  string(REGEX REPLACE ":.*" "" package "${owner}")
  set(copyright /usr/share/doc/${package}/copyright)
  if(NOT status EQUAL 0 OR NOT EXISTS ${copyright})
    message(FATAL_ERROR "The Windows zip holds the licence of ${library}, which is "
      "${path}: no Debian package that holds it has a copyright file (${copyright}). "
      "Set ${variable} to its licence.")
  endif()
  set(${variable} ${copyright} CACHE FILEPATH "The licence of ${library}, for the zip")
endfunction()

if(NOT OVANTREX_GCC_RUNTIME_LICENCE)
  ovantrex_debian_copyright(OVANTREX_GCC_RUNTIME_LICENCE libstdc++.a)
endif()
if(NOT OVANTREX_MINGW_RUNTIME_LICENCE)
  ovantrex_debian_copyright(OVANTREX_MINGW_RUNTIME_LICENCE libwinpthread.a)
endif()
# The GCC runtime's copyright file names the GPL's text in Debian's
# common-licenses; a Windows PC has no such folder.
set(OVANTREX_GPL3 /usr/share/common-licenses/GPL-3 CACHE FILEPATH "The GPL 3's text")
if(NOT EXISTS ${OVANTREX_GPL3})
  message(FATAL_ERROR "The Windows zip holds the GPL 3, which is not in ${OVANTREX_GPL3} "
    "(apt-get install -y base-files, or set OVANTREX_GPL3)")
endif()

# The manual as text: groff's UTF-8 device without the bold and underline
# of a terminal.
find_program(OVANTREX_GROFF_TEXT groff DOC "groff, for the zip's manual as text")
if(NOT OVANTREX_GROFF_TEXT)
  message(FATAL_ERROR "The Windows zip holds the manual as text, which groff renders:\n"
    "   apt-get install -y groff-base")
endif()
set(manual_text ${PROJECT_BINARY_DIR}/ovantrex.txt)
add_custom_command(OUTPUT ${manual_text}
  COMMAND ${OVANTREX_GROFF_TEXT} -man -Tutf8 -P-cbou ${PROJECT_SOURCE_DIR}/ovantrex.1 > ${manual_text}
  DEPENDS ${PROJECT_SOURCE_DIR}/ovantrex.1
  COMMENT "Rendering the manual as text"
  VERBATIM)
add_custom_target(manual_text ALL DEPENDS ${manual_text})

install(TARGETS ovantrex RUNTIME DESTINATION .)
install(FILES README.md ${manual_text} DESTINATION .)
install(FILES docs/json.md docs/ovantrex.schema.json DESTINATION docs)
install(FILES ${OVANTREX_GCC_RUNTIME_LICENCE} DESTINATION licenses RENAME gcc-runtime.txt)
install(FILES ${OVANTREX_MINGW_RUNTIME_LICENCE} DESTINATION licenses RENAME mingw-w64-runtime.txt)
install(FILES ${OVANTREX_GPL3} DESTINATION licenses RENAME GPL-3.txt)
