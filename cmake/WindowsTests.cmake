# The Windows side's tests, run from the native build: the cross build's
# module, test hosts and unit tests under wine, headless. The WindowsBuild
# test brings the cross build and the wine prefix up to date first, so that
# `ctest` alone runs them; `make test` has built everything already.
set(KOVRA_WIN32_DIR ${CMAKE_SOURCE_DIR}/build/win32)
set(KOVRA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
set(KOVRA_WINE_ENV "WINEPREFIX=${KOVRA_WINE_PREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")

add_test(NAME WindowsBuild
         COMMAND sh ${CMAKE_SOURCE_DIR}/scripts/windows-prepare.sh ${KOVRA_WINE_PREFIX}
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
set_tests_properties(WindowsBuild PROPERTIES FIXTURES_SETUP windows TIMEOUT 1800)

# The plugin's own unit tests, cross-built, in one wine process.
add_test(NAME WindowsUnitTests COMMAND wine kovra_tests.exe --gtest_brief=1 WORKING_DIRECTORY ${KOVRA_WIN32_DIR})
set_tests_properties(WindowsUnitTests PROPERTIES FIXTURES_REQUIRED windows ENVIRONMENT "${KOVRA_WINE_ENV}")

file(GLOB KOVRA_WINDOWS_TEST_SOURCES CONFIGURE_DEPENDS tests/windows/*.cpp)
list(FILTER KOVRA_WINDOWS_TEST_SOURCES EXCLUDE REGEX ".*/ThrowingModule\\.cpp$")  # part of the cross build
add_executable(kovra_windows_tests ${KOVRA_WINDOWS_TEST_SOURCES})
target_link_libraries(kovra_windows_tests PRIVATE kovra_sim GTest::gtest GTest::gtest_main kovra_warnings)
target_compile_definitions(kovra_windows_tests PRIVATE
    KOVRA_WIN32_DIR="${KOVRA_WIN32_DIR}" KOVRA_WINE_PREFIX="${KOVRA_WINE_PREFIX}"
    KOVRA_WINDOWS_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/windows/data" KOVRA_SCENES_DIR="${CMAKE_SOURCE_DIR}/scenes")
gtest_discover_tests(kovra_windows_tests DISCOVERY_TIMEOUT 60
                     PROPERTIES FIXTURES_REQUIRED windows TIMEOUT 300)
