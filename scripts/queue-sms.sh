#!/usr/bin/env bash
# Queues one SMS through Quillon: queue-sms.sh NUMBERS TEXT [CODE] [HOST] [PORT]
# NUMBERS may hold several numbers or customer names separated by ';'.
set -euo pipefail
numbers="${1:?usage: queue-sms.sh NUMBERS TEXT [CODE] [HOST] [PORT]}"
text="${2:?usage: queue-sms.sh NUMBERS TEXT [CODE] [HOST] [PORT]}"
code="${3:-0001}"; host="${4:-127.0.0.1}"; port="${5:-9002}"
exec 3<>"/dev/tcp/$host/$port"
printf '%s|%s|%s|' "$code" "$numbers" "$text" | iconv -f UTF-8 -t GBK >&3
head -c 1024 <&3 | tr -d '\000' | iconv -f GBK -t UTF-8
echo
