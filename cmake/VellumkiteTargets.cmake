# How targets of ours are declared, so that every CMakeLists.txt says only what differs.

# A static library from the current folder: its headers for whoever links it, our warnings on
# its own code, and what it links for itself and its users.
function(vellumkite_library name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LINK")
    add_library(${name} STATIC ${arg_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE ${VELLUMKITE_WARNINGS})
    target_link_libraries(${name} PUBLIC ${arg_LINK})
endfunction()

# A program, with our warnings.
function(vellumkite_program name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LINK")
    add_executable(${name} ${arg_SOURCES})
    target_compile_options(${name} PRIVATE ${VELLUMKITE_WARNINGS})
    target_link_libraries(${name} PRIVATE ${arg_LINK})
endfunction()

# A GoogleTest program with the shared test helpers; each of its cases becomes a test of its
# own, found when the tests run.
function(vellumkite_gtest name)
    # One variable at most in ENVIRONMENT: discovery at test time cuts a list after its first.
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "LABEL;TIMEOUT;ENVIRONMENT" "SOURCES;LINK")
    vellumkite_program(${name} SOURCES ${arg_SOURCES} LINK ${arg_LINK} GTest::gtest)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    if(arg_ENVIRONMENT)
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                             PROPERTIES TIMEOUT ${arg_TIMEOUT} LABELS ${arg_LABEL}
                                        ENVIRONMENT ${arg_ENVIRONMENT})
    else()
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                             PROPERTIES TIMEOUT ${arg_TIMEOUT} LABELS ${arg_LABEL})
    endif()
endfunction()

# A test run on a private X display, with DBUS also on a private session bus; SERVER gives the
# X server's options. xvfb-run -a takes a free display from -n on, and a start that differs per
# run keeps tests that run at once from racing for the same number. Reported as skipped where
# xvfb-run (or dbus-run-session) is missing.
function(vellumkite_xvfb_test name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "DBUS" "LABEL;TIMEOUT;SERVER" "COMMAND")
    find_program(VELLUMKITE_XVFB_RUN xvfb-run)
    find_program(VELLUMKITE_DBUS_RUN_SESSION dbus-run-session)
    set(wrapper ${VELLUMKITE_XVFB_RUN})
    if(arg_SERVER)
        list(APPEND wrapper -s "${arg_SERVER}")
    endif()
    if(arg_DBUS)
        list(APPEND wrapper ${VELLUMKITE_DBUS_RUN_SESSION} --)
    endif()
    if(NOT VELLUMKITE_XVFB_RUN OR (arg_DBUS AND NOT VELLUMKITE_DBUS_RUN_SESSION))
        add_test(NAME ${name}
                 COMMAND sh -c "echo 'xvfb-run or dbus-run-session missing: skipped'; exit 77")
    else()
        add_test(NAME ${name} COMMAND sh -c "exec \"$0\" -a -n $((100 + $$ % 400)) \"$@\""
                                      ${wrapper} ${arg_COMMAND})
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${arg_TIMEOUT} SKIP_RETURN_CODE 77
                                            LABELS ${arg_LABEL})
endfunction()
