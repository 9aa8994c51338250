# The Windows side of the cross builds: the unit tests, and for 32-bit
# Windows, the game's, kovra.asi, the test host built for each of its
# versions and a module that throws in its hook (all run under wine by the
# native build's tests, cmake/WindowsTests.cmake).
# Every program and module links the C and C++ runtimes in, so that each
# needs nothing but system DLLs.
target_link_options(kovra_tests PRIVATE -static)
# The unit tests check behaviour, not speed: a lighter optimisation keeps the
# cross build short.
target_compile_options(kovra_tests PRIVATE -O1)
# The command-line program is for the native build; it is built here only on request.
set_target_properties(kovra PROPERTIES EXCLUDE_FROM_ALL ON)
target_link_options(kovra PRIVATE -static)
# GCC 12 sees overlapping copies inside std::string at -O3 that are not there.
target_compile_options(kovra_warnings INTERFACE -Wno-restrict)
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
  return()  # the game is 32-bit: nothing more for 64-bit Windows
endif()

file(GLOB KOVRA_WINDOWS_SOURCES CONFIGURE_DEPENDS src/windows/*.cpp)
list(FILTER KOVRA_WINDOWS_SOURCES EXCLUDE REGEX ".*/(ModuleEntry|BuildDescription)\\.cpp$")
add_library(kovra_windows STATIC ${KOVRA_WINDOWS_SOURCES})
target_include_directories(kovra_windows PUBLIC src)
target_link_libraries(kovra_windows PUBLIC kovra_plugin kovra_builds user32 shell32 PRIVATE kovra_warnings)

add_library(kovra_asi SHARED src/windows/ModuleEntry.cpp)
set_target_properties(kovra_asi PROPERTIES OUTPUT_NAME kovra PREFIX "" SUFFIX ".asi")
target_link_libraries(kovra_asi PRIVATE kovra_windows kovra_warnings)
target_link_options(kovra_asi PRIVATE -static)

# Versions 1.0 and 1.1 are the supported builds, linked at different image
# bases; 1.2 differs from 1.1 in one identifying byte and is supported by
# nothing.
# Only the code with the version text differs between them.
file(GLOB KOVRA_TESTHOST_SOURCES CONFIGURE_DEPENDS src/testhost/*.cpp)
list(FILTER KOVRA_TESTHOST_SOURCES EXCLUDE REGEX ".*/GameCode\\.cpp$")
add_library(kovra_testhost_game OBJECT ${KOVRA_TESTHOST_SOURCES})
target_link_libraries(kovra_testhost_game PRIVATE kovra_sim kovra_warnings)
foreach(version "0;0x00400000" "1;0x10000000" "2;0x00400000")
  list(GET version 0 minor)
  list(GET version 1 base)
  set(target kovra_testhost_1${minor})
  add_executable(${target} src/testhost/GameCode.cpp $<TARGET_OBJECTS:kovra_testhost_game>)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME "testhost-1.${minor}")
  math(EXPR code "48 + ${minor}")
  target_compile_definitions(${target} PRIVATE KOVRA_TESTHOST_MINOR=${code})
  target_link_libraries(${target} PRIVATE kovra_sim kovra_warnings)
  # The game's variables in a section of their own, at image base + 0x03000000.
  math(EXPR variables "${base} + 0x03000000" OUTPUT_FORMAT HEXADECIMAL)
  target_link_options(${target} PRIVATE -static -Wl,--image-base=${base} -Wl,--section-start=.kvars=${variables})
endforeach()

add_library(kovra_throwing SHARED tests/windows/ThrowingModule.cpp)
set_target_properties(kovra_throwing PROPERTIES OUTPUT_NAME throwing PREFIX "" SUFFIX ".asi")
target_link_libraries(kovra_throwing PRIVATE kovra_windows kovra_warnings)
target_link_options(kovra_throwing PRIVATE -static)

# kovra.asi's start-up with the allocation numbered by KOVRA_FAIL_ALLOCATION
# made to fail.
add_library(kovra_failing SHARED tests/windows/FailingAllocationModule.cpp)
set_target_properties(kovra_failing PROPERTIES OUTPUT_NAME failing PREFIX "" SUFFIX ".asi")
target_link_libraries(kovra_failing PRIVATE kovra_windows kovra_warnings)
target_link_options(kovra_failing PRIVATE -static)

# Another module that hooks three of the test host's sites, as modules
# players run beside kovra.asi do.
add_library(kovra_chain SHARED tests/windows/ChainModule.cpp)
set_target_properties(kovra_chain PROPERTIES OUTPUT_NAME chain PREFIX "" SUFFIX ".asi")
target_link_libraries(kovra_chain PRIVATE kovra_windows kovra_warnings)
target_link_options(kovra_chain PRIVATE -static)

# The Windows side's own unit tests join the cross-built unit tests.
file(GLOB KOVRA_WINDOWS_UNIT_SOURCES CONFIGURE_DEPENDS tests/windows/unit/*.cpp)
target_sources(kovra_tests PRIVATE ${KOVRA_WINDOWS_UNIT_SOURCES})
target_link_libraries(kovra_tests PRIVATE kovra_windows)

foreach(target kovra_windows kovra_asi kovra_testhost_game kovra_testhost_10 kovra_testhost_11 kovra_testhost_12 kovra_throwing kovra_failing kovra_chain)
  target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
endforeach()

# The About page opens the user documentation from a "docs" folder beside
# the module, so the build puts it there as it is shipped; the test host's
# build descriptions go to "kovra-builds" beside it, where the module reads
# them.
file(GLOB KOVRA_TESTHOST_DESCRIPTIONS CONFIGURE_DEPENDS src/testhost/kovra-builds/*.ini)
set(KOVRA_BUILT_DESCRIPTIONS "")
foreach(description ${KOVRA_TESTHOST_DESCRIPTIONS})
  get_filename_component(name ${description} NAME)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/kovra-builds/${name}
                     COMMAND ${CMAKE_COMMAND} -E copy ${description} ${CMAKE_BINARY_DIR}/kovra-builds/${name}
                     DEPENDS ${description})
  list(APPEND KOVRA_BUILT_DESCRIPTIONS ${CMAKE_BINARY_DIR}/kovra-builds/${name})
endforeach()
add_custom_target(kovra_testhost_descriptions ALL DEPENDS ${KOVRA_BUILT_DESCRIPTIONS})
add_custom_command(TARGET kovra_asi POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory $<TARGET_FILE_DIR:kovra_asi>/docs
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
        ${CMAKE_SOURCE_DIR}/docs/menu.md ${CMAKE_SOURCE_DIR}/docs/configuration.md
        ${CMAKE_SOURCE_DIR}/docs/scenes.md $<TARGET_FILE_DIR:kovra_asi>/docs)
