#!/usr/bin/env bash
# Makes the simulated modem receive one SMS: inject-sms.sh SENDER TEXT [SPOOL]
set -euo pipefail
sender="${1:?usage: inject-sms.sh SENDER TEXT [SPOOL]}"
text="${2:?usage: inject-sms.sh SENDER TEXT [SPOOL]}"
spool="${3:-$(cd "$(dirname "$0")/.." && pwd)/station/modem-inbox}"
tmp="$spool/.in.$$"
printf '%s\n%s' "$sender" "$text" > "$tmp"
mv "$tmp" "$spool/$(date +%s%N).sms"
echo "queued for the simulated modem: $sender: $text"
