# Tests and benchmarks: programs with long functions that nobody ships.
# GCC's tracking of where each local lives through the optimiser took a third of a test's
# compile time; the debug information keeps types and lines.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-fno-var-tracking)
endif()
# lld links them in a third of the default linker's time.
include(CheckLinkerFlag)
check_linker_flag(CXX -fuse-ld=lld QUADRANTEL_HAVE_LLD)
if(QUADRANTEL_HAVE_LLD)
  add_link_options(-fuse-ld=lld)
endif()
