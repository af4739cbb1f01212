#!/usr/bin/env bash
# Builds the Debian package and checks it without touching the system: its
# control fields and dependencies (worked out by dpkg-shlibdeps), the files it
# holds, and, unpacked into a throw-away tree, that the installed programs
# find every library they need in the system's own places and run.
#
#   scripts/package-test.sh              package from the build directory "build"
#   VELMOR_PACKAGE_BUILD_DIR=build-pkg scripts/package-test.sh
#   VELMOR_PACKAGE_DEB=path/to/velmor_1.16.0_amd64.deb scripts/package-test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build="${VELMOR_PACKAGE_BUILD_DIR:-build}"
fail() { echo "package-test: $*" >&2; exit 1; }

for tool in dpkg-deb dpkg-shlibdeps cpack; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh brings it)"
done

version=$(sed -n 's/^project(Velmor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ -n "${VELMOR_PACKAGE_DEB:-}" ]; then
  # A package built elsewhere is only checked.
  deb="$VELMOR_PACKAGE_DEB"
  [ -f "$deb" ] || fail "no $deb"
else
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  # The package is only complete with the desktop program in it.
  cmake -S . -B "$build" -DVELMOR_BUILD_GUI=ON >/dev/null
  rm -f "$build"/velmor_*.deb
  cmake --build "$build" -j"$(nproc)" --target package >/dev/null
  debs=("$build"/velmor_"$version"_*.deb)
  [ -f "${debs[0]}" ] || fail "no velmor_${version}_*.deb in $build"
  deb="${debs[0]}"
fi
echo "package-test: checking $deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velmor ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', project says $version"
[ "$(field Section)" = science ] || fail "Section is '$(field Section)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
# Each producer's output is taken whole before it is matched: 'cmd | grep -q'
# under pipefail fails whenever grep quits before cmd has written everything.
grep -qF 'Velmor developers <dev@velmor.invalid>' <<<"$(field Maintainer)" || fail "wrong Maintainer"
grep -q 'GPS-disciplined' <<<"$(field Description)" || fail "no description"

# Depends must come from dpkg-shlibdeps: the Qt 6 widgets library, the C++
# runtime and the C library, each with a version bound.
depends=$(field Depends)
echo "package-test: Depends: $depends"
names=$(echo "$depends" | tr ',' '\n' | sed 's/([^)]*)//; s/|.*//; s/[[:space:]]//g')
for pkg in libqt6widgets6 libqt6core6 libstdc++6 libc6; do
  grep -qxF "$pkg" <<<"$names" || fail "Depends lacks $pkg"
done
grep -q '(>= ' <<<"$depends" || fail "Depends carries no version bounds"
# Every package named must be a real one: this machine built the binaries, so
# each is installed here.
for pkg in $names; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || fail "Depends names $pkg, which is not an installed package"
done
# Build-only packages must not leak into the run-time dependencies.
if grep -Eq 'gtest|googletest|qt6-base-dev|benchmark' <<<"$depends"; then
  fail "Depends names a build-only package"
fi

listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
for path in \
  /usr/bin/velmor /usr/bin/velmor-unitsim /usr/bin/velmor-replay /usr/bin/velmor-history \
  /usr/bin/velmor-monitor /usr/lib/systemd/system/velmor-monitor@.service \
  /usr/share/velmor/prometheus/velmor-scrape.yml /usr/share/velmor/prometheus/velmor-alerts.yml \
  /usr/share/velmor/grafana/velmor.json /usr/share/doc/velmor/examples/velmor-monitor.conf \
  /usr/share/doc/velmor/changelog.gz /usr/share/man/man1/velmor-monitor.1.gz \
  /usr/share/applications/velmor.desktop \
  /usr/share/icons/hicolor/scalable/apps/velmor.svg \
  /usr/share/icons/hicolor/64x64/apps/velmor.png \
  /usr/share/man/man1/velmor.1.gz /usr/share/man/man1/velmor-unitsim.1.gz \
  /usr/share/man/man1/velmor-replay.1.gz /usr/share/man/man1/velmor-history.1.gz \
  /usr/share/doc/velmor/copyright; do
  grep -qx "$path" <<<"$listing" || fail "$path is not in the package"
done
# Nothing of the build (tests, static libraries, headers) is shipped.
if grep -Eq 'velmor_tests|velmor_gui_tests|\.a$|/include/' <<<"$listing"; then
  fail "the package carries build files"
fi

# Unpack into a throw-away tree (not dpkg -i: the test leaves the system as
# it is) and check what was installed.
root=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT
dpkg-deb -x "$deb" "$root"
for tool in velmor velmor-unitsim velmor-replay velmor-history velmor-monitor; do
  bin="$root/usr/bin/$tool"
  [ -x "$bin" ] || fail "$tool is not executable"
  kind=$(file -b "$bin")
  grep -q 'ELF' <<<"$kind" || fail "$tool is not an ELF executable"
  grep -q 'not stripped' <<<"$kind" && fail "$tool is not stripped"
  # The libraries come from the system's own places; LD_LIBRARY_PATH stays
  # as it is.
  libraries=$(ldd "$bin")
  if grep -q 'not found' <<<"$libraries"; then
    echo "$libraries" >&2
    fail "$tool misses a library"
  fi
done
# The help texts are longer than a pipe's buffer: take them whole, then match.
help=$("$root/usr/bin/velmor-unitsim" --help) || fail "velmor-unitsim --help exits non-zero"
grep -q '^Usage: velmor-unitsim' <<<"$help" || fail "velmor-unitsim --help"
help=$("$root/usr/bin/velmor-replay" --help) || fail "velmor-replay --help exits non-zero"
grep -q 'velmor-replay \[--observer\] \[--capture FILE\] SCRIPT' <<<"$help" || fail "velmor-replay --help"
# The installed replay tool gives the same transcript as the built one.
"$root/usr/bin/velmor-replay" tests/golden/about_box.replay | cmp -s - tests/golden/about_box.expected \
  || fail "the installed velmor-replay runs tests/golden/about_box.replay differently"
help=$("$root/usr/bin/velmor-history" --help) || fail "velmor-history --help exits non-zero"
grep -q 'velmor-history COMMAND' <<<"$help" || fail "velmor-history --help"
help=$("$root/usr/bin/velmor-monitor" --help) || fail "velmor-monitor --help exits non-zero"
grep -q '^Usage: velmor-monitor' <<<"$help" || fail "velmor-monitor --help"
"$root/usr/bin/velmor-history" stats --frequency tests/stability/data/nbs14-frequency.txt \
  | cmp -s - tests/stability/data/nbs14-frequency.expected \
  || fail "the installed velmor-history stats gives other numbers for the NBS14 set"
# The installed desktop program's own help and version, without a display.
desktop_help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/velmor" --help) || fail "velmor --help failed"
grep -q '^usage: velmor' <<<"$desktop_help" || fail "velmor --help prints no usage"
desktop_version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/velmor" --version) || fail "velmor --version failed"
[ "$desktop_version" = "velmor $version" ] || fail "velmor --version says '$desktop_version'"
# The installed desktop program, offscreen, against the installed simulated
# unit: it must start, draw its first page and quit by itself.
"$root/usr/bin/velmor-unitsim" --link "$root/unit" --quiet >"$root/unitsim.out" &
sim_pid=$!
for _ in $(seq 1 50); do [ -e "$root/unit" ] && break; sleep 0.1; done
[ -e "$root/unit" ] || fail "the installed velmor-unitsim made no device"
mkdir -p "$root/config/velmor"
printf '[Port Devices]\n1=%s\n' "$root/unit" >"$root/config/velmor/Velmor.INI"
XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" XDG_STATE_HOME="$root/state" \
  XDG_RUNTIME_DIR="$root" QT_QPA_PLATFORM=offscreen \
  VELMOR_EXIT_AFTER_FIRST_PAGE=1 timeout 60 "$root/usr/bin/velmor" >/dev/null 2>&1 \
  || fail "the installed velmor did not start and draw its page"
kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true
sim_pid=""

desktop="$root/usr/share/applications/velmor.desktop"
for line in 'Name=Velmor' 'Exec=velmor' 'Icon=velmor' 'Terminal=false' 'Categories=Science;Electronics;'; do
  grep -qxF "$line" "$desktop" || fail "velmor.desktop lacks '$line'"
done
# Not even hints: a hint today is a warning in the next release.
command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is missing (desktop-file-utils)"
validation=$(desktop-file-validate "$desktop" 2>&1 || true)
[ -z "$validation" ] || fail "velmor.desktop: $validation"
[ "$(identify -format '%wx%h' "$root/usr/share/icons/hicolor/64x64/apps/velmor.png")" = 64x64 ] \
  || fail "velmor.png is not 64x64"
for page in velmor velmor-unitsim velmor-replay velmor-history velmor-monitor; do
  manual=$(zcat "$root/usr/share/man/man1/$page.1.gz") || fail "$page.1.gz does not unpack"
  sed -n '1,5p' <<<"$manual" | grep '^\.TH ' >/dev/null || fail "$page.1.gz is not a man page"
  if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null || true)
    [ -z "$warnings" ] || fail "$page.1: $warnings"
  fi
done
# The systemd template must at least parse.
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify --man=no "$root/usr/lib/systemd/system/velmor-monitor@.service" 2>&1 \
    | grep -v -e 'velmor-monitor: No such file' -e 'Command /usr/bin/velmor-monitor is not executable' >&2 || true
fi
# lintian: no errors (warnings are reported, not fatal).
command -v lintian >/dev/null || fail "lintian is missing (scripts/install-deps.sh brings it)"
lintian_out=$(lintian --no-tag-display-limit "$deb" 2>&1 || true)
echo "$lintian_out" | sed 's/^/package-test: lintian: /'
if grep -q '^E: ' <<<"$lintian_out"; then fail "lintian reports errors"; fi
echo "package-test: $deb is fine"
