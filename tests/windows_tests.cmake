# The tests of the Windows build: the GoogleTest suites, cross-built with the
# program and run under Wine (the toolchain's emulator, which
# gtest_discover_tests uses too), and a comparison of what the .exe writes
# with what the Linux build writes. Included by tests/CMakeLists.txt.

# Suites that need what Windows lacks, left out by file:
set(OVANTREX_POSIX_ONLY_TESTS
  # the batch run: children through the shell, the injected faults, and
  # rows that name POSIX paths by hand
  batch_test.cpp
  # interposes the C library's fread and fclose (dlsym), runs the program
  # in children through the shell
  fault_test.cpp
  # children that it signals, pipes and FIFOs it writes while they follow
  follow_test.cpp
  # children on pseudo-terminals, with closed descriptors and address-space
  # limits; /proc/self/fd names
  hostile_test.cpp
  # children whose peak resident memory it measures (wait4)
  memory_budget_test.cpp
  # runs make_trace through the POSIX shell
  sample_trace_test.cpp)
# and single tests, by name: the first nine run Debian's Python (with
# jsonschema; with html5lib, which reads the page back), the tenth reads
# Linux's /proc/self/mem for a read that fails, the eleventh writes to Linux's
# /dev/full for a write that fails, the twelfth compares with glibc's printf,
# which signs a NaN (the program writes "-nan" on both systems; MinGW's
# printf writes "nan").
set(OVANTREX_POSIX_ONLY_CASES
  JsonLines.OutputValidatesAgainstTheSchema
  SessionSummary.OutputValidatesAgainstTheSchema
  CompareJson.OutputValidatesAgainstTheSchema
  HtmlReportPage.SampleIsValidHtmlWithEveryErrorRowLinkedToItsEntry
  HtmlReportPage.ListingIsTheTextListingWithTheSameOptions
  HtmlReportPage.TraceTextAndNamesComeOutInert
  HtmlReportPage.TitlesEachMarkAndLinksEachErrorReplyBothWays
  HtmlReportPage.SaysWhatItCutOfALongEntry
  HtmlReportPage.KeepsTheEntriesOfTheSlowestExchangesAndLinksThem
  RecordLoop.ReadErrorEndsTheRun
  CommandLine.FailedWriteOfTheListingEndsWithStatusFour
  FastPathsSeconds.NotANumberShowsAsPrintfShowsIt)

