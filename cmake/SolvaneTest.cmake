# solvane_add_test(NAME SOURCES ... LIBS ...)
# Every test runs offscreen, in a UTF-8 locale, and knows where the server binary is.
function(solvane_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test solvane_testsupport ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;LANG=C.UTF-8")
endfunction()

# solvane_add_storage_run(NAME): NAME once more, as NAME_postgres, with the
# server on PostgreSQL instead of SQLite.
function(solvane_add_storage_run name)
  add_test(NAME ${name}_postgres COMMAND ${name})
  set_tests_properties(${name}_postgres PROPERTIES
    TIMEOUT 300
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;LANG=C.UTF-8;SOLVANE_TEST_STORAGE=postgres")
endfunction()
