# Window tests: the main window, its cycle, quitting and background mode,
# driven in-process; and the real program run as a process.

# Shared by the window tests of tests/app and tests/data: the recording
# system, a shop in a temporary folder (and the Qt test main).
add_library(pontex_test_fenetres STATIC fenetres_test.cpp)
target_link_libraries(pontex_test_fenetres PUBLIC pontex_fenetres pontex_test_qt pontex_fabrique)

add_executable(test_form1 test_demarrage.cpp test_cycle.cpp)
# Qt's window-system interface: input queued as a real window system
# queues it, for the long-exchange tests.
target_link_libraries(test_form1 PRIVATE pontex_test_fenetres Qt6::GuiPrivate)
gtest_discover_tests(test_form1 DISCOVERY_MODE PRE_TEST)

# The real program, started as the relauncher starts it.
add_executable(test_pontex_processus test_pontex_processus.cpp)
target_link_libraries(test_pontex_processus PRIVATE pontex_test_fenetres)
target_compile_definitions(test_pontex_processus PRIVATE
  PONTEX_PROGRAMME="$<TARGET_FILE:Pontex>")
add_dependencies(test_pontex_processus Pontex)
gtest_discover_tests(test_pontex_processus DISCOVERY_MODE PRE_TEST)
