#!/usr/bin/env bash
# Installs what the station needs, builds what it starts and starts it in
# ./station/ on the simulated modem (or on the real one that
# station/server.txt names). A station that already runs is left alone.
set -euo pipefail
top="$(cd "$(dirname "$0")" && pwd)"
cd "$top"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Only what is started here; ./test.sh builds everything.
cmake --build build -j"$(nproc)" --target Ravelin Quillon Merlon modemsim tavrel

bin="$top/build/bin"
station="$top/station"
mkdir -p "$station/state"
cd "$station"

# One run.sh per station (held by it and the programs it starts), and none
# beside an engine started otherwise: a second start would take over the
# modem link and the logs of the first.
exec 9>>state/run.lock
if ! flock -n 9; then
  echo "The station in $station is already running (started by another ./run.sh); it is left alone."
  echo "  See it with: $bin/tavrel --dir $station status"
  exit 0
fi
engine="$("$bin/tavrel" --dir "$station" status --json | sed -n 's/^ *"engine_pid": \([0-9]*\),*$/\1/p')"
if [ -n "$engine" ]; then
  echo "The station in $station is already running (engine process $engine); it is left alone."
  echo "  See it with: $bin/tavrel --dir $station status"
  exit 0
fi

# A fresh station gets settings that point at the simulated modem and a
# listener on loopback; an operator's own settings are left alone.
if [ ! -f server.txt ]; then
  printf '[SET]\r\nCOM=./modem\r\nRATE=19200\r\nSMSCODE=8613800000000\r\nSERVIP=127.0.0.1\r\nPORT=9002\r\nPACE=prompt\r\nHTTPPORT=9080\r\n' > server.txt
  # Opt-out words and their confirmation, in the file's GBK.
  printf 'OPTOUT=TD,T,退订,取消\r\nOPTOUTREPLY=您已退订，将不再收到本号码的短信。\r\n' |
    iconv -f UTF-8 -t GBK >> server.txt
  # Long messages of up to five SMS, each asking for a delivery report.
  printf 'PARTS=5\r\nREPORT=1\r\n' >> server.txt
  # The HTTP API (and the web page on it) needs a token; this one is the
  # station's own, generated here and never shown anywhere but this file.
  mkdir -p api
  printf '[tokens]\r\nadmin=%s\r\n' "$(head -c 24 /dev/urandom | od -An -tx1 | tr -d ' \n')" > api/tokens
  chmod 600 api/tokens
fi
com="$(sed -n 's/^COM=\(.*\)\r$/\1/Ip' server.txt | head -n1)"
port="$(sed -n 's/^PORT=\([0-9]*\).*$/\1/Ip' server.txt | head -n1)"
port="${port:-9002}"

# Pauses of the real modem exchange are several seconds; the demo runs them
# ten times faster unless the caller says otherwise.
export TAVREL_TIME_SCALE="${TAVREL_TIME_SCALE:-0.1}"

pids=()
stop_all() {
  trap - INT TERM EXIT
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap stop_all INT TERM EXIT

if [ "$com" = "./modem" ]; then
  mkdir -p modem-inbox
  "$bin/modemsim" --link ./modem --spool ./modem-inbox --sent-log ./modem-sent.jsonl > modemsim.out &
  pids+=($!)
  for _ in $(seq 100); do grep -q '^ready' modemsim.out 2>/dev/null && break; sleep 0.1; done
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  mode=()
  echo "Starting Ravelin and Quillon with windows: press 启动短信收发进程 in Ravelin and 启动 in Quillon."
else
  mode=(--headless)
  echo "No display: starting Ravelin and Quillon headless."
fi
"$bin/Quillon" "${mode[@]}" > quillon.out 2>&1 &
pids+=($!)
"$bin/Ravelin" "${mode[@]}" &
pids+=($!)

cat <<INFO

The station runs in $station (time scale $TAVREL_TIME_SCALE).
  Queue an SMS over TCP:      $top/scripts/queue-sms.sh 13012312312 你好   (Quillon on 127.0.0.1:$port)
  HTTP API (when HTTPPORT is set; token in $station/api/tokens): see README, "Quillon's HTTP API"
  Web page for a phone:       http://127.0.0.1:9080/ (when HTTPPORT is 9080; the same token)
  Make the modem receive one: $top/scripts/inject-sms.sh 13800000000 '*0001'
  Sent SMS, decoded:          $station/modem-sent.jsonl
  Received and queued SMS:    $station/$(date +%Y-%-m-%-d)/recv and /new
  The station from a shell:   $bin/tavrel --dir $station status   (and send, inbox, codes, log ...)
  A real modem:               set COM=ttyUSB0 and RATE=115200 (its speed) in $station/server.txt, then run again.
Ctrl-C stops everything started here.
INFO
wait -n "${pids[@]}" || true
