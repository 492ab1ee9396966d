# The directory server's HTTP side: its query and rate-limit pieces, the contract over
# real HTTP on SQLite and on PostgreSQL, and the served processes together.
norvale_add_test(tst_directory_query
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_directory_query.cpp
    LIBS norvale_directory_http)

norvale_add_test(tst_directory_http
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_directory_http.cpp ${CMAKE_CURRENT_LIST_DIR}/HttpTestClient.h
    LIBS norvale_directory_http norvale_catalogue Qt6::Network
    TIMEOUT 90)

# The same contract on PostgreSQL: the test skips with a message when no cluster starts.
add_test(NAME tst_directory_http_postgresql COMMAND tst_directory_http)
set(_home "${CMAKE_BINARY_DIR}/test-home/tst_directory_http_postgresql")
file(MAKE_DIRECTORY "${_home}")
# Every test on the one test database of scripts/pg-test-db takes this lock.
set_tests_properties(tst_directory_http_postgresql PROPERTIES TIMEOUT 120 LABELS postgresql RESOURCE_LOCK norvale_postgresql
    ENVIRONMENT "NORVALE_TEST_DATABASE=postgresql;HOME=${_home};XDG_CONFIG_HOME=${_home}/.config;XDG_CACHE_HOME=${_home}/.cache;XDG_DATA_HOME=${_home}/.local/share;XDG_RUNTIME_DIR=${_home}/run;QT_QPA_PLATFORM=offscreen")

norvale_add_test(tst_directory_process
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_directory_process.cpp ${CMAKE_CURRENT_LIST_DIR}/HttpTestClient.h
    LIBS norvale_catalogue Qt6::Network
    TIMEOUT 120)
add_dependencies(tst_directory_process norvale-directory)
set_tests_properties(tst_directory_process PROPERTIES RESOURCE_LOCK norvale_postgresql)
# The catalogue's store test empties the same database: it must not run beside these.
if(TEST tst_catalogue_store)
    set_tests_properties(tst_catalogue_store PROPERTIES RESOURCE_LOCK norvale_postgresql)
endif()
