#!/usr/bin/env bash
# Checks the files the package installs, straight from the source tree: the desktop entry and the software-centre
# data validate and agree with each other, the manual pages render without warnings and carry the project's
# version, and the simulator's manual page documents exactly the options the simulator accepts.
# Usage: test_files.sh PACKAGING_DIR ORVIK_SIM PROJECT_VERSION [ORVIK_COLLECTOR]
set -euo pipefail

dir=$1
sim=$2
version=$3
collector=${4:-}
desktop=$dir/orvik-monitor.desktop
metainfo=$dir/io.orvik.Monitor.metainfo.xml
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
for tool in desktop-file-validate appstreamcli groff; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/deps installs it)" >&2; exit 1; }
done

desktop-file-validate "$desktop" || fail "desktop entry does not validate"
appstreamcli validate --no-net "$metainfo" || fail "metainfo does not validate"

key() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(key Exec)" = orvik-monitor ] || fail "Exec=$(key Exec): the installed program is orvik-monitor"
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" \
  || fail "the metainfo does not launch $(basename "$desktop")"
grep -q "<icon type=\"stock\">$(key Icon)</icon>" "$metainfo" || fail "the metainfo's icon is not Icon=$(key Icon)"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"

for page in "$dir"/orvik-monitor.1 "$dir"/orvik-sim.1 "$dir"/orvik-collector.1; do
  warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || fail "$(basename "$page") renders with warnings: $warnings"
  grep -q "^\.TH .*\"Orvik Monitor $version\"" "$page" || fail "$(basename "$page") is not marked $version"
done

# The options the simulator accepts, against the options its manual page describes.
help=$("$sim" --help) || fail "$sim --help failed"
accepted=$(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
documented=$(grep -E '^\.(TP|B|BI|BR) ' -A1 "$dir/orvik-sim.1" | grep -oE '\\-\\-[a-z][a-z\\-]*' \
  | sed 's/\\-/-/g' | sort -u)
undocumented=$(comm -23 <(echo "$accepted") <(echo "$documented"))
unknown=$(comm -13 <(echo "$accepted") <(echo "$documented"))
[ -z "$undocumented" ] || fail "orvik-sim.1 does not describe: $undocumented"
[ -z "$unknown" ] || fail "orvik-sim.1 describes options orvik-sim does not take: $unknown"
[ "$(wc -l <<<"$accepted")" -ge 10 ] || fail "orvik-sim --help lists too few options: $accepted"

# The collector's unit, as installed, with the program it starts; the one row that needs systemd's tool.
unit=$dir/orvik-collector@.service
if [ -n "$collector" ]; then
  if command -v systemd-analyze >/dev/null; then
    root=$(mktemp -d)
    trap 'rm -rf "$root"' EXIT
    # The system's own units (the targets the unit is ordered against) and the commands it runs, beside it.
    mkdir -p "$root/usr/lib/systemd" "$root/usr/bin" && ln -s usr/bin "$root/bin"
    cp -a /usr/lib/systemd/system "$root/usr/lib/systemd/"
    cp /bin/kill "$root/usr/bin/kill"
    install -m 755 "$collector" "$root/usr/bin/orvik-collector"
    install -m 644 "$unit" "$root/usr/lib/systemd/system/orvik-collector@.service"
    mkdir -p "$root/etc/orvik/collector" && : >"$root/etc/orvik/collector/line1.conf"
    out=$(systemd-analyze verify --man=no --root="$root" "$root/usr/lib/systemd/system/orvik-collector@line1.service" 2>&1) \
      || fail "systemd-analyze verify refuses the unit: $out"
    [ -z "$out" ] || fail "systemd-analyze verify warns: $out"
  else
    echo "SKIP (one row): systemd-analyze is not installed, the unit file is not verified"
  fi
  for key in Type=notify WatchdogSec= DynamicUser=yes SupplementaryGroups=dialout ProtectSystem=strict \
             ProtectHome=yes PrivateTmp=yes NoNewPrivileges=yes StateDirectory=; do
    grep -q "^$key" "$unit" || fail "the unit lacks $key"
  done
  grep -q '^RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6$' "$unit" || fail "the unit does not restrict address families"
  # Every option the collector takes is in its manual page.
  taken=$("$collector" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u)
  described=$(grep -E '^\.(TP|B|BI|BR) ' -A1 "$dir/orvik-collector.1" | grep -oE '\\-\\-[a-z][a-z\\-]*' | sed 's/\\-/-/g' \
    | sort -u)
  missing=$(comm -23 <(echo "$taken") <(echo "$described"))
  [ -z "$missing" ] || fail "orvik-collector.1 does not describe: $missing"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "packaging files: all checks passed"
