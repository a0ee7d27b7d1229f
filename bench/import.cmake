# Import folder: 10,000 one-line files waiting, taken in by successive
# exchanges; the time to the first export and the time per file.
add_executable(bench_import bench_import.cpp)
target_link_libraries(bench_import PRIVATE pontex_fabrique benchmark::benchmark)
