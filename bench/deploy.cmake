# Three directory processes on one PostgreSQL behind nginx (dist/nginx), one killed and
# started again under load: `cmake --build build --target bench_deploy` for the full
# minute with 200 clients; the test bench_deploy_smoke runs 10 s with 40.
if(NORVALE_BUILD_SERVER)
    add_custom_target(bench_deploy
        COMMAND /usr/bin/python3 "${CMAKE_CURRENT_LIST_DIR}/bench_deploy.py" "$<TARGET_FILE:norvale-directory>"
        DEPENDS norvale-directory
        USES_TERMINAL
        COMMENT "Directory behind nginx: failed requests, rate and p99 per kind, plays that add up")
    if(NORVALE_BUILD_TESTS)
        add_test(NAME bench_deploy_smoke
                 COMMAND /usr/bin/python3 "${CMAKE_CURRENT_LIST_DIR}/bench_deploy.py" "$<TARGET_FILE:norvale-directory>"
                         --smoke)
        # Not beside the server's PostgreSQL tests: one of them stops and starts the cluster.
        set_tests_properties(bench_deploy_smoke PROPERTIES LABELS bench TIMEOUT 180 SKIP_RETURN_CODE 77
                             RESOURCE_LOCK norvale_postgresql)
    endif()
endif()
