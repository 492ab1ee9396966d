# The directory server against nginx in the same run: `cmake --build build --target bench_directory`.
if(NORVALE_BUILD_SERVER)
    add_custom_target(bench_directory
        COMMAND "${CMAKE_CURRENT_LIST_DIR}/bench_directory.sh" "$<TARGET_FILE:norvale-directory>" 10
        DEPENDS norvale-directory
        USES_TERMINAL
        COMMENT "Directory server: list requests per second against nginx, search latency")
endif()
