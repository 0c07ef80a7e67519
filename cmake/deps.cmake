# Third-party libraries. Everything shipped for Windows links statically, so that the PE files
# import only system DLLs.
if(BRIMLOFT_WIN32)
  find_library(ZLIB_STATIC_LIB NAMES libz.a REQUIRED)
  find_path(ZLIB_STATIC_INCLUDE zlib.h REQUIRED)
  add_library(zlib_static STATIC IMPORTED GLOBAL)
  set_target_properties(zlib_static PROPERTIES IMPORTED_LOCATION ${ZLIB_STATIC_LIB}
                                               INTERFACE_INCLUDE_DIRECTORIES ${ZLIB_STATIC_INCLUDE})
  set(BRIMLOFT_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
  # For everything we ship: ASLR and DEP, and no debug symbols (the player control travels
  # inside every projector, so its size counts).
  set(BRIMLOFT_PE_SECURITY -Wl,--dynamicbase -Wl,--nxcompat -Wl,--enable-reloc-section -s)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    list(APPEND BRIMLOFT_PE_SECURITY -Wl,--high-entropy-va)
  endif()
else()
  find_package(ZLIB REQUIRED)
  add_library(zlib_static INTERFACE)
  target_link_libraries(zlib_static INTERFACE ZLIB::ZLIB)
endif()

# GoogleTest from Debian's source package, built with our own flags.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
