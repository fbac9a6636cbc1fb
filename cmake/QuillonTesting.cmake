# quillon_add_test(NAME SOURCES a.cpp... LIBS lib... [LABELS l...] [TIMEOUT s])
# One GoogleTest executable per unit, registered with ctest under its own name.
# Labels in use:
#   sound   - needs the private sound server that scripts/test starts; run one at a time
#   threads - concurrency tests, also run under ThreadSanitizer
#   ui      - Qt widget tests (offscreen platform)
function(quillon_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main quillon_flags)
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
        ENVIRONMENT "QUILLON_SOURCE_DIR=${PROJECT_SOURCE_DIR};QUILLON_BINARY_DIR=${PROJECT_BINARY_DIR}")
    if("sound" IN_LIST T_LABELS)
        # One sound server, one default sink: tests that listen must not overlap.
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK sound_server)
    endif()
endfunction()
