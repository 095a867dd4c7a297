# Sanitized builds, each in a build folder of its own:
#   MIRAVEL_SANITIZE   every library, program and test with AddressSanitizer and
#                      UndefinedBehaviorSanitizer (scripts/test-sanitized.sh);
#   MIRAVEL_BUILD_FUZZ the fuzz targets in fuzz/ with libFuzzer (clang only,
#                      no Qt: scripts/fuzz.sh).
# Any report stops the program (-fno-sanitize-recover), so a test that meets
# one fails instead of printing a warning nobody reads.
option(MIRAVEL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(MIRAVEL_BUILD_FUZZ "Build the libFuzzer targets in fuzz/ (needs clang)" OFF)

if(MIRAVEL_SANITIZE OR MIRAVEL_BUILD_FUZZ)
  target_compile_options(miravel_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(miravel_options INTERFACE -fsanitize=address,undefined)
endif()

if(MIRAVEL_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "MIRAVEL_BUILD_FUZZ needs clang: -DCMAKE_CXX_COMPILER=clang++")
  endif()
  if(MIRAVEL_BUILD_UI)
    message(FATAL_ERROR "MIRAVEL_BUILD_FUZZ builds no window: add -DMIRAVEL_BUILD_UI=OFF")
  endif()
  # Coverage feedback for libFuzzer in every library it reaches; the fuzz
  # targets themselves link its main (fuzz/CMakeLists.txt).
  target_compile_options(miravel_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
