# Tagged-field parser against the literal scan it replaces (LiteralTagParser.h, shared with the fuzzer), on a generated list of a
# large country. The smoke test only proves that the bench builds and both parsers
# agree on a small list; the figures come from running it by hand.
add_executable(bench_tagparser ${CMAKE_CURRENT_LIST_DIR}/bench_tagparser.cpp)
target_include_directories(bench_tagparser PRIVATE "${PROJECT_SOURCE_DIR}/bench")
target_link_libraries(bench_tagparser PRIVATE norvale_core_directory)
if(NORVALE_BUILD_TESTS)
    add_test(NAME bench_tagparser_smoke COMMAND bench_tagparser --quick)
    set_tests_properties(bench_tagparser_smoke PROPERTIES TIMEOUT 120 LABELS bench)
endif()
