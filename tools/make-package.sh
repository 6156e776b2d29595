#!/usr/bin/env bash
# Builds the program and makes the Debian package in BUILD/packages/.
#   tools/make-package.sh [BUILD]   (default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"
(cd "$build" && cpack -G DEB)
ls -l "$build"/packages/*.deb
