# The console tools finish a run over a few small fonts in a few milliseconds,
# of which loading libstdc++ took half a millisecond; they carry their own copy
# of it. Not in the sanitizer and fuzzer builds, whose runtimes expect the
# shared library.
add_library(console_tool_linkage INTERFACE)
if(NOT FONTTOOLS_SANITIZE AND NOT FONTTOOLS_FUZZ AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_link_options(console_tool_linkage INTERFACE -static-libstdc++ -static-libgcc)
endif()
