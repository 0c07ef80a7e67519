# Build-time tools run on the build machine. In the native tree they are ordinary targets; in
# the cross tree they are compiled by the build machine's own compiler, because a PE32 tool
# would need Wine to run during the build.
set(BRIMLOFT_HOST_CXX "c++" CACHE STRING "C++ compiler of the build machine, for build-time tools")

# add_host_tool(NAME SOURCES file... [LIBS lib...]) defines ${NAME}_EXE with the tool's path.
function(add_host_tool name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT BRIMLOFT_WIN32)
    add_executable(${name} ${T_SOURCES})
    foreach(lib IN LISTS T_LIBS)
      if(lib STREQUAL "z")
        target_link_libraries(${name} PRIVATE zlib_static)
      endif()
    endforeach()
    set(${name}_EXE $<TARGET_FILE:${name}> PARENT_SCOPE)
    set(${name}_TARGET ${name} PARENT_SCOPE)
    return()
  endif()
  set(out ${CMAKE_BINARY_DIR}/host/${name})
  set(srcs)
  foreach(s IN LISTS T_SOURCES)
    cmake_path(ABSOLUTE_PATH s BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} OUTPUT_VARIABLE abs)
    list(APPEND srcs ${abs})
  endforeach()
  set(libflags)
  foreach(lib IN LISTS T_LIBS)
    list(APPEND libflags -l${lib})
  endforeach()
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
    COMMAND ${BRIMLOFT_HOST_CXX} -std=c++20 -O1 -Wall -Wextra -Werror -I${CMAKE_SOURCE_DIR}
            -MD -MF ${out}.d ${srcs} ${libflags} -o ${out}
    DEPENDS ${srcs}
    DEPFILE ${out}.d
    COMMENT "Building build-machine tool ${name}"
    VERBATIM)
  add_custom_target(${name} DEPENDS ${out})
  set(${name}_EXE ${out} PARENT_SCOPE)
  set(${name}_TARGET ${name} PARENT_SCOPE)
endfunction()
