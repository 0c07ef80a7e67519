# What the Windows trees share: the build's bitness, its PE checks and its Wine tests.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(BRIMLOFT_BITS 64)
  set(BRIMLOFT_MANIFEST_ARCH amd64)
else()
  set(BRIMLOFT_BITS 32)
  set(BRIMLOFT_MANIFEST_ARCH x86)
endif()
find_program(BRIMLOFT_OBJDUMP ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-objdump REQUIRED)
set(BRIMLOFT_WINETOOL ${CMAKE_SOURCE_DIR}/scripts/winetool)
# winetool's answer where this machine cannot run the build's bitness.
set(BRIMLOFT_WINE_SKIPPED 77)

# brimloft_check_pe(TARGET SUBSYSTEM [MANIFEST]): a test that the shipped file is what a bare
# Windows of the build's bitness loads.
function(brimloft_check_pe target subsystem)
  set(manifest)
  if("MANIFEST" IN_LIST ARGN)
    set(manifest -DMANIFEST_ARCH=${BRIMLOFT_MANIFEST_ARCH})
  endif()
  add_test(NAME ${target}_pe_file
           COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${target}> -DOBJDUMP=${BRIMLOFT_OBJDUMP}
                   -DBITS=${BRIMLOFT_BITS} -DSUBSYSTEM=${subsystem} ${manifest}
                   -P ${CMAKE_SOURCE_DIR}/cmake/check_pe.cmake)
endfunction()

# brimloft_wine_test(NAME name COMMAND ...): a test that needs Wine of the build's bitness.
# Target executables in COMMAND run through the emulator; other commands are wrapped here, so
# that every Wine test is reported as skipped, never as passed, where the bitness cannot run.
function(brimloft_wine_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND;ENVIRONMENT" ${ARGN})
  list(GET T_COMMAND 0 first)
  if(TARGET ${first})
    add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  else()
    add_test(NAME ${T_NAME} COMMAND ${BRIMLOFT_WINETOOL} ${BRIMLOFT_BITS} env ${T_COMMAND})
  endif()
  set_tests_properties(${T_NAME} PROPERTIES SKIP_RETURN_CODE ${BRIMLOFT_WINE_SKIPPED}
                       ENVIRONMENT "BRIMLOFT_BITS=${BRIMLOFT_BITS};${T_ENVIRONMENT}")
  if(T_TIMEOUT)
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()
