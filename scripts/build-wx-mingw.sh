#!/usr/bin/env bash
# Builds wxWidgets 3.2 for 64-bit Windows with MinGW-w64 from Debian's source
# package: static, only the base and core libraries the desktop program links,
# into a cache folder outside the work tree that later runs reuse.
#   IVRA_WX_MINGW   install prefix (default: $XDG_CACHE_HOME/ivra/wx-mingw,
#                   i.e. ~/.cache/ivra/wx-mingw)
# Prints the prefix as its last line. Skips everything when the prefix already
# holds a finished build. Needs root only for the deb-src entry and packages.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=${IVRA_WX_MINGW:-${XDG_CACHE_HOME:-$HOME/.cache}/ivra/wx-mingw}
if [[ -f "$prefix/.ivra-complete" ]]; then
  echo "wxWidgets for MinGW-w64 already built in $prefix"
  echo "$prefix"
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive

# apt-get source needs a deb-src entry for the suite already configured.
if ! apt-get source --print-uris wxwidgets3.2 >/dev/null 2>&1; then
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  cat >/etc/apt/sources.list.d/ivra-deb-src.sources <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: ${suite}
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt-get update
fi
command -v x86_64-w64-mingw32-g++-posix >/dev/null || \
  apt-get install -y --no-install-recommends g++-mingw-w64-x86-64-posix dpkg-dev

work=$(dirname "$prefix")/wx-src
rm -rf "$work" && mkdir -p "$work"
(cd "$work" && apt-get source --download-only wxwidgets3.2 && dpkg-source -x --skip-patches ./*.dsc src)

start=$(date +%s)
mkdir -p "$work/build"
cd "$work/build"
# Only what Ivra uses: base + core, no optional GUI modules (webview, stc,
# media, html, aui, ...) and no OpenGL. Debian's source drops the bundled
# libpng/zlib/expat/jpeg/tiff, so those formats, SVG (which needs PNG) and the
# XML library are left out; the plot export writes its PNG with an encoder of
# the project's own (plot/png_encoder.h) and its SVG with its own surface.
../src/configure --host=x86_64-w64-mingw32 --prefix="$prefix" \
  CC=x86_64-w64-mingw32-gcc-posix CXX=x86_64-w64-mingw32-g++-posix \
  --disable-shared --enable-monolithic=no --enable-unicode \
  --with-msw --without-opengl --without-libtiff --without-libjpeg \
  --without-libpng --without-zlib --without-expat --with-regex=builtin \
  --disable-webview --disable-stc --disable-mediactrl --disable-html --disable-htmlhelp \
  --disable-aui --disable-propgrid --disable-richtext --disable-xrc \
  --disable-ribbon --disable-webrequest --disable-sound --disable-sockets --disable-protocols \
  --disable-ipc --disable-url --disable-fs_inet --disable-debugreport --disable-svg \
  --disable-compat30 >configure.log
nice -n 10 make -j "$(nproc)" >make.log
make install >install.log
end=$(date +%s)
echo "$((end - start))" >"$prefix/.ivra-build-seconds"
touch "$prefix/.ivra-complete"
echo "wxWidgets for MinGW-w64 built in $((end - start)) s"
echo "$prefix"
