# Exchange: a 100,000-record movement file applied to a register of 32,767
# articles (index of 30,000 sorted keys and a tail of 2,767), and the stock
# export of that register.
add_executable(bench_echange bench_echange.cpp)
target_link_libraries(bench_echange PRIVATE pontex_fabrique benchmark::benchmark)
