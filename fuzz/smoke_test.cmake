# One fuzz-smoke test: runs FUZZER over the seeds in SEEDS and then for RUNS generated inputs from
# a fixed seed. libFuzzer writes what it finds to its first corpus directory, so that is FOUND
# (in the build tree), emptied first so that every run starts from the seeds alone.
#
#   cmake -DFUZZER=<program> -DSEEDS=<dir> -DFOUND=<dir> -DRUNS=<n> -P smoke_test.cmake
file(REMOVE_RECURSE "${FOUND}")
file(MAKE_DIRECTORY "${FOUND}")
execute_process(
  COMMAND "${FUZZER}" -seed=1 -runs=${RUNS} -max_len=4096 -timeout=30
          "-artifact_prefix=${FOUND}/" "${FOUND}" "${SEEDS}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${result}); the input is in ${FOUND}/")
endif()
