#!/usr/bin/env bash
# The whole test suite: a warnings-as-errors build with every test, an
# install that a consumer project finds with find_package and pkg-config,
# then the same tests under AddressSanitizer + UndefinedBehaviorSanitizer,
# and the thread stress test under ThreadSanitizer.  Both suites replay the
# fuzz corpora and saved findings (ctest label "fuzz"); the sanitizer build
# compiles the fault-injection hooks, so its suite also runs every failure
# injection.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${LUMETRA_JOBS:-2}

scripts/install-deps.sh

echo "== Release build and tests"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMETRA_WERROR=ON
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure --no-tests=error -j"$jobs"

echo "== Install and consumer project"
rm -rf build/prefix build/consumer
cmake --install build/release --prefix "$root/build/prefix"
cmake -S tests/consumer -B build/consumer -DCMAKE_PREFIX_PATH="$root/build/prefix"
cmake --build build/consumer
LD_LIBRARY_PATH="$root/build/prefix/lib" build/consumer/consumer
PKG_CONFIG_PATH="$root/build/prefix/lib/pkgconfig" \
  cc tests/consumer/consumer.c $(PKG_CONFIG_PATH="$root/build/prefix/lib/pkgconfig" pkg-config --cflags --libs lumetra) \
  -o build/consumer/consumer_pc
LD_LIBRARY_PATH="$root/build/prefix/lib" build/consumer/consumer_pc

echo "== Sanitizer build and tests"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DLUMETRA_WERROR=ON \
  -DLUMETRA_SANITIZE="address;undefined"
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure --no-tests=error -j"$jobs"

echo "== ThreadSanitizer stress test"
# Only the shared library and the stress test: a bounded number of rounds of
# 8 threads sharing mapped files and the handle table.  No -Werror here: the
# compiler's flow warnings under -fsanitize=thread are not the code's.
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMETRA_SANITIZE=thread
cmake --build build/tsan -j"$jobs" --target capi_thread_stress_test
TSAN_OPTIONS=halt_on_error=1 build/tsan/tests/capi_thread_stress_test
echo "== All tests passed"
