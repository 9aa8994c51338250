# The run's page: src/web/report's script bundled with three.js (npm, at the
# versions of tools/workbench/package-lock.json, installed by
# scripts/install-deps.sh) into one classic script inside the page template,
# so that the page opens from the file system with nothing to fetch.
find_program(KOVRA_NODE node)
set(KOVRA_WEB_TOOLS ${CMAKE_SOURCE_DIR}/tools/workbench)
file(GLOB KOVRA_WEB_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/web/report/*)
if(KOVRA_NODE)
  add_custom_command(
    OUTPUT ${KOVRA_RUN_PAGE_TEMPLATE}
    COMMAND ${KOVRA_NODE} ${KOVRA_WEB_TOOLS}/build-page.js ${CMAKE_SOURCE_DIR}/src/web/report ${KOVRA_RUN_PAGE_TEMPLATE}
    DEPENDS ${KOVRA_WEB_SOURCES} ${KOVRA_WEB_TOOLS}/build-page.js ${KOVRA_WEB_TOOLS}/package-lock.json
    COMMENT "Bundling the run's page"
    VERBATIM)
  add_custom_target(kovra_run_page ALL DEPENDS ${KOVRA_RUN_PAGE_TEMPLATE})
else()
  message(WARNING "node not found: kovra run --html has no page template (sh scripts/install-deps.sh)")
endif()

function(kovra_web_tests)
  if(NOT KOVRA_NODE)
    return()
  endif()
  # The run's page and the tune page in headless chromium. Exit status 77:
  # chromium cannot start here; ctest reports the test skipped and its
  # output says why.
  add_test(NAME RunPageInBrowser
           COMMAND ${KOVRA_NODE} ${CMAKE_SOURCE_DIR}/tests/web/run-page.test.js $<TARGET_FILE:kovra>
                   ${CMAKE_BINARY_DIR}/web-tests)
  add_test(NAME TunePageInBrowser
           COMMAND ${KOVRA_NODE} ${CMAKE_SOURCE_DIR}/tests/web/tune-page.test.js $<TARGET_FILE:kovra>
                   ${CMAKE_BINARY_DIR}/web-tests/tune)
  # Alone, so that their clocks and timings are the machine's own.
  set_tests_properties(RunPageInBrowser TunePageInBrowser PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 240 RUN_SERIAL TRUE)
endfunction()
