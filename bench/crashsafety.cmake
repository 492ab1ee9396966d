# Crash-safety figures. bench_inikill kills an INI writer 1000 times; bench_soak stops and
# restarts an Icecast source every 30 s for 10 minutes under the real engine. The ctest
# entries are their short forms; the full figures come from running them by hand.
add_executable(bench_inikill ${CMAKE_CURRENT_LIST_DIR}/bench_inikill.cpp)
target_link_libraries(bench_inikill PRIVATE norvale_core_app)
if(NORVALE_BUILD_TESTS)
    add_executable(bench_soak ${CMAKE_CURRENT_LIST_DIR}/bench_soak.cpp)
    target_link_libraries(bench_soak PRIVATE norvale_engine norvale_testsupport)
    add_test(NAME bench_inikill_short COMMAND bench_inikill --rounds 200)
    add_test(NAME bench_soak_short COMMAND bench_soak --period-s 12 --total-s 48)
    set_tests_properties(bench_inikill_short bench_soak_short PROPERTIES TIMEOUT 180 LABELS bench
        ENVIRONMENT "XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/test-home/bench/run;HOME=${CMAKE_BINARY_DIR}/test-home/bench")
    file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/test-home/bench/run")
endif()
