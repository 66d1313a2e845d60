# The fuzz targets (libFuzzer, clang), each with ASan and UBSan, built in a
# build folder of their own by scripts/fuzz.
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -g)
add_link_options(-fsanitize=address,undefined)
add_library(fuzz_support STATIC
  tests/support/MemoryRegistry.cpp
  tests/support/SplitCommandLine.cpp)
target_include_directories(fuzz_support PUBLIC tests)
target_link_libraries(fuzz_support PUBLIC portsetup_cli portsetup_core)
foreach(target quoting text_rules cli_arguments settings registry inf)
  add_executable(fuzz_${target} tests/fuzz/fuzz_${target}.cpp)
  target_link_libraries(fuzz_${target} PRIVATE fuzz_support)
  target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer)
endforeach()
