# The test suite's stand-in when GoogleTest was not found at configure time.
message(FATAL_ERROR "GoogleTest was not found when the build was configured, so no test was "
  "built. Install it (Debian: libgtest-dev) and run the test command again.")
