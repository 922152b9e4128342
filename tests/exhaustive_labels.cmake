# The discovered tests of the vector path against the scalar reference are
# slow: the quick preset leaves them out by the label `slow`.
if(tolvimo_fast_path_tests_TESTS)
  set_tests_properties(${tolvimo_fast_path_tests_TESTS} PROPERTIES LABELS "slow;exhaustive")
endif()
