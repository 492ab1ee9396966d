norvale_add_test(tst_slider SOURCES tst_slider.cpp LIBS norvale_controls)
