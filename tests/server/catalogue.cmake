# The directory server's data side: catalogue import, snapshot, store (SQLite, and
# PostgreSQL when scripts/pg-test-db can provide a database), radio-browser sync.
if(TARGET norvale_catalogue)
    # The player's own tag parser reads the lists back, so server and player agree.
    set(_tag_parser "${PROJECT_SOURCE_DIR}/src/directory/TagParser.cpp")
    norvale_add_test(tst_catalogue
        SOURCES tst_catalogue.cpp CatalogueTestSupport.h ${_tag_parser}
        LIBS norvale_catalogue Qt6::Sql
        TIMEOUT 120)
    target_include_directories(tst_catalogue PRIVATE "${PROJECT_SOURCE_DIR}/src/directory")
    norvale_add_test(tst_catalogue_store
        SOURCES tst_catalogue_store.cpp CatalogueTestSupport.h ${_tag_parser}
        LIBS norvale_catalogue Qt6::Sql
        TIMEOUT 180)
    # The PostgreSQL half empties the shared test database, as the HTTP tests do.
    set_tests_properties(tst_catalogue_store PROPERTIES RESOURCE_LOCK norvale_postgresql)
    target_include_directories(tst_catalogue_store PRIVATE "${PROJECT_SOURCE_DIR}/src/directory")
    norvale_add_test(tst_sync
        SOURCES tst_sync.cpp
        LIBS norvale_catalogue Qt6::Network
        TIMEOUT 60)
endif()
