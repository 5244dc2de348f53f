#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through CTest.
#   ./test.sh              build and run the whole suite (plus a short fuzzing pass with clang)
#   FUZZ_SECONDS=0 ./test.sh    skip the fuzzing pass
#   ASAN_PASS=0 ./test.sh       skip the phone link's second run under AddressSanitizer
#   RELEASE_BUILD=0 ./test.sh   skip the Release build of the programs with Debian's flags
#   ./test.sh --install-only    only install the packages
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

packages=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev qcoro-qt6-dev libasound2-dev
          libgl-dev libgtest-dev libbenchmark-dev dbus libglib2.0-bin clang libclang-rt-14-dev
          python3 ccache dpkg-dev desktop-file-utils appstream man-db)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ "${1:-}" = --install-only ] && exit 0

# Rebuilds reuse the compiler cache.
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache} CCACHE_BASEDIR=$root

# Our own builds treat warnings as errors (a packager's or a user's build does not).
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTEL_WERROR=ON >/dev/null
cmake --build build -j"$jobs"

# The D-Bus tests talk to a real session bus of their own.
export QT_QPA_PLATFORM=offscreen
dbus-run-session -- ctest --test-dir build --output-on-failure -j"$jobs" --timeout 600

# The phone link once more under AddressSanitizer and UndefinedBehaviorSanitizer: the waits
# that end as data arrives, the fault runs against the simulated phone.
if [ "${ASAN_PASS:-1}" != 0 ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTEL_SANITIZE=ON \
    -DVANTEL_WERROR=ON -DVANTEL_BUILD_BENCH=OFF >/dev/null
  cmake --build build-asan -j"$jobs" --target link_tests
  (cd build-asan && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j"$jobs" --timeout 600 -L '^link_tests$')
fi

# The programs build as a distribution builds them: Release, with Debian's hardening flags
# (fortified functions, stack protector, format checks, full RELRO), and without a warning.
if [ "${RELEASE_BUILD:-1}" != 0 ]; then
  (eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
   export CXXFLAGS="$CXXFLAGS $CPPFLAGS"  # CMake reads no CPPFLAGS (_FORTIFY_SOURCE is there)
   cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DVANTEL_WERROR=ON \
     -DVANTEL_BUILD_TESTS=OFF -DVANTEL_BUILD_BENCH=OFF >/dev/null
   cmake --build build-release -j"$jobs" --target vantel vantel-pdu vantel-phonesim)
fi

# A short fuzzing pass of every parser (clang's libFuzzer with ASan and UBSan).
if [ "${FUZZ_SECONDS:-20}" != 0 ] && command -v clang++ >/dev/null; then
  "$root/fuzz/run.sh" "${FUZZ_SECONDS:-20}"
fi
