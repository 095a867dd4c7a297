# miravel_add_test(<name> SOURCES ... LIBS ... [QT] [TIMEOUT s] [RUN_SERIAL])
# Builds one GoogleTest program and registers its tests with CTest. Each test
# gets a time-out so that a hang fails instead of blocking the run. QT tests
# use the shared main that creates the offscreen application.
function(miravel_add_test name)
  cmake_parse_arguments(ARG "QT;RUN_SERIAL" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE miravel_options ${ARG_LIBS} GTest::gtest GTest::gmock)
  if(ARG_QT)
    target_link_libraries(${name} PRIVATE miravel_qt_test_main)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set(props TIMEOUT ${ARG_TIMEOUT})
  if(ARG_RUN_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ${props} ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=")
endfunction()