# GoogleTest from its sources (Debian's googletest, which libgtest-dev
# brings): the libraries of libgtest-dev are Linux binaries.
set(OVANTREX_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
if(NOT EXISTS ${OVANTREX_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "The Windows tests build GoogleTest from its sources, which are not in "
    "${OVANTREX_GOOGLETEST_SOURCE}:\n   apt-get install -y googletest")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${OVANTREX_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Its own warnings, not the project's.
set_property(TARGET gtest gtest_main PROPERTY COMPILE_OPTIONS "")

# The JSON library is headers alone: a folder that holds only them, so that
# no other header of the build machine is seen.
set(OVANTREX_JSON_HEADERS /usr/include/nlohmann CACHE PATH "nlohmann_json's headers")
if(NOT EXISTS ${OVANTREX_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "The tests need the JSON library:\n   apt-get install -y nlohmann-json3-dev")
endif()
set(json_root ${PROJECT_BINARY_DIR}/json-headers)
file(MAKE_DIRECTORY ${json_root})
if(NOT IS_SYMLINK ${json_root}/nlohmann)
  file(CREATE_LINK ${OVANTREX_JSON_HEADERS} ${json_root}/nlohmann SYMBOLIC)
endif()

include(GoogleTest)

file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
foreach(file IN LISTS OVANTREX_POSIX_ONLY_TESTS)
  list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
endforeach()
# and the suites of Windows alone: child processes started from UTF-16
# command lines, console events, the names given to the system.
file(GLOB windows_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows/*_test.cpp)
add_executable(ovantrex_tests ${sources} ${windows_sources})
target_include_directories(ovantrex_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support
  ${CMAKE_CURRENT_SOURCE_DIR}/windows ${PROJECT_SOURCE_DIR}/src)
target_include_directories(ovantrex_tests SYSTEM PRIVATE ${json_root})
target_link_libraries(ovantrex_tests PRIVATE ovantrex_app gtest gtest_main)
target_compile_definitions(ovantrex_tests PRIVATE
  OVANTREX_BINARY="$<TARGET_FILE:ovantrex>"
  OVANTREX_MAKE_TRACE="$<TARGET_FILE:make_trace>"
  OVANTREX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  OVANTREX_PYTHON=""
  # printf as C99 has it (nan, inf), as the tests compare with it, not as
  # msvcrt.dll has it.
  __USE_MINGW_ANSI_STDIO=1)
target_compile_options(ovantrex_tests PRIVATE -Wno-array-bounds -Wno-stringop-overread)
# The suites that start the program in a child process.
add_dependencies(ovantrex_tests ovantrex)
list(JOIN OVANTREX_POSIX_ONLY_CASES ":" left_out)
# Wine's first start makes its prefix: the listing of the tests may wait.
gtest_discover_tests(ovantrex_tests NO_PRETTY_VALUES TEST_FILTER "-${left_out}"
  DISCOVERY_TIMEOUT 120 PROPERTIES ENVIRONMENT "TZ=UTC")

# What the .exe writes equals what the Linux build writes, with CR LF line
# ends in text: the Linux program and make_trace are built beside (a build
# of the sample preset's kind in this build's folder), from the same
# sources.
include(ExternalProject)
set(linux_build ${PROJECT_BINARY_DIR}/linux-reference)
ExternalProject_Add(linux_reference
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${linux_build}
  CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DOVANTREX_TESTS=OFF -DOVANTREX_BENCH=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${linux_build} --target ovantrex make_trace
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${linux_build}/ovantrex ${linux_build}/make_trace)
add_test(NAME windows_outputs_equal_linux
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows_outputs_test.sh ${linux_build}/ovantrex
          ${linux_build}/make_trace $<TARGET_FILE:ovantrex> ${PROJECT_SOURCE_DIR}
          ${CMAKE_CURRENT_BINARY_DIR}/outputs ${CMAKE_CROSSCOMPILING_EMULATOR})
set_tests_properties(windows_outputs_equal_linux PROPERTIES ENVIRONMENT "TZ=UTC" TIMEOUT 300)

# Standard output that a shell redirects onto the trace (">>", "1<>"), which
# Wine hands over without the file's volume: refused, as on Linux.
add_test(NAME windows_redirections_onto_the_trace_are_refused
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows_redirections_test.sh $<TARGET_FILE:ovantrex>
          ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/redirections
          ${CMAKE_CROSSCOMPILING_EMULATOR})
set_tests_properties(windows_redirections_onto_the_trace_are_refused PROPERTIES TIMEOUT 300)

# Windows tells a console program that loads the window library (user32,
# which the shell and GDI libraries bring) of no logoff or shutdown: the
# .exe imports none of them.
add_test(NAME windows_exe_imports_no_window_library
  COMMAND bash -c "imports=$(\"$0\" -p \"$1\" | grep 'DLL Name') && echo \"$imports\" &&
                   ! grep -qiE '(user32|gdi32|shell32|shlwapi|ole32|comctl32|comdlg32)\\.dll' <<<\"$imports\""
          ${CMAKE_OBJDUMP} $<TARGET_FILE:ovantrex>)

# --color on Wine's console, read from tmux: a probe that runs the .exe on
# its console says the console's mode before and after.
add_executable(console_mode_probe ${CMAKE_CURRENT_SOURCE_DIR}/windows/console_mode_probe.cpp)
add_test(NAME windows_console_colours_and_mode
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows_colour_test.sh $<TARGET_FILE:ovantrex>
          $<TARGET_FILE:console_mode_probe> ${linux_build}/make_trace ${PROJECT_SOURCE_DIR}
          ${CMAKE_CROSSCOMPILING_EMULATOR})
set_tests_properties(windows_console_colours_and_mode PROPERTIES TIMEOUT 300)
