#!/usr/bin/env bash
# Builds the Debian package from a Release tree configured as a user would (no options: no test hooks), installs
# it, starts the installed monitor on a private X server and checks its window, desktop entry, icon, software-centre
# data and manual pages, and that it carries no inspection socket; then removes the package and every package its
# installation pulled in, on failure too.
# Usage: test_deb.sh SOURCE_DIR RELEASE_BUILD_DIR [WINDOW_TIMEOUT_S]. The Release tree is kept between runs.
# Exits 77 (skipped) when this machine cannot be used for it.
set -euo pipefail

source_dir=$(cd "$1" && pwd)
build=$2
window_timeout=${3:-10}
package=orvik-monitor
title="Orvik Monitor"

skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "-- $*"; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  sudo -n true 2>/dev/null || skip "installing a package needs root or password-less sudo"
  SUDO=(sudo -n)
fi
for tool in cpack dpkg-deb apt-get Xvfb xdotool xprop desktop-file-validate appstreamcli identify; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/deps installs it)"
done
# Someone's own copy is never replaced, nor removed afterwards.
installed "$package" && skip "$package is installed already; remove it to run this test"
for f in /usr/bin/orvik-monitor /usr/bin/orvik-sim /usr/bin/orvik-collector; do
  [ -e "$f" ] && skip "$f exists outside the package"
done

work=$(mktemp -d)
chmod 755 "$work" # apt's download user reads the package from here
monitor_pid=""
xvfb_pid=""
we_installed=0
# Installed packages only: one removed earlier but not purged (its maintainer scripts kept) is listed too otherwise,
# and would never count as added.
installed_packages() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" { print $2 }' | sort; }
installed_packages >"$work/before"

cleanup() {
  local rc=$?
  set +e
  if [ -n "$monitor_pid" ] && kill -0 "$monitor_pid" 2>/dev/null; then
    kill -TERM "$monitor_pid"
    for _ in $(seq 50); do kill -0 "$monitor_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$monitor_pid" 2>/dev/null
  fi
  [ -n "$monitor_pid" ] && wait "$monitor_pid" 2>/dev/null
  if [ -n "$xvfb_pid" ]; then
    kill -TERM "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  if [ "$we_installed" -eq 1 ]; then
    # The package and whatever its installation brought along, so the machine is left as it was.
    installed_packages >"$work/after"
    mapfile -t added < <(comm -13 "$work/before" "$work/after")
    step "removing: ${added[*]}"
    DEBIAN_FRONTEND=noninteractive "${SUDO[@]}" apt-get purge -y -qq -o DPkg::Lock::Timeout=60 "${added[@]}" \
      >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; rc=1; }
    if installed "$package" || [ -e /usr/bin/orvik-monitor ]; then
      echo "FAIL: $package is still installed after removal" >&2
      rc=1
    fi
  fi
  rm -rf "$work"
  exit $rc
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

step "building the Release tree $build"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF "${launcher[@]}" >"$work/configure.log" 2>&1 \
  || { cat "$work/configure.log"; fail "configuring the Release tree failed"; }
grep -q '^ORVIK_TEST_HOOKS:BOOL=OFF$' "$build/CMakeCache.txt" || fail "a build configured without options has the test hooks"
nice -n 10 cmake --build "$build" -j 2 >"$work/build.log" 2>&1 || { tail -50 "$work/build.log"; fail "the Release build failed"; }
[ -f "$build/CPackConfig.cmake" ] || fail "$build has no CPackConfig.cmake: is the packaging file included?"

step "packing"
# cpack first brings the whole build folder up to date (its preinstall step), one job at a time; the bound keeps
# this script's own clean-up ahead of the test's time limit.
timeout 240 cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack failed or took over 240 s (is the build folder fully built?)"; }
debs=("$work"/out/${package}_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one ${package}_*.deb, got: ${debs[*]}"
deb=${debs[0]}
chmod 644 "$deb"
dpkg-deb -f "$deb" Package Section Depends

step "installing $(basename "$deb")"
we_installed=1
DEBIAN_FRONTEND=noninteractive "${SUDO[@]}" apt-get install -y -qq -o DPkg::Lock::Timeout=60 "$deb" \
  >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "apt-get install failed"; }
installed "$package" || fail "$package is not installed after apt-get install"

