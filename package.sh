#!/usr/bin/env bash
# Builds the Debian packages vantel and vantel-tools into build-deb/ and checks them with lintian.
#   ./package.sh                             with the test suite (offscreen, its own D-Bus session)
#   DEB_BUILD_OPTIONS=nocheck ./package.sh   without it
# The packaging tools and the build dependencies of debian/control are installed when missing
# (with sudo when not root). The tree is copied first, so the checkout stays clean.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD
version=$(dpkg-parsechangelog -l debian/changelog -S Version 2>/dev/null || true)

sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
install() {
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@"
}
tools=(dpkg-dev debhelper fakeroot lintian)
missing=()
for p in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
((${#missing[@]})) && install "${missing[@]}"
[ -n "$version" ] || version=$(dpkg-parsechangelog -l debian/changelog -S Version)

out=$root/build-deb
src=$out/src/vantel-$version
rm -rf "$out"
mkdir -p "$src"
tar --exclude-vcs --exclude='./build*' --exclude=./data --exclude=./fuzz-corpus -cf - . |
  tar -C "$src" -xf -
if ! (cd "$src" && dpkg-checkbuilddeps >/dev/null 2>&1); then
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get build-dep -y -qq "$src"
fi

# Rebuilds reuse the compiler's cache (debhelper gives the build a home of its own).
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)}
fi
(cd "$src" && dpkg-buildpackage -us -uc -b)
mv "$out"/src/*.deb "$out"/src/*.changes "$out"/src/*.buildinfo "$out"/
rm -rf "$out/src"
lintian --fail-on error,warning "$out"/vantel_"$version"_*.changes
ls "$out"/*.deb
