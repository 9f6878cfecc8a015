#!/usr/bin/env bash
# cmake --install into a temporary prefix, and with DESTDIR into a staging
# folder: every file lands below them, the units and desktop entries name the
# programs by the prefix, and systemd-analyze verify and desktop-file-validate
# (each where installed) pass on what was installed.
set -euo pipefail
build="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Every file an install wrote, from its own log.
installed() { sed -nE 's/^-- (Installing|Up-to-date): //p' "$1"; }

prefix="$tmp/prefix"
cmake --install "$build" --prefix "$prefix" > "$tmp/prefix.log"
while read -r path; do
  case "$path" in "$prefix"/*) ;; *) fail "written outside the prefix: $path" ;; esac
done < <(installed "$tmp/prefix.log")
unit="$prefix/lib/systemd/system/tavrel-ravelin.service"
grep -qx "ExecStart=$prefix/bin/Ravelin --headless" "$unit" || fail "ExecStart of $unit"
grep -qx "Exec=$prefix/libexec/tavrel/open-station Ravelin" "$prefix/share/applications/ravelin.desktop" \
  || fail "Exec of ravelin.desktop"
[ -x "$prefix/libexec/tavrel/open-station" ] || fail "open-station is not executable"
[ -x "$prefix/bin/tavrel" ] || fail "tavrel is not installed"

stage="$tmp/stage"
DESTDIR="$stage" cmake --install "$build" --prefix /opt/tavrel > "$tmp/stage.log"
outside="$(find "$stage" -mindepth 1 -not -path "$stage/opt" -not -path "$stage/opt/tavrel" \
  -not -path "$stage/opt/tavrel/*")"
[ -z "$outside" ] || fail "written outside DESTDIR/prefix: $outside"
grep -qx "ExecStart=/opt/tavrel/bin/Quillon --headless" \
  "$stage/opt/tavrel/lib/systemd/system/tavrel-quillon.service" || fail "ExecStart under DESTDIR"

if command -v desktop-file-validate >/dev/null; then
  for entry in "$prefix"/share/applications/*.desktop; do
    desktop-file-validate "$entry" || fail "desktop-file-validate $entry"
  done
else
  echo "desktop-file-validate not installed: skipped"
fi
if command -v systemd-analyze >/dev/null; then
  # Offline: the unit files alone, the programs they start under the prefix.
  systemd-analyze verify --man=no "$prefix"/lib/systemd/system/*.service 2> "$tmp/verify.log" \
    || { cat "$tmp/verify.log" >&2; fail "systemd-analyze verify"; }
  if [ -s "$tmp/verify.log" ]; then cat "$tmp/verify.log" >&2; fail "systemd-analyze verify warned"; fi
else
  echo "systemd-analyze not installed: skipped"
fi
echo "install into a prefix and under DESTDIR: good"
