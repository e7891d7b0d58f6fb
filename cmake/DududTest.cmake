# dudud_add_test(<name> LABEL unit|widget|e2e SOURCES ... [LIBS ...])
# Unit tests are also collected in the target unit_tests, which the sanitizer build makes.
# One QtTest executable registered with CTest under its label. Widget tests run on
# Qt's offscreen platform; e2e tests start their own X server through the harness.
function(dudud_add_test name)
    cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
    target_compile_definitions(${name} PRIVATE
        DUDUD_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
        DUDUD_BINARY="$<TARGET_FILE:dudud-adadadiz>")
    add_test(NAME ${name} COMMAND ${name})
    set(env "QT_QPA_PLATFORM=offscreen")
    if(T_LABEL STREQUAL "e2e")
        set(env "QT_QPA_PLATFORM=xcb")
        add_dependencies(${name} dudud-adadadiz)
    endif()
    if(T_LABEL STREQUAL "unit")
        add_dependencies(unit_tests ${name})
    endif()
    if(DUDUD_SANITIZE)
        list(APPEND env
            "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1"
            "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
            "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL} ENVIRONMENT "${env}"
        TIMEOUT ${T_TIMEOUT})
endfunction()
