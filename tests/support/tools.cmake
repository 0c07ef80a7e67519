# Build-machine programs used by tests (not part of the swf_builder library).

# make_projector: appends a movie payload to an executable, optionally damaged in a chosen way.
add_host_tool(make_projector SOURCES tool_make_projector.cpp ../../packaging/payload_format.cpp
              LIBS z)

# brimloft-pack compiled for the build machine, so that whole-program tests make projectors
# the way a build server does and run them under Wine.
if(BRIMLOFT_WIN32)
  add_host_tool(brimloft_pack_host SOURCES ../../tools/brimloft_pack.cpp
                ../../packaging/projector_builder.cpp ../../packaging/resource_section.cpp
                ../../packaging/resource_updater.cpp ../../packaging/icon_file.cpp
                ../../packaging/payload_format.cpp ../../packaging/pe_machine.cpp LIBS z)
endif()
