#!/usr/bin/env bash
# Queues one SMS through Quillon: queue-sms.sh NUMBERS TEXT [CODE] [HOST] [PORT]
# NUMBERS may hold several numbers or customer names separated by ';'.
# Exits 0 only when Quillon answers 0000 (filed); otherwise says why in words.
set -euo pipefail
export LC_ALL=C.UTF-8
usage="usage: queue-sms.sh NUMBERS TEXT [CODE] [HOST] [PORT]"
numbers="${1:?$usage}"
text="${2:?$usage}"
code="${3:-0001}"; host="${4:-127.0.0.1}"; port="${5:-9002}"
refuse() { echo "queue-sms.sh: $*; nothing was sent" >&2; exit 2; }

# Before connecting: every character must have a GBK (code page 936) form,
# and no field may hold the '|' that closes fields.
for field in "$code" "$numbers" "$text"; do
  case "$field" in *'|'*) refuse "a field holds '|', which would end it early" ;; esac
  if ! printf '%s' "$field" | iconv -f UTF-8 -t CP936 >/dev/null 2>&1; then
    for ((i = 0; i < ${#field}; i++)); do
      ch="${field:i:1}"
      if ! printf '%s' "$ch" | iconv -f UTF-8 -t CP936 >/dev/null 2>&1; then
        refuse "'$ch' (U+$(printf '%s' "$ch" | iconv -f UTF-8 -t UTF-32BE | od -An -tx1 | tr -d ' \n' | sed 's/^0*//' | tr a-f A-F)) has no GBK form"
      fi
    done
    refuse "the text is not UTF-8"
  fi
done
request="$(printf '%s|%s|%s|' "$code" "$numbers" "$text" | iconv -f UTF-8 -t CP936 | wc -c)"
((request <= 1024)) || refuse "too long: the request is $request bytes in GBK, Quillon takes 1024"

if ! { exec 3<>"/dev/tcp/$host/$port"; } 2>/dev/null; then
  echo "queue-sms.sh: cannot connect to Quillon at $host:$port" >&2
  exit 1
fi
printf '%s|%s|%s|' "$code" "$numbers" "$text" | iconv -f UTF-8 -t CP936 >&3
reply="$(head -c 1024 <&3 | tr -d '\000' | iconv -f CP936 -t UTF-8)"
echo "$reply"
case "$reply" in
  0000\|*) exit 0 ;;
  0001\|*) echo "queue-sms.sh: refused, bad format: a field is empty, or the code is longer than 9 bytes" >&2 ;;
  0002\|*) echo "queue-sms.sh: refused, server fault: Quillon could not file it (disk or permissions; see its log.txt)" >&2 ;;
  *) echo "queue-sms.sh: no reply from Quillon at $host:$port" >&2 ;;
esac
exit 1
