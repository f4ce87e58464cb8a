# clipnest_add_test(NAME SOURCES... LIBS ...)
# Builds one Qt Test executable and registers it with CTest. Tests run headless
# on a temporary program folder seeded with the build's empty database.
function(clipnest_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${name} PRIVATE Qt6::Test testsupport ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    # Qt Test's own limit of five minutes per test function would otherwise cut
    # a long function short before the test's limit on a slow machine.
    math(EXPR function_timeout_ms "${ARG_TIMEOUT} * 1000")
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QTWEBENGINE_DISABLE_SANDBOX=1;QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu;QTEST_FUNCTION_TIMEOUT=${function_timeout_ms}")
endfunction()
