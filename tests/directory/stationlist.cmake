norvale_add_test(tst_stationlistloader
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_stationlistloader.cpp
    LIBS norvale_core_directory norvale_testsupport)
