norvale_add_test(tst_tavrilon SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_tavrilon.cpp LIBS norvale_controls)
