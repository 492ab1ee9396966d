norvale_add_test(tst_inifile SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_inifile.cpp LIBS norvale_core_app norvale_testsupport)
