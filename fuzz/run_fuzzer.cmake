# Runs one fuzz target briefly: over its seeds, then a bounded number of new inputs. A fresh
# work corpus each time keeps runs repeatable and leaves the seed folder untouched.
file(REMOVE_RECURSE ${CORPUS})
file(MAKE_DIRECTORY ${CORPUS} ${SEEDS})
if(SEED_FILES)
  file(COPY ${SEED_FILES} DESTINATION ${SEEDS})
endif()
execute_process(
  COMMAND ${FUZZER} -runs=${RUNS} -max_len=65536 -timeout=10 -rss_limit_mb=2048 -seed=1
          -print_final_stats=0 ${CORPUS} ${SEEDS}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed with ${rc}")
endif()
