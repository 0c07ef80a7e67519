# Runs brimloft-pack as a build script would: a projector from good inputs, then for each bad
# input a non-zero exit with one line saying why, the projector left as it was and no
# temporary file beside it.
#   cmake -DPACK=... -DBASE=... -DCONTROL=... -DOTHER_CONTROL=... -DMOVIE=... -DWORK=... -P
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(out ${WORK}/Game.exe)

execute_process(COMMAND ${PACK} --player ${CONTROL} --movie ${MOVIE} --base ${BASE} -o ${out}
                RESULT_VARIABLE rc OUTPUT_VARIABLE said ERROR_VARIABLE complaint)
if(NOT rc EQUAL 0 OR NOT said MATCHES "^wrote ")
  message(FATAL_ERROR "a good build failed (${rc}): ${said}${complaint}")
endif()
file(SHA256 ${out} built)

foreach(case IN ITEMS
    "--player;${CONTROL};--movie;${WORK}/missing.swf;--base;${BASE};-o;${out}"
    "--player;${CONTROL};--movie;${BASE};--base;${BASE};-o;${out}"
    "--player;${OTHER_CONTROL};--movie;${MOVIE};--base;${BASE};-o;${out}"
    "--player;${CONTROL};--movie;${MOVIE};--icon;${MOVIE};--base;${BASE};-o;${out}"
    "--player;${CONTROL};--movie;${MOVIE};--base;${MOVIE};-o;${out}")
  execute_process(COMMAND ${PACK} ${case} RESULT_VARIABLE rc OUTPUT_VARIABLE said
                  ERROR_VARIABLE complaint)
  if(NOT rc EQUAL 1 OR NOT complaint MATCHES "^brimloft-pack: [^\n]+\n$" OR NOT said STREQUAL "")
    message(FATAL_ERROR "${case}: exit ${rc}, said '${said}', complained '${complaint}'")
  endif()
  file(SHA256 ${out} now)
  file(GLOB left ${WORK}/QVL*)
  if(NOT now STREQUAL built OR left)
    message(FATAL_ERROR "${case}: the projector changed or a temporary file stayed: ${left}")
  endif()
endforeach()
execute_process(COMMAND ${PACK} --movie ${MOVIE} RESULT_VARIABLE rc ERROR_QUIET)
if(NOT rc EQUAL 2)
  message(FATAL_ERROR "an incomplete command line exits with ${rc}, not 2")
endif()
file(REMOVE_RECURSE ${WORK})
