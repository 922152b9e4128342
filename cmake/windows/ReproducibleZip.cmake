# Run by cpack once it has written the zips (CPACK_PACKAGE_FILES). Its zips
# carry the files' access and change times, the owner, local times and the
# umask's folder modes; the zips are rewritten without them. Their one time
# is SOURCE_DATE_EPOCH, else the time of the commit the tree is at, else the
# time of CMakeLists.txt (in a tarball made by git archive: the commit's).
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "")
  execute_process(COMMAND git -C "${CPACK_TOLVIMO_SOURCE_DIR}" log -1 --format=%ct
    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0 OR epoch STREQUAL "")
    file(TIMESTAMP "${CPACK_TOLVIMO_SOURCE_DIR}/CMakeLists.txt" epoch "%s" UTC)
  endif()
endif()
execute_process(
  COMMAND "${CPACK_TOLVIMO_PYTHON}" "${CPACK_TOLVIMO_SOURCE_DIR}/cmake/windows/reproducible_zip.py"
          ${epoch} ${CPACK_PACKAGE_FILES}
  COMMAND_ERROR_IS_FATAL ANY)
