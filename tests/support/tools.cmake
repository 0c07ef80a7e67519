# Build-machine programs used by tests (not part of the swf_builder library).

# make_projector: appends a movie payload to an executable, optionally damaged in a chosen way.
add_host_tool(make_projector SOURCES tool_make_projector.cpp ../../packaging/payload_format.cpp
              LIBS z)
