# Window tests: the settings window and the message dialog (support library
# from tests/app).

add_executable(test_outils test_outils.cpp)
target_link_libraries(test_outils PRIVATE pontex_test_fenetres)
gtest_discover_tests(test_outils DISCOVERY_MODE PRE_TEST)
