# Initial cache of the fuzz build (`make fuzz`): cmake -C tests/fuzz/fuzz_build.cmake -S . -B ...
# Everything is compiled by clang with libFuzzer's coverage instrumentation and the address and
# undefined-behaviour sanitizers (any report ends the run); only the fuzz programs link the
# libFuzzer driver. Warnings stay on but do not stop the build: this build uses another
# compiler than the project's, and a warning only clang gives must not keep the fuzzers from
# running (the gcc builds keep -Werror).
set(CMAKE_C_COMPILER clang CACHE STRING "")
set(CMAKE_CXX_COMPILER clang++ CACHE STRING "")
set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "")
set(AGEMILL_FUZZ ON CACHE BOOL "")
set(AGEMILL_GUI OFF CACHE BOOL "")
set(AGEMILL_WERROR OFF CACHE BOOL "")
set(CMAKE_C_FLAGS "-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" CACHE STRING "")
set(CMAKE_CXX_FLAGS "-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" CACHE STRING "")
set(CMAKE_EXE_LINKER_FLAGS "-fsanitize=address,undefined" CACHE STRING "")
