# The download holder's costs: setting a 5 MB list as plain text next to the plain text
# widgets' setPlainText, and colouring a 1 MB HTML page at once and in slices. The smoke
# test only proves that the bench builds and runs on small texts.
add_executable(bench_tavrilon ${CMAKE_CURRENT_LIST_DIR}/bench_tavrilon.cpp)
target_link_libraries(bench_tavrilon PRIVATE norvale_controls)
if(NORVALE_BUILD_TESTS)
    add_test(NAME bench_tavrilon_smoke COMMAND bench_tavrilon --quick)
    set_tests_properties(bench_tavrilon_smoke PROPERTIES TIMEOUT 120 LABELS bench ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
