# Windows build: PortSetup.exe, statically linked and hardened, and the
# programs that test it under Wine.
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE NOMINMAX)

# 64-bit Windows, or 32-bit Windows (x86) with the i686 toolchain.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
  set(PORTSETUP_MANIFEST_ARCH x86)
else()
  set(PORTSETUP_MANIFEST_ARCH amd64)
endif()

set(PORTSETUP_WIN_LINK_OPTIONS
  -static -static-libgcc -static-libstdc++
  -Wl,--dynamicbase -Wl,--nxcompat
  -Wl,--gc-sections)
if(PORTSETUP_MANIFEST_ARCH STREQUAL "amd64")
  list(APPEND PORTSETUP_WIN_LINK_OPTIONS -Wl,--high-entropy-va)
endif()

# Reproducible exes: no link time stamp, and no build folder in the code, so
# that two builds of the same sources are byte-identical.
list(APPEND PORTSETUP_WIN_LINK_OPTIONS -Wl,--no-insert-timestamp)
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)

# Every test program runs under Wine, through this wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tests/e2e/wine-exec)

# The window's icon, drawn by a small generator compiled for the build machine.
find_program(HOST_CXX NAMES g++ c++ REQUIRED)
set(ICON_FILE ${CMAKE_BINARY_DIR}/res/PortSetup.ico)
add_custom_command(
  OUTPUT ${ICON_FILE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/res
  COMMAND ${HOST_CXX} -std=c++20 -O1 -Wall -Wextra -o ${CMAKE_BINARY_DIR}/res/make_icon
          ${CMAKE_SOURCE_DIR}/res/make_icon.cpp
  COMMAND ${CMAKE_BINARY_DIR}/res/make_icon ${ICON_FILE}
  DEPENDS ${CMAKE_SOURCE_DIR}/res/make_icon.cpp
  COMMENT "Drawing the window icon")
# The event messages, one message table for both programs: the Application
# event log shows each event's text through it.
find_program(WINDMC NAMES x86_64-w64-mingw32-windmc windmc REQUIRED)
set(EVENT_MESSAGES ${CMAKE_BINARY_DIR}/res/MSG00409.bin)
add_custom_command(
  OUTPUT ${EVENT_MESSAGES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/res
  COMMAND ${WINDMC} -A -h ${CMAKE_BINARY_DIR}/res -r ${CMAKE_BINARY_DIR}/res ${CMAKE_SOURCE_DIR}/res/PortSetupEvents.mc
  DEPENDS ${CMAKE_SOURCE_DIR}/res/PortSetupEvents.mc
  COMMENT "Compiling the event messages")
# The manifests name the architecture the programs are built for.
configure_file(${CMAKE_SOURCE_DIR}/res/PortSetup.manifest ${CMAKE_BINARY_DIR}/res/PortSetup.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/res/PortSetupCli.manifest ${CMAKE_BINARY_DIR}/res/PortSetupCli.manifest @ONLY)
# Made once, before any program that compiles them in: each program making
# them on its own would run the generators twice at once in a parallel build.
add_custom_target(portsetup_resources DEPENDS ${ICON_FILE} ${EVENT_MESSAGES})
configure_file(${CMAKE_SOURCE_DIR}/res/PortSetup.rc.in ${CMAKE_BINARY_DIR}/res/PortSetup.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/res/PortSetup.rc PROPERTIES
  OBJECT_DEPENDS "${ICON_FILE};${EVENT_MESSAGES};${CMAKE_BINARY_DIR}/res/PortSetup.manifest")

add_library(portsetup_win32 STATIC
  src/platform/Win32Api.cpp
  src/platform/Win32Machine.cpp
  src/platform/Win32Printers.cpp
  src/platform/Win32Processes.cpp
  src/platform/Win32EventLog.cpp
  src/platform/Win32Registry.cpp
)
target_link_libraries(portsetup_win32 PUBLIC portsetup_core)

add_executable(PortSetup WIN32
  src/forms/Win32Form1.cpp
  src/forms/Win32Controls.cpp
  src/forms/WinMain.cpp
  src/platform/Win32System.cpp
  src/platform/Win32DriverStore.cpp
  src/platform/Win32Devices.cpp
  src/platform/Win32Files.cpp
  src/platform/Win32FileSecurity.cpp
  src/platform/Win32Locks.cpp
  ${CMAKE_BINARY_DIR}/res/PortSetup.rc)
target_include_directories(PortSetup PRIVATE ${CMAKE_SOURCE_DIR}/res ${CMAKE_BINARY_DIR}/res)
target_compile_options(PortSetup PRIVATE -Os -ffunction-sections -fdata-sections)
target_compile_options(portsetup_core PRIVATE -Os -ffunction-sections -fdata-sections)
target_compile_options(portsetup_win32 PRIVATE -Os -ffunction-sections -fdata-sections)
target_compile_options(portsetup_cli PRIVATE -Os -ffunction-sections -fdata-sections)
target_compile_options(portsetup_trust PRIVATE -Os -ffunction-sections -fdata-sections)
target_link_libraries(PortSetup PRIVATE portsetup_cli portsetup_trust portsetup_win32 comctl32 advapi32 uuid)
target_link_options(PortSetup PRIVATE ${PORTSETUP_WIN_LINK_OPTIONS} -municode -s)
add_dependencies(PortSetup portsetup_resources)

# PortSetupCli.exe: the console program for unattended runs.
configure_file(${CMAKE_SOURCE_DIR}/res/PortSetupCli.rc.in ${CMAKE_BINARY_DIR}/res/PortSetupCli.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/res/PortSetupCli.rc PROPERTIES
  OBJECT_DEPENDS "${ICON_FILE};${EVENT_MESSAGES};${CMAKE_BINARY_DIR}/res/PortSetupCli.manifest")
add_executable(PortSetupCli
  src/platform/Win32System.cpp
  src/platform/Win32DriverStore.cpp
  src/platform/Win32Devices.cpp
  src/platform/Win32Files.cpp
  src/platform/Win32FileSecurity.cpp
  src/platform/Win32Locks.cpp
  src/cli/Win32Main.cpp
  ${CMAKE_BINARY_DIR}/res/PortSetupCli.rc)
target_include_directories(PortSetupCli PRIVATE ${CMAKE_SOURCE_DIR}/res ${CMAKE_BINARY_DIR}/res)
target_compile_options(PortSetupCli PRIVATE -Os -ffunction-sections -fdata-sections)
target_link_libraries(PortSetupCli PRIVATE portsetup_cli portsetup_win32 advapi32 uuid)
target_link_options(PortSetupCli PRIVATE ${PORTSETUP_WIN_LINK_OPTIONS} -municode -s)
add_dependencies(PortSetupCli portsetup_resources)

# PortSetupCa.dll: the MSI's custom actions. Its entry points are exported
# by their plain names (no @4 on 32-bit), as Windows Installer looks them up.
# It checks PortSetupCli's folder as PortSetupCli checks it, with the same
# files seam.
add_library(PortSetupCa SHARED src/msi/Win32CustomAction.cpp src/platform/Win32Files.cpp
  src/platform/Win32FileSecurity.cpp src/platform/Win32Locks.cpp)
set_target_properties(PortSetupCa PROPERTIES PREFIX "")
target_compile_options(PortSetupCa PRIVATE -Os -ffunction-sections -fdata-sections)
target_compile_options(portsetup_msi PRIVATE -Os -ffunction-sections -fdata-sections)
target_link_libraries(PortSetupCa PRIVATE portsetup_msi portsetup_trust portsetup_win32 msi advapi32)
target_link_options(PortSetupCa PRIVATE ${PORTSETUP_WIN_LINK_OPTIONS} -Wl,--kill-at -s)

# The registry suite against the real registry, under Wine.
add_executable(registry_tests
  tests/modules/registry_suite_test.cpp
  tests/support/RegistryUnderTest.cpp
  tests/support/Win32ScratchKey.cpp)
target_include_directories(registry_tests PRIVATE tests)
target_link_libraries(registry_tests PRIVATE portsetup_win32 GTest::gtest_main)
target_link_options(registry_tests PRIVATE ${PORTSETUP_WIN_LINK_OPTIONS})
add_test(NAME registry_suite_wine COMMAND registry_tests)
# Again with double-byte ANSI code pages: Wine takes its code page from the locale.
add_test(NAME registry_suite_wine_cp932 COMMAND registry_tests)
set_tests_properties(registry_suite_wine_cp932 PROPERTIES ENVIRONMENT "LC_ALL=ja_JP.UTF-8;PORTSETUP_EXPECT_DOUBLE_BYTE=1")
add_test(NAME registry_suite_wine_cp936 COMMAND registry_tests)
set_tests_properties(registry_suite_wine_cp936 PROPERTIES ENVIRONMENT "LC_ALL=zh_CN.UTF-8;PORTSETUP_EXPECT_DOUBLE_BYTE=1")

if(EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/e2e.cmake)
  include(${CMAKE_SOURCE_DIR}/tests/e2e/e2e.cmake)
endif()
# The benchmarks measure the 64-bit programs.
if(PORTSETUP_MANIFEST_ARCH STREQUAL "amd64")
  include(${CMAKE_SOURCE_DIR}/bench/bench.cmake)
endif()

# Link-time optimisation keeps PortSetup.exe small: only what it uses of the
# runtime library stays in. The link optimises for size as the compiles do,
# in one partition: mingw-w64's GCC 12 (both compilers) crashes in its
# dead-store pass when the program is split into several.
include(CheckIPOSupported)
check_ipo_supported(RESULT PORTSETUP_IPO OUTPUT PORTSETUP_IPO_ERROR LANGUAGES CXX)
if(PORTSETUP_IPO)
  set_property(TARGET PortSetup portsetup_core portsetup_win32 portsetup_trust portsetup_cli
               PROPERTY INTERPROCEDURAL_OPTIMIZATION TRUE)
  target_link_options(PortSetup PRIVATE -Os -flto-partition=one)
  if(TARGET bare_window)
    set_property(TARGET bare_window empty_window PROPERTY INTERPROCEDURAL_OPTIMIZATION TRUE)
    target_link_options(bare_window PRIVATE -Os -flto-partition=one)
    target_link_options(empty_window PRIVATE -Os -flto-partition=one)
  endif()
  # PortSetupCli, the custom action DLL and the test programs link the same
  # libraries without it:
  # their objects carry both kinds of code.
  target_compile_options(portsetup_core PRIVATE -ffat-lto-objects)
  target_compile_options(portsetup_win32 PRIVATE -ffat-lto-objects)
  target_compile_options(portsetup_trust PRIVATE -ffat-lto-objects)
  target_compile_options(portsetup_cli PRIVATE -ffat-lto-objects)
  foreach(program PortSetupCli PortSetupCa registry_tests accessibility_probe)
    if(TARGET ${program})
      target_link_options(${program} PRIVATE -fno-lto)
    endif()
  endforeach()
endif()
