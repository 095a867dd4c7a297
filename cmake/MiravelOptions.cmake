# One interface target carries the warning flags so every library and test
# is built the same way.
add_library(miravel_options INTERFACE)
target_compile_options(miravel_options INTERFACE -Wall -Wextra -Wpedantic)
if(MIRAVEL_WERROR)
  target_compile_options(miravel_options INTERFACE -Werror)
endif()
target_include_directories(miravel_options INTERFACE ${PROJECT_SOURCE_DIR})
