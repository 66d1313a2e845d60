# The programs that test PortSetup.exe under Wine.
add_executable(ui_driver tests/e2e/driver.cpp)
target_link_libraries(ui_driver PRIVATE winspool)
target_link_options(ui_driver PRIVATE ${PORTSETUP_WIN_LINK_OPTIONS} -municode)

# The scenarios, one shell script each, sharing the test run's Wine prefix.
# The 32-bit build runs those that carry the product, in a prefix that
# behaves as 32-bit Windows (label e2e32).
if(PORTSETUP_MANIFEST_ARCH STREQUAL "x86")
  set(PORTSETUP_SCENARIOS install remove cli)
  set(PORTSETUP_SCENARIO_LABEL e2e32)
else()
  set(PORTSETUP_SCENARIOS window keyboard dpi unattended install remove slow_remove cli cli_safety checks converge msi
      default_printer folders no_tool event_log test_print verdicts msi_verdict msi_limits driver_store port_device)
  set(PORTSETUP_SCENARIO_LABEL e2e)
endif()
foreach(scenario ${PORTSETUP_SCENARIOS})
  add_test(NAME e2e_${scenario} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/${scenario}_test.sh)
  set_tests_properties(e2e_${scenario} PROPERTIES LABELS ${PORTSETUP_SCENARIO_LABEL} TIMEOUT 600
    ENVIRONMENT "PORTSETUP_BUILD=${CMAKE_BINARY_DIR}")
endforeach()
# Each architecture's package and programs on the other's Windows.
if(PORTSETUP_MANIFEST_ARCH STREQUAL "x86")
  set(PORTSETUP_ARCH_MODES win32)
else()
  set(PORTSETUP_ARCH_MODES msi64 programs64)
endif()
foreach(mode ${PORTSETUP_ARCH_MODES})
  add_test(NAME e2e_arch_${mode} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/arch_test.sh ${mode})
  set_tests_properties(e2e_arch_${mode} PROPERTIES LABELS ${PORTSETUP_SCENARIO_LABEL} TIMEOUT 600 SKIP_RETURN_CODE 77
    ENVIRONMENT "PORTSETUP_BUILD=${CMAKE_BINARY_DIR}")
endforeach()

# The printer setup tool's stand-in, installed as the sandbox's rundll32.exe.
add_executable(printui_standin WIN32 tests/e2e/printui_standin.cpp)
target_link_libraries(printui_standin PRIVATE shell32 setupapi)
target_link_options(printui_standin PRIVATE ${PORTSETUP_WIN_LINK_OPTIONS} -municode)
# The same as a console program, as Windows' pnputil is one.
add_executable(printui_standin_console tests/e2e/printui_standin.cpp)
target_compile_definitions(printui_standin_console PRIVATE STANDIN_CONSOLE)
target_link_libraries(printui_standin_console PRIVATE shell32 setupapi)
target_link_options(printui_standin_console PRIVATE ${PORTSETUP_WIN_LINK_OPTIONS} -municode)

# A DLL to plant beside programs as winspool.drv.
add_library(planted_dll SHARED tests/e2e/planted_dll.cpp)
set_target_properties(planted_dll PROPERTIES PREFIX "" OUTPUT_NAME planted SUFFIX ".dll")
target_link_options(planted_dll PRIVATE -static -static-libgcc -static-libstdc++)

# Runs a console program and reports its whole exit code.
add_executable(run_exit tests/e2e/run_exit.cpp)
target_link_options(run_exit PRIVATE ${PORTSETUP_WIN_LINK_OPTIONS} -municode)

# The window in a process of its own that asks oleacc what screen readers hear.
add_executable(accessibility_probe WIN32
  tests/e2e/accessibility_probe.cpp
  src/forms/Win32Form1.cpp
  src/forms/Win32Controls.cpp
  src/platform/Win32System.cpp
  src/platform/Win32DriverStore.cpp
  src/platform/Win32Devices.cpp
  src/platform/Win32Files.cpp
  src/platform/Win32FileSecurity.cpp
  src/platform/Win32Locks.cpp
  ${CMAKE_BINARY_DIR}/res/PortSetup.rc)
target_include_directories(accessibility_probe PRIVATE ${CMAKE_SOURCE_DIR}/res ${CMAKE_BINARY_DIR}/res)
target_link_libraries(accessibility_probe PRIVATE portsetup_cli portsetup_trust portsetup_win32 comctl32 oleacc ole32
  oleaut32 advapi32 uuid)
add_dependencies(accessibility_probe portsetup_resources)
target_link_options(accessibility_probe PRIVATE ${PORTSETUP_WIN_LINK_OPTIONS} -municode)
add_test(NAME e2e_accessibility COMMAND accessibility_probe)
set_tests_properties(e2e_accessibility PROPERTIES LABELS e2e TIMEOUT 120 PASS_REGULAR_EXPRESSION "probe: ok")

# The tests' command-line splitter against Windows' CommandLineToArgvW.
add_executable(argv_check tests/e2e/argv_check.cpp tests/support/SplitCommandLine.cpp)
target_include_directories(argv_check PRIVATE tests)
target_link_libraries(argv_check PRIVATE shell32)
target_link_options(argv_check PRIVATE ${PORTSETUP_WIN_LINK_OPTIONS} -municode)
add_test(NAME e2e_argv COMMAND argv_check)
set_tests_properties(e2e_argv PROPERTIES LABELS e2e TIMEOUT 60 PASS_REGULAR_EXPRESSION "argv: ok")

# Holds named mutexes, as a process of any user can.
add_executable(hold_mutex tests/e2e/hold_mutex.cpp)
target_link_options(hold_mutex PRIVATE ${PORTSETUP_WIN_LINK_OPTIONS} -municode)

# Reads a program's message table the way Event Viewer does.
add_executable(message_check tests/e2e/message_check.cpp)
target_link_options(message_check PRIVATE ${PORTSETUP_WIN_LINK_OPTIONS} -municode)
