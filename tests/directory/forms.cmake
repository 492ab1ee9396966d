norvale_add_test(tst_form2_form3
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_form2_form3.cpp
    LIBS norvale_directory norvale_testsupport)
