norvale_add_test(tst_startup SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_startup.cpp LIBS norvale_core_app Qt6::Network)
norvale_add_test(tst_startwarnings SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_startwarnings.cpp TIMEOUT 60)
add_dependencies(tst_startwarnings norvale)
target_compile_definitions(tst_startwarnings PRIVATE NORVALE_EXECUTABLE="$<TARGET_FILE:norvale>")
