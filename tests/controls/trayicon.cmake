# Offscreen there is never a notification area: the no-tray path. Under Xvfb the test
# starts trayer as the tray host and clicks the icon as a user does.
norvale_add_test(tst_trayicon SOURCES tst_trayicon.cpp LIBS norvale_controls norvale_testsupport ARGS addAndRemove)
set(_home "${CMAKE_BINARY_DIR}/test-home/tst_trayicon_xvfb")
file(MAKE_DIRECTORY "${_home}")
add_test(NAME tst_trayicon_xvfb COMMAND "${PROJECT_SOURCE_DIR}/scripts/xvfb-session" "$<TARGET_FILE:tst_trayicon>")
set_tests_properties(tst_trayicon_xvfb PROPERTIES TIMEOUT 60
    ENVIRONMENT "NORVALE_TRAY_HOST=trayer;HOME=${_home};XDG_CONFIG_HOME=${_home}/.config;XDG_CACHE_HOME=${_home}/.cache;XDG_DATA_HOME=${_home}/.local/share")
norvale_mark_skips(tst_trayicon_xvfb)
