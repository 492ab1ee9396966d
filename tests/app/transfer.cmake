norvale_add_test(tst_transfer SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_transfer.cpp LIBS norvale_core_app norvale_testsupport Qt6::Network)
