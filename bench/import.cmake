# Catalogue import and search over the shared station CSV: seconds for the whole import
# next to a plain line count of the same file, and search latencies over the full snapshot.
if(TARGET norvale_catalogue)
    add_executable(bench_import ${CMAKE_CURRENT_LIST_DIR}/bench_import.cpp)
    target_link_libraries(bench_import PRIVATE norvale_catalogue)
    target_compile_definitions(bench_import PRIVATE NORVALE_SHARED_DATA="${PROJECT_SOURCE_DIR}/../shared/data")
endif()
