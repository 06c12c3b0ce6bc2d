# The packages, made by CPack from the install rules: `cpack` in a Linux
# build makes the Debian package (ovantrex_<version>_<arch>.deb), in the
# Windows build the zip (ovantrex-<version>-win64.zip).
#
# With OVANTREX_PACKAGE (the package preset) a Linux build also cross-builds
# the Windows program in its folder windows/ and makes the zip beside the
# Debian package, and has the tests of both packages.
option(OVANTREX_PACKAGE "Make the Windows zip beside the Debian package, and test both" OFF)

set(CPACK_PACKAGE_NAME ovantrex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "list the binary trace files of a firmware update utility")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "ovantrex turns the binary trace file of a firmware update utility for\n"
  "point-of-sale peripherals into a readable listing: every record (text\n"
  "messages, hex blocks, HID transfers) gets one entry, and the firmware\n"
  "report is decoded. It also writes JSON Lines, a summary of each update's\n"
  "outcome and an HTML page, and follows a growing trace. ovantrex-fleet\n"
  "summarizes the traces of a whole fleet, on this machine or a Dask cluster.")
set(OVANTREX_MAINTAINER "ovantrex developers <ovantrex@example.org>"
    CACHE STRING "The packages' maintainer, name and address")
set(CPACK_PACKAGE_CONTACT ${OVANTREX_MAINTAINER})
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ovantrex-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  # ovantrex_1.1_amd64.deb
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The program's libraries, as dpkg-shlibdeps (dpkg-dev) finds them: the C
  # and C++ runtimes alone. The fleet tool's Python modules: the progress
  # bar (tqdm) and the cluster (distributed).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3, python3-cloudpickle, python3-distributed, python3-tqdm")
endif()
include(CPack)

if(NOT OVANTREX_PACKAGE OR WIN32)
  return()
endif()

# The Windows build, its program alone, once the Linux build is done (the
# machine's cores go to one build at a time), and its zip made here.
include(ExternalProject)
set(OVANTREX_WINDOWS_BUILD ${PROJECT_BINARY_DIR}/windows)
set(OVANTREX_ZIP ${PROJECT_BINARY_DIR}/ovantrex-${PROJECT_VERSION}-win64.zip)
ExternalProject_Add(windows_zip
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${OVANTREX_WINDOWS_BUILD}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64.cmake
             -DCMAKE_BUILD_TYPE=Release -DOVANTREX_TESTS=OFF -DOVANTREX_BENCH=OFF
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${OVANTREX_WINDOWS_BUILD} -j2
  BUILD_ALWAYS ON
  INSTALL_COMMAND ${CMAKE_CPACK_COMMAND} --config ${OVANTREX_WINDOWS_BUILD}/CPackConfig.cmake
                  -B ${PROJECT_BINARY_DIR}
  DEPENDS ovantrex make_trace
  BUILD_BYPRODUCTS ${OVANTREX_ZIP})

# The tests of the packages (the package preset runs them after cpack): what
# the Debian package holds and depends on, and the zip's .exe under Wine.
# Installing the Debian package on a clean system is tests/package_test.sh,
# which .ci/run runs as root.
enable_testing()
add_test(NAME debian_package_contents
  COMMAND bash ${PROJECT_SOURCE_DIR}/tests/debian_package_test.sh ${PROJECT_BINARY_DIR}
          ${PROJECT_SOURCE_DIR})
find_program(OVANTREX_PE_OBJDUMP x86_64-w64-mingw32-objdump
             DOC "objdump of MinGW-w64, for the DLLs that the zip's .exe imports")
add_test(NAME windows_zip_lists_the_sample
  COMMAND bash ${PROJECT_SOURCE_DIR}/tests/windows_zip_test.sh ${OVANTREX_ZIP}
          $<TARGET_FILE:ovantrex> ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/zip-test
          ${OVANTREX_PE_OBJDUMP} ${PROJECT_SOURCE_DIR}/cmake/wine_run.sh ${PROJECT_BINARY_DIR}/wine)
set_tests_properties(debian_package_contents windows_zip_lists_the_sample PROPERTIES
  ENVIRONMENT "TZ=UTC" TIMEOUT 300)
