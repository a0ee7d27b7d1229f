# Article lookup through the cash register's index: lookups per second and
# record reads per lookup, on a register of 32,767 sorted keys and a tail of
# 1,000 keys.
add_executable(bench_recherche bench_recherche.cpp)
target_link_libraries(bench_recherche PRIVATE pontex_fabrique benchmark::benchmark)
