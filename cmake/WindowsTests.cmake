# The Windows side's tests, run from the native build: the cross builds'
# module, test hosts and unit tests under wine, headless. The WindowsBuild
# test brings the cross builds and the wine prefix up to date first, so that
# `ctest` alone runs them; `make test` has built everything already.
#
# The 32-bit programs (kovra.asi in its test hosts, the 32-bit unit tests)
# need a kernel that runs 32-bit programs. Windows32BitProbe asks once per
# run; where the answer is no, their tests report themselves skipped with the
# reason. The 64-bit unit tests run on every machine, with wine's 64-bit
# loader called directly, since the `wine` command starts the 32-bit one.
set(KOVRA_WIN32_DIR ${CMAKE_SOURCE_DIR}/build/win32)
set(KOVRA_WIN64_DIR ${CMAKE_SOURCE_DIR}/build/win64)
set(KOVRA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
set(KOVRA_WINE64 /usr/lib/wine/wine64 CACHE FILEPATH "wine's 64-bit loader")
set(KOVRA_32BIT_ANSWER ${CMAKE_BINARY_DIR}/can-run-32bit.txt)
set(KOVRA_WINE_ENV "WINEPREFIX=${KOVRA_WINE_PREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")

add_test(NAME Windows32BitProbe
         COMMAND sh ${CMAKE_SOURCE_DIR}/scripts/probe-32bit.sh ${KOVRA_32BIT_ANSWER})
set_tests_properties(Windows32BitProbe PROPERTIES FIXTURES_SETUP probe32)
# The skip path itself, forced, so that it is known to work before a machine
# that needs it comes along.
add_test(NAME Windows32BitSkip COMMAND sh ${CMAKE_SOURCE_DIR}/tests/windows/skip-32bit.sh)

add_test(NAME WindowsBuild
         COMMAND sh ${CMAKE_SOURCE_DIR}/scripts/windows-prepare.sh ${KOVRA_WINE_PREFIX} ${KOVRA_WINE64}
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
# After the probe: whatever needs the Windows builds may ask its answer.
set_tests_properties(WindowsBuild PROPERTIES FIXTURES_SETUP windows FIXTURES_REQUIRED probe32 TIMEOUT 1800)

# The plugin's own unit tests, cross-built, each build in one wine process.
# The two share the prefix's temporary folder, where tests make folders of
# fixed names, so they take turns.
add_test(NAME WindowsUnitTests32
         COMMAND sh ${CMAKE_SOURCE_DIR}/scripts/if-32bit.sh ${KOVRA_32BIT_ANSWER} wine kovra_tests.exe --gtest_brief=1
         WORKING_DIRECTORY ${KOVRA_WIN32_DIR})
set_tests_properties(WindowsUnitTests32 PROPERTIES FIXTURES_REQUIRED "windows;probe32" SKIP_RETURN_CODE 77
                     RESOURCE_LOCK wine-temp ENVIRONMENT "${KOVRA_WINE_ENV}")
add_test(NAME WindowsUnitTests64 COMMAND ${KOVRA_WINE64} kovra_tests.exe --gtest_brief=1
         WORKING_DIRECTORY ${KOVRA_WIN64_DIR})
set_tests_properties(WindowsUnitTests64 PROPERTIES FIXTURES_REQUIRED windows RESOURCE_LOCK wine-temp
                     ENVIRONMENT "${KOVRA_WINE_ENV}")

file(GLOB KOVRA_WINDOWS_TEST_SOURCES CONFIGURE_DEPENDS tests/windows/*.cpp)
list(FILTER KOVRA_WINDOWS_TEST_SOURCES EXCLUDE REGEX ".*/(ThrowingModule|FailingAllocationModule|ChainModule)\\.cpp$")  # part of the cross build
add_executable(kovra_windows_tests ${KOVRA_WINDOWS_TEST_SOURCES})
target_link_libraries(kovra_windows_tests PRIVATE kovra_sim GTest::gtest GTest::gtest_main kovra_warnings)
# Only the file that runs wine knows the folders, so that the test file itself
# compiles the same in every clone.
set_source_files_properties(tests/windows/WindowsRun.cpp PROPERTIES COMPILE_DEFINITIONS
    "KOVRA_WIN32_DIR=\"${KOVRA_WIN32_DIR}\";KOVRA_WINE_PREFIX=\"${KOVRA_WINE_PREFIX}\";KOVRA_32BIT_ANSWER=\"${KOVRA_32BIT_ANSWER}\";KOVRA_WINDOWS_TEST_DATA=\"${CMAKE_SOURCE_DIR}/tests/windows/data\";KOVRA_SCENES_DIR=\"${CMAKE_SOURCE_DIR}/scenes\";KOVRA_SOURCE_DIR=\"${CMAKE_SOURCE_DIR}\"")
# One fixture: a list would be split into separate properties here; the
# Windows builds' fixture comes after the probe's anyway.
gtest_discover_tests(kovra_windows_tests DISCOVERY_TIMEOUT 60
                     PROPERTIES FIXTURES_REQUIRED windows TIMEOUT 300)

# kovra build-check on the test host's two builds and their descriptions.
foreach(version 1.0 1.1)
  add_test(NAME WindowsBuildCheck${version}
           COMMAND kovra build-check ${KOVRA_WIN32_DIR}/testhost-${version}.exe
                   ${CMAKE_SOURCE_DIR}/src/testhost/kovra-builds/testhost-1.0.ini
                   ${CMAKE_SOURCE_DIR}/src/testhost/kovra-builds/testhost-1.1.ini)
  set_tests_properties(WindowsBuildCheck${version} PROPERTIES FIXTURES_REQUIRED windows)
endforeach()
