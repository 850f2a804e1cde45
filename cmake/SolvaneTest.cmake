# What every test's environment holds: offscreen, a UTF-8 locale and, in a
# sanitizer build, the leaks of system libraries left out of the report.
set(SOLVANE_TEST_ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;LANG=C.UTF-8")
if(SOLVANE_ASAN)
  list(APPEND SOLVANE_TEST_ENVIRONMENT
    "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan-suppressions.txt")
endif()

# solvane_add_test(NAME SOURCES ... LIBS ...)
# Every test runs in that environment and knows where the server binary is.
function(solvane_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test solvane_testsupport ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT 300
    ENVIRONMENT "${SOLVANE_TEST_ENVIRONMENT}")
endfunction()

# solvane_add_storage_run(NAME): NAME once more, as NAME_postgres, with the
# server on PostgreSQL instead of SQLite.
function(solvane_add_storage_run name)
  add_test(NAME ${name}_postgres COMMAND ${name})
  set_tests_properties(${name}_postgres PROPERTIES
    TIMEOUT 300
    ENVIRONMENT "${SOLVANE_TEST_ENVIRONMENT};SOLVANE_TEST_STORAGE=postgres")
endfunction()
