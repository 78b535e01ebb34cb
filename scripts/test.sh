#!/usr/bin/env bash
# The whole test suite: a warnings-as-errors build with every test (the
# Python package's pytest suite and Dask example included), an install that a
# consumer project finds with find_package and pkg-config, the Python package
# installed as python/README.md says, then the C++ tests under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the thread stress test
# under ThreadSanitizer.  Both suites replay the fuzz corpora and saved
# findings (ctest label "fuzz"); the sanitizer build compiles the
# fault-injection hooks, so its suite also runs every failure injection.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${LUMETRA_JOBS:-2}
# Debian's interpreter, whose packages (NumPy, Dask, GeoPandas) the tests use,
# even where another python3 comes first on the PATH.
python=${LUMETRA_PYTHON:-/usr/bin/python3}

scripts/install-deps.sh

echo "== Release build and tests"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMETRA_WERROR=ON \
  -DLUMETRA_BUILD_PYTHON=ON -DPython3_EXECUTABLE="$python"
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
site=lib/$("$python" -c 'import sys; print("python%d.%d" % sys.version_info[:2])')/dist-packages
(cd build && PYTHONPATH="$root/build/prefix/$site" "$python" -c \
  "import lumetra; print('installed by cmake:', lumetra.library_version())")

echo "== Python package installed with pip into a venv (reusing the release build)"
rm -rf build/venv
"$python" -m venv --system-site-packages build/venv
LUMETRA_BUILD_DIR="$root/build/release" build/venv/bin/pip install -q --no-build-isolation ./python
(cd build && venv/bin/python -c \
  "import lumetra, os; print('installed by pip:', lumetra.library_version(), os.listdir(os.path.dirname(lumetra.__file__)))")

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
