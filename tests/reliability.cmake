# Fault sweeps and crash points over whole runs on real files.
add_executable(quenlit_reliability_tests
  sweep_failures_test.cc sweep_other_programs_test.cc sweep_passing_locks_test.cc
  large_file_test.cc)
target_link_libraries(quenlit_reliability_tests PRIVATE quenlit_test_support GTest::gtest_main)
gtest_discover_tests(quenlit_reliability_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 60)
