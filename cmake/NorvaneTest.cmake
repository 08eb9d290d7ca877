# norvane_add_test(<name> LABEL <label> SOURCES <files...> LIBS <targets...>)
# One GoogleTest program; its cases become CTest tests carrying the subsystem's label.
include(GoogleTest)
find_package(GTest REQUIRED)

function(norvane_add_test name)
    cmake_parse_arguments(ARG "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    # Tests are programs: they carry the embedded resources like the real one.
    if(NOT WIN32)
        target_link_libraries(${name} PRIVATE norvane_resources)
    endif()
    norvane_warnings(${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    norvane_register_test(${name} ${ARG_LABEL})
    # The program shows the user's language; the tests expect the first one (English), so
    # a developer's own locale must not reach them or the programs they start.
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        PROPERTIES LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "LC_ALL=C.UTF-8")
endfunction()

# Test programs by label, so a build can make just the tests it will run (tests_<label>,
# and tests_nongui for every program that needs no display).
function(norvane_register_test name label)
    set_property(GLOBAL APPEND PROPERTY NORVANE_TEST_LABELS ${label})
    set_property(GLOBAL APPEND PROPERTY NORVANE_TESTS_${label} ${name})
endfunction()

function(norvane_add_label_targets)
    get_property(labels GLOBAL PROPERTY NORVANE_TEST_LABELS)
    list(REMOVE_DUPLICATES labels)
    set(nongui)
    foreach(label IN LISTS labels)
        get_property(programs GLOBAL PROPERTY NORVANE_TESTS_${label})
        add_custom_target(tests_${label} DEPENDS ${programs})
        if(NOT label STREQUAL "gui")
            list(APPEND nongui ${programs})
        endif()
    endforeach()
    add_custom_target(tests_nongui DEPENDS ${nongui})
endfunction()
