norvale_add_test(tst_startup SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_startup.cpp LIBS norvale_core_app norvale_testsupport)