step "checking the installed files"
desktop=/usr/share/applications/orvik-monitor.desktop
metainfo=/usr/share/metainfo/io.orvik.Monitor.metainfo.xml
desktop-file-validate "$desktop" || fail "the installed desktop entry does not validate"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ "$(command -v "$exec_name")" = /usr/bin/orvik-monitor ] || fail "Exec=$exec_name does not find /usr/bin/orvik-monitor"
icon=/usr/share/icons/hicolor/64x64/apps/$(sed -n 's/^Icon=//p' "$desktop").png
[ -f "$icon" ] || fail "the desktop entry's icon $icon is not installed"
[ "$(identify -format '%m %wx%h' "$icon")" = "PNG 64x64" ] || fail "$icon is not a 64x64 PNG"
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 \
  || { cat "$work/appstream.log"; fail "the installed metainfo does not validate"; }
for page in orvik-monitor orvik-sim orvik-collector; do
  gzip -t "/usr/share/man/man1/$page.1.gz" || fail "manual page $page is missing or damaged"
done
# The MQTT client is a part beside the program, loaded once publishing is on; its library comes with the package.
dpkg -L "$package" | grep -q '/orvik-monitor/orvik-mqtt\.so$' || fail "the MQTT client's part orvik-mqtt.so is not installed"
dpkg-deb -f "$deb" Depends | grep -q 'libpaho-mqtt' || fail "the package does not depend on the Paho MQTT library"
sim_help=$(/usr/bin/orvik-sim --help) || fail "the installed orvik-sim does not run"
grep -q -- '--slaves' <<<"$sim_help" || fail "the installed orvik-sim prints no option summary"
# The chart is a part beside the program, loaded when it first opens: the program itself does not link its library.
chart_part=$(dpkg -L "$package" | grep '/orvik-monitor/orvik-chart\.so$' || true)
[ -n "$chart_part" ] && [ -f "$chart_part" ] || fail "the package has no orvik-monitor/orvik-chart.so"
ldd "$chart_part" | grep 'not found' >/dev/null && fail "$chart_part misses a library: $(ldd "$chart_part" | grep 'not found')"
ldd /usr/bin/orvik-monitor | grep -i qcustomplot >/dev/null && fail "the installed monitor links the plotting library itself"
collector_help=$(/usr/bin/orvik-collector --help) || fail "the installed orvik-collector does not run"
grep -q -- '--reply-timeout' <<<"$collector_help" || fail "the installed orvik-collector prints no option summary"
[ -f /usr/lib/systemd/system/orvik-collector@.service ] || fail "the collector's unit is not installed"

step "starting the installed monitor"
mkdir -m 700 "$work/runtime" "$work/ports"
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { cat "$work/xvfb.log"; fail "Xvfb did not start"; }
export DISPLAY=":$(head -n1 "$work/display")"
# Asked for the inspection socket, a monitor with the test hooks would listen at this path.
socket="$work/runtime/inspect.sock"
env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" ORVIK_PORTS_DIR="$work/ports" ORVIK_INSPECT_SOCKET="$socket" \
  /usr/bin/orvik-monitor >"$work/monitor.log" 2>&1 &
monitor_pid=$!

start=$(date +%s%N)
window=""
while [ -z "$window" ]; do
  kill -0 "$monitor_pid" 2>/dev/null || { cat "$work/monitor.log"; fail "the monitor exited before its window showed"; }
  [ $(( ($(date +%s%N) - start) / 1000000000 )) -lt "$window_timeout" ] \
    || { cat "$work/monitor.log"; fail "no window titled \"$title\" within $window_timeout s"; }
  window=$(xdotool search --all --onlyvisible --pid "$monitor_pid" --name "^${title}\$" 2>/dev/null | head -n1 || true)
  [ -n "$window" ] || sleep 0.2
done
echo "window $window after $(( ($(date +%s%N) - start) / 1000000 )) ms"
[ "$(xdotool getwindowname "$window")" = "$title" ] || fail "window title is \"$(xdotool getwindowname "$window")\""
# The desktop entry ties launcher and window together by the window's class.
wm_class=$(sed -n 's/^StartupWMClass=//p' "$desktop")
xprop -id "$window" WM_CLASS | grep -q "\"$wm_class\"" \
  || fail "StartupWMClass=$wm_class does not match the window's $(xprop -id "$window" WM_CLASS)"

step "checking that nothing test-only shipped"
# The socket is set up before the window shows; give a late one a moment anyway.
sleep 1
[ ! -e "$socket" ] || fail "the installed monitor opened the inspection socket $socket"
! grep -q ORVIK_INSPECT_SOCKET /usr/bin/orvik-monitor || fail "the installed monitor contains the inspection hook"
! ldd /usr/bin/orvik-monitor | grep -q libQt6Network || fail "the installed monitor links Qt Network, which only the hook uses"

step "stopping and removing"
# The trap stops the monitor and the X server, removes the package and checks that it is gone.
exit 0
