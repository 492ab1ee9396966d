norvale_add_test(tst_mpvoptions SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mpvoptions.cpp
    LIBS norvale_engine norvale_testsupport)
norvale_add_test(tst_mpvplayer SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_mpvplayer.cpp
    LIBS norvale_engine norvale_testsupport LABELS e2e TIMEOUT 180)
