add_custom_target(sup_sanitize_tests)

# sup_add_qtest(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>] [TIMEOUT <s>])
# Builds one QtTest executable and registers it with ctest on the offscreen platform with a
# fixed locale and time zone, so widget and formatting tests behave the same on every machine.
function(sup_add_qtest name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test sup_warnings ${T_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 600)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        LABELS "${T_LABELS}"
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;LANG=C.UTF-8;TZ=America/Sao_Paulo;QT_LOGGING_RULES=qt.qpa.*=false")
    # Suites labelled `sanitize` are what CI builds and runs again under the sanitizers.
    if("sanitize" IN_LIST T_LABELS)
        add_dependencies(sup_sanitize_tests ${name})
    endif()
endfunction()
