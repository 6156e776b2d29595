#!/usr/bin/env bash
# Builds the Qt the Windows program is made with: Qt 5.15.8 (qtbase and
# qtserialport) for 64-bit Windows, cross-built here with Debian's mingw-w64
# (posix threads), shared, release. About 20 minutes on 2 cores; 113 MB installed.
#
#   packaging/windows/build-qt.sh WORKDIR PREFIX [QTSERIALPORT_ARCHIVE]
#
# then build the project with it:
#   WIZARD_WINDOWS_QT=PREFIX tools/quickstart.sh test
#
# qtbase comes from Debian's source package (fetched into WORKDIR with a
# private apt configuration: no root and no deb-src line needed). Debian's
# mirror does not carry qtserialport: its release archive is taken from the
# argument, from ../shared/windows beside the project, or from download.qt.io,
# and checked against its SHA-256 in every case.
# Needs: build-essential perl python3 g++-mingw-w64-x86-64-posix dpkg-dev.
set -euo pipefail
work=$(readlink -m "${1:?usage: build-qt.sh WORKDIR PREFIX [QTSERIALPORT_ARCHIVE]}")
prefix=$(readlink -m "${2:?usage: build-qt.sh WORKDIR PREFIX [QTSERIALPORT_ARCHIVE]}")
here=$(cd "$(dirname "$0")" && pwd)
qtbase_version=${QTBASE_VERSION:-5.15.8+dfsg-11+deb12u3}
serialport=qtserialport-everywhere-src-5.15.8.tar.xz
serialport_sha256=6958041d9f09ec1a03aeb6f1d589025af217883bf5b4f42e2fc8e6eaceb12648
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p "$work/tc" "$work/apt/lists/partial" "$work/apt/cache/archives/partial"
cd "$work"
say() { printf '\n==> %s\n' "$*"; }

# Qt's configure calls ${CROSS_COMPILE}g++; Debian's plain x86_64-w64-mingw32-g++ is the
# win32-threads variant, and the program is built with the posix one: use it throughout.
for t in gcc g++ c++ cpp; do ln -sf "/usr/bin/x86_64-w64-mingw32-$t-posix" "tc/x86_64-w64-mingw32-$t"; done
for t in ar ranlib strip windres objcopy nm objdump dlltool ld as; do
    ln -sf "/usr/bin/x86_64-w64-mingw32-$t" "tc/x86_64-w64-mingw32-$t"
done
export PATH="$work/tc:$PATH"

say "qtserialport's source"
archive=${3:-}
if [ -z "$archive" ] && [ -f "$here/../../../shared/windows/$serialport" ]; then
    archive=$here/../../../shared/windows/$serialport
fi
if [ -z "$archive" ]; then
    archive=$work/$serialport
    [ -f "$archive" ] || curl -fL -o "$archive" \
        "https://download.qt.io/archive/qt/5.15/5.15.8/submodules/$serialport"
fi
echo "$serialport_sha256  $archive" | sha256sum -c -

say "qtbase's source, Debian's $qtbase_version"
apt=(-o Dir::Etc::SourceList="$work/apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
     -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache" -o Debug::NoLocking=1)
cat >"$work/apt/sources.list" <<EOF
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian-security bookworm-security main
EOF
apt-get "${apt[@]}" -qq update
apt-get "${apt[@]}" source --download-only "qtbase-opensource-src=$qtbase_version"
rm -rf qtbase-everywhere-src-5.15.8
tar xf qtbase-opensource-src_5.15.8+dfsg.orig.tar.xz

say "qtbase, for Windows (most of the time)"
cd qtbase-everywhere-src-5.15.8
# Debian's source leaves out the Wintab headers (src/3rdparty/wintab): build the Windows
# platform plugin without Wintab tablet support. Everything else is upstream's.
sed -i 's/#if QT_CONFIG(tabletevent)/#if 0 \/\/ built without the Wintab headers/' \
    src/plugins/platforms/windows/qwindowscontext.cpp
sed -i 's/^qtConfig(tabletevent) {/false {/' src/plugins/platforms/windows/windows.pri
./configure -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32- \
  -prefix "$prefix" -opensource -confirm-license -release -shared \
  -nomake examples -nomake tests -no-opengl -no-dbus -no-icu -no-sql-sqlite -no-sql-odbc \
  -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-harfbuzz -qt-freetype -no-feature-sql
make -j"$jobs"
make install

say "qtserialport, for Windows"
cd "$work"
rm -rf qtserialport-everywhere-src-5.15.8
tar xf "$archive"
cd qtserialport-everywhere-src-5.15.8
touch .git   # a source tree without its generated headers: qmake runs syncqt when it sees .git
"$prefix/bin/qmake"
make -j"$jobs"
make install
printf '[Paths]\nPrefix=..\n' > "$prefix/bin/qt.conf"   # qmake then works wherever the tree is moved
say "Qt for Windows is in $prefix; build with WIZARD_WINDOWS_QT=$prefix tools/quickstart.sh test"
