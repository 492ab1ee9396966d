# Listing and loading a folder of a thousand favourites, next to one ReadINI lookup per
# value. The smoke test only proves that it builds and both ways agree on a small folder.
add_executable(bench_favourites ${CMAKE_CURRENT_LIST_DIR}/bench_favourites.cpp)
target_link_libraries(bench_favourites PRIVATE norvale_core_player norvale_core_app)
if(NORVALE_BUILD_TESTS)
    add_test(NAME bench_favourites_smoke COMMAND bench_favourites --quick)
    set_tests_properties(bench_favourites_smoke PROPERTIES TIMEOUT 120 LABELS bench)
endif()
