# One interface target carries the warning flags so every library and test
# is built the same way.
add_library(miravel_options INTERFACE)
target_compile_options(miravel_options INTERFACE -Wall -Wextra -Wpedantic)
if(MIRAVEL_WERROR)
  target_compile_options(miravel_options INTERFACE -Werror)
endif()
target_include_directories(miravel_options INTERFACE ${PROJECT_SOURCE_DIR})

# The build type of the quick test command (scripts/test-quick.sh):
# -DCMAKE_BUILD_TYPE=Quick compiles without optimisation or debug information,
# the two things that make up most of the suite's compile time. Warnings stay
# errors. The optimised build (RelWithDebInfo, the default) is what the package
# ships and what the full test command builds. CMake enters an empty flags
# entry for a build type it does not know, so the flags are filled in while
# that entry is empty.
if(NOT CMAKE_CXX_FLAGS_QUICK)
  set(CMAKE_CXX_FLAGS_QUICK "-O0 -g0" CACHE STRING "Compiler flags of the Quick build type" FORCE)
endif()
