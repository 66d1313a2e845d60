# Host build: the portable logic and its unit tests against in-memory stand-ins.
add_executable(unit_tests
  tests/support/MemoryRegistry.cpp
  tests/support/MemoryControls.cpp
  tests/support/RegistryUnderTest.cpp
  tests/support/MemoryScratchKey.cpp
  tests/support/RecordingPlatform.cpp
  tests/support/SplitCommandLine.cpp
  tests/platform/CommandLineText_test.cpp
  tests/modules/registry_suite_test.cpp
  tests/modules/modRegedit_host_test.cpp
  tests/forms/SerialLists_test.cpp
  tests/forms/Form1_test.cpp
  tests/setup/CommandLines_test.cpp
  tests/setup/Workflows_test.cpp
  tests/setup/SerialSettings_test.cpp
  tests/cli/Arguments_test.cpp
  tests/cli/Cli_test.cpp
  tests/cli/FileSafety_test.cpp
  tests/cli/Converge_test.cpp
  tests/cli/DriverStore_test.cpp
  tests/cli/PortDevices_test.cpp
  tests/cli/PackageLife_test.cpp
  tests/cli/SetDefault_test.cpp
  tests/cli/SecondProduct_test.cpp
  tests/cli/ComPorts_test.cpp
  tests/cli/TestPrint_test.cpp
  tests/cli/EventLog_test.cpp
  tests/msi/CustomAction_test.cpp
  tests/docs/Documentation_test.cpp
)
target_include_directories(unit_tests PRIVATE tests)
target_compile_definitions(unit_tests PRIVATE PORTSETUP_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(unit_tests PRIVATE portsetup_cli portsetup_msi portsetup_core GTest::gtest_main)

include(GoogleTest)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60)
# The registry suite once more with a double-byte ANSI code page.
add_test(NAME registry_suite_cp932 COMMAND unit_tests --gtest_filter=RegistrySuite.*:RegistryHost.*)
set_tests_properties(registry_suite_cp932 PROPERTIES ENVIRONMENT "PORTSETUP_TEST_CODEPAGE=CP932;PORTSETUP_EXPECT_DOUBLE_BYTE=1")
add_test(NAME registry_suite_cp936 COMMAND unit_tests --gtest_filter=RegistrySuite.*:RegistryHost.*)
set_tests_properties(registry_suite_cp936 PROPERTIES ENVIRONMENT "PORTSETUP_TEST_CODEPAGE=CP936;PORTSETUP_EXPECT_DOUBLE_BYTE=1")

# The administrators' deployment recipes run nothing from folders users can write.
find_program(PYTHON3 python3 REQUIRED)
add_test(NAME docs_recipes COMMAND ${PYTHON3} ${CMAKE_SOURCE_DIR}/tests/docs/recipes_test.py ${CMAKE_SOURCE_DIR}/docs/administrators.md)

# The Wine scenarios' library believes only positive evidence, and reports how each scenario ended.
add_test(NAME e2e_harness COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/harness_test.sh)
