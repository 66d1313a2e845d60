# The programs that test PortSetup.exe under Wine.
add_executable(ui_driver tests/e2e/driver.cpp)
target_link_options(ui_driver PRIVATE ${PORTSETUP_WIN_LINK_OPTIONS})

# The scenarios, one shell script each, sharing the test run's Wine prefix.
foreach(scenario window unattended)
  add_test(NAME e2e_${scenario} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/${scenario}_test.sh)
  set_tests_properties(e2e_${scenario} PROPERTIES LABELS e2e TIMEOUT 600
    ENVIRONMENT "PORTSETUP_BUILD=${CMAKE_BINARY_DIR}")
endforeach()
