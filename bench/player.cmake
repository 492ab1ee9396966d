# Memory and time to playing of the whole player next to mpv and Goodvibes playing the
# same local stream: `cmake --build build --target bench_player` (needs mpv, goodvibes).
add_custom_target(bench_player
    COMMAND "${PROJECT_SOURCE_DIR}/scripts/xvfb-session" /usr/bin/python3
            "${CMAKE_CURRENT_LIST_DIR}/bench_player.py" "${PROJECT_SOURCE_DIR}" "$<TARGET_FILE:norvale>"
    DEPENDS norvale
    USES_TERMINAL
    COMMENT "Player: memory and time to playing against mpv and Goodvibes")
