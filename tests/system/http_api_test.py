#!/usr/bin/env python3
"""Quillon's HTTP API end to end, with real clients (curl and urllib).

One station in a temporary folder: modemsim as its modem, headless Ravelin
sending and receiving, headless Quillon with HTTPPORT, ALLOW and HOOK, and a
webhook receiver that is down for its first three tries.

    http_api_test.py BIN_DIR
"""
import http.server
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request

from prometheus_client.parser import text_string_to_metric_families

BIN = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else "build/bin"
TOKEN = "t0k3n-for-tests"
SCALE = "0.01"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def eventually(condition, timeout=30.0):
    """The condition's first true value, or None when the time is up."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    return None


class Hook(http.server.BaseHTTPRequestHandler):
    """Refuses the first three posts, then takes every one."""
    lock = threading.Lock()
    tries = 0
    taken = []

    def do_POST(self):
        body = self.rfile.read(int(self.headers["Content-Length"]))
        with Hook.lock:
            Hook.tries += 1
            down = Hook.tries <= 3
            if not down:
                Hook.taken.append(json.loads(body))
        self.send_response(503 if down else 200)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


class Station:
    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="tavrel-http-")
        self.tcp, self.http, hook = free_port(), free_port(), free_port()
        self.spool = os.path.join(self.root, "spool")
        os.makedirs(self.spool)
        os.makedirs(os.path.join(self.root, "api"))
        with open(os.path.join(self.root, "api", "tokens"), "wb") as f:
            f.write(b"[tokens]\r\nshop=" + TOKEN.encode() + b"\r\n")
        settings = {
            "COM": "./modem", "RATE": "19200", "SMSCODE": "8613800000000",
            "SERVIP": "127.0.0.1", "PORT": self.tcp, "PACE": "prompt",
            "HTTPPORT": self.http, "ALLOW": "127.0.0.1, 127.0.0.3/32",
            "HOOK": f"http://127.0.0.1:{hook}/sms",
        }
        with open(os.path.join(self.root, "server.txt"), "wb") as f:
            f.write(b"[SET]\r\n" + b"".join(f"{k}={v}\r\n".encode() for k, v in settings.items()))
        self.hook = http.server.ThreadingHTTPServer(("127.0.0.1", hook), Hook)
        threading.Thread(target=self.hook.serve_forever, daemon=True).start()
        env = dict(os.environ, TAVREL_TIME_SCALE=SCALE)
        self.files = []

        def out(name):
            self.files.append(open(os.path.join(self.root, name), "wb"))
            return self.files[-1]
        self.children = [subprocess.Popen(
            [f"{BIN}/modemsim", "--link", "./modem", "--spool", self.spool],
            cwd=self.root, stdout=subprocess.PIPE, stderr=out("modemsim.err"))]
        self.children[0].stdout.readline()  # "ready ..."
        for program in ("Quillon", "Ravelin"):
            self.children.append(subprocess.Popen(
                [f"{BIN}/{program}", "--headless", "--dir", self.root], env=env,
                stdout=out(program + ".out"), stderr=subprocess.STDOUT))
        assert eventually(lambda: self.connectable(self.http)), "Quillon's HTTP port never opened"

    def connectable(self, port):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            return False

    def stop(self):
        for child in reversed(self.children):
            child.terminate()
            child.wait(timeout=10)
        self.children[0].stdout.close()
        for f in self.files:
            f.close()
        self.hook.shutdown()
        self.hook.server_close()
        shutil.rmtree(self.root, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def counter(self, day, box):
        try:
            with open(self.path(day, box, "acc"), "rb") as f:
                return int(f.read() or b"0")
        except FileNotFoundError:
            return 0

    def url(self, path):
        return f"http://127.0.0.1:{self.http}{path}"


def call(station, method, path, body=None, token=TOKEN):
    """Status and decoded answer of one request through urllib."""
    data = None if body is None else json.dumps(body).encode()
    request = urllib.request.Request(station.url(path), data=data, method=method)
    request.add_header("Authorization", f"Bearer {token}")
    if data is not None:
        request.add_header("Content-Type", "application/json")
    try:
        with urllib.request.urlopen(request, timeout=20) as answer:
            status, raw, kind = answer.status, answer.read(), answer.headers.get_content_type()
    except urllib.error.HTTPError as error:
        status, raw, kind = error.code, error.read(), error.headers.get_content_type()
    return status, (json.loads(raw) if kind == "application/json" else raw.decode())


def curl(*args):
    run = subprocess.run(["curl", "-s", "-w", "\n%{http_code}", *args],
                         capture_output=True, text=True, timeout=30)
    body, _, code = run.stdout.rpartition("\n")
    return run.returncode, int(code or 0), body


class HttpApi(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.station = Station()
        cls.today = time.strftime("%Y-") + str(time.localtime().tm_mon) + "-" + str(time.localtime().tm_mday)

    @classmethod
    def tearDownClass(cls):
        cls.station.stop()

    def test_readme_requests_with_curl(self):
        # The README's own line that reads the token, run on this station's file.
        readme = os.path.join(os.path.dirname(__file__), "..", "..", "README.md")
        with open(readme, encoding="utf-8") as f:
            line = next(l for l in f if l.startswith("T=$(")).split("#")[0]
        line = line.replace("station/api/tokens", self.station.path("api", "tokens"))
        token = subprocess.run(["bash", "-c", line + '; printf %s "$T"'], capture_output=True,
                               text=True, check=True).stdout
        self.assertEqual(token, TOKEN)
        auth = ["-H", f"Authorization: Bearer {TOKEN}"]
        rc, status, body = curl(*auth, "-H", "Content-Type: application/json", "-d",
                                '{"to": ["13012312312", "client7"], "text": "你好吗？我的朋友。"}',
                                self.station.url("/v1/messages"))
        self.assertEqual((rc, status), (0, 201), body)
        filed = json.loads(body)
        self.assertEqual(filed["day"], self.today)
        rc, status, body = curl(*auth, self.station.url(f"/v1/messages/{filed['day']}/{filed['record']}"))
        self.assertEqual(status, 200, body)
        message = json.loads(body)
        self.assertEqual(message["text"], "你好吗？我的朋友。")
        self.assertEqual([r["recipient"] for r in message["recipients"]], ["13012312312", "client7"])
        with open(self.station.path(filed["day"], "new", f"R{filed['record']}"), "rb") as f:
            self.assertEqual(f.read(), b"13012312312\r\nclient7\r\n")
        rc, status, body = curl(*auth, self.station.url("/v1/inbox?after=0&limit=10"))
        self.assertEqual(status, 200, body)
        self.assertEqual(json.loads(body)["day"], self.today)

    def test_refusals_name_what_is_wrong(self):
        cases = [  # body, status, words the detail holds
            ({"to": [], "text": "x"}, 400, "non-empty"),
            ({"to": ["1301;2312312"], "text": "x"}, 400, "';'"),
            ({"to": ["*13012312312"], "text": "x"}, 400, "'*'"),
            ({"to": ["13012312312"], "text": ""}, 400, "text"),
            ({"to": ["13012312312"], "text": "好" * 71}, 400, "71 characters"),
            ({"to": ["13012312312"], "text": "a\r\nb"}, 400, "line break"),
            ({"to": ["13012312312"], "text": "ok 😀 and ₩"}, 422, "U+1F600 at 4, U+20A9 at 10"),
        ]
        before = self.station.counter(self.today, "new")
        for body, status, words in cases:
            code, answer = call(self.station, "POST", "/v1/messages", body)
            self.assertEqual(code, status, body)
            self.assertIn(words, answer["detail"], body)
        self.assertEqual(self.station.counter(self.today, "new"), before)

    def test_a_retried_post_files_one_record(self):
        body = {"to": ["13012312312"], "text": "retry me", "id": "order-4711"}
        first = call(self.station, "POST", "/v1/messages", body)
        self.assertEqual(first[0], 201)
        counted = self.station.counter(self.today, "new")
        self.assertEqual(call(self.station, "POST", "/v1/messages", body), (200, first[1]))
        self.assertEqual(self.station.counter(self.today, "new"), counted)
        other = dict(body, text="another text")
        self.assertEqual(call(self.station, "POST", "/v1/messages", other)[0], 409)

    def test_wrong_tokens_are_refused_then_locked_out(self):
        # From an address of its own, so the lock-out holds up no other test.
        args = ["--interface", "127.0.0.3", "-H", "Authorization: Bearer wrong",
                self.station.url("/healthz")]
        codes = [curl(*args)[1] for _ in range(11)]
        self.assertEqual(codes, [401] * 10 + [429])
        good = ["--interface", "127.0.0.3", "-H", f"Authorization: Bearer {TOKEN}",
                self.station.url("/healthz")]
        self.assertEqual(curl(*good)[1], 429)
        self.assertEqual(curl("-H", f"Authorization: Bearer {TOKEN}", self.station.url("/healthz"))[1]
                         in (200, 503), True)

    def test_an_address_outside_allow_is_closed_on_both_ports(self):
        with socket.socket() as s:
            s.bind(("127.0.0.2", 0))
            s.connect(("127.0.0.1", self.station.tcp))
            s.sendall(b"0000|13012312312;|hello|")
            s.settimeout(10)
            try:
                self.assertEqual(s.recv(1024), b"")
            except ConnectionResetError:
                pass
        rc, status, _ = curl("--interface", "127.0.0.2", "-H", f"Authorization: Bearer {TOKEN}",
                             self.station.url("/healthz"))
        self.assertNotEqual(rc, 0)
        self.assertEqual(status, 0)
        with open(self.station.path("log.txt"), "rb") as f:
            log = f.read()
        self.assertIn(b"refused 127.0.0.2: not in ALLOW", log)
        self.assertIn(b"HTTP refused 127.0.0.2: not in ALLOW", log)

    def test_a_message_sent_through_the_modem_shows_sent(self):
        code, filed = call(self.station, "POST", "/v1/messages",
                           {"to": ["13900000001", "13900000002"], "text": "送达了吗"})
        self.assertEqual(code, 201)
        path = f"/v1/messages/{filed['day']}/{filed['record']}"

        def sent():
            states = [r["state"] for r in call(self.station, "GET", path)[1]["recipients"]]
            return states if all(s in ("sent", "delivered") for s in states) else None
        self.assertTrue(eventually(sent, 60), call(self.station, "GET", path))
        recipient = call(self.station, "GET", path)[1]["recipients"][0]
        self.assertEqual(recipient["number"], "13900000001")
        self.assertRegex(recipient["time"], r"^\d{4}-\d+-\d+ \d\d:\d\d:\d\d$")

    def test_a_received_sms_reaches_the_inbox_and_the_webhook(self):
        with open(os.path.join(self.station.spool, ".in"), "w", encoding="utf-8") as f:
            f.write("13812345678\n收到请回复")
        os.rename(os.path.join(self.station.spool, ".in"),
                  os.path.join(self.station.spool, "1.sms"))

        def received():
            messages = call(self.station, "GET", "/v1/inbox?after=0")[1]["messages"]
            return [m for m in messages if m["text"] == "收到请回复"]
        found = eventually(received, 60)
        self.assertTrue(found)
        self.assertEqual(found[0]["sender"], "13812345678")
        hooked = eventually(lambda: [m for m in Hook.taken if m["text"] == "收到请回复"], 60)
        self.assertTrue(hooked, f"tries: {Hook.tries}")
        self.assertEqual(hooked[0], dict(found[0], day=self.today))
        self.assertGreaterEqual(Hook.tries, 4)
        # The cursor moves once the 2xx answer is in, just after the receiver saw it.
        cursor_path = self.station.path("state", "hook-cursor")
        self.assertTrue(eventually(lambda: os.path.exists(cursor_path), 10))
        with open(cursor_path) as f:
            cursor = json.load(f)
        self.assertEqual(cursor["day"], self.today)

    def test_metrics_parse_and_match_the_files(self):
        def figures():
            code, text = call(self.station, "GET", "/metrics")
            self.assertEqual(code, 200)
            values = {}
            for family in text_string_to_metric_families(text):
                for sample in family.samples:
                    key = sample.name + "".join(f",{k}={v}" for k, v in sorted(sample.labels.items()))
                    values[key] = sample.value
            return values

        def journal_counts():
            counts = {"sent": 0, "failed": 0, "delivered": 0, "undelivered": 0}
            send = self.station.path(self.today, "send")
            for name in os.listdir(send) if os.path.isdir(send) else []:
                if re.fullmatch(r"J\d+", name):
                    with open(os.path.join(send, name), "rb") as f:
                        for line in f.read().split(b"\r\n")[:-1]:
                            state = line.split(b"|")[2].decode()
                            if state in counts:
                                counts[state] += 1
            return counts

        def matching():
            values, counts = figures(), journal_counts()
            filed = self.station.counter(self.today, "new")
            sent = self.station.counter(self.today, "send")
            expected = {f"tavrel_sms_today,state={s}": float(n) for s, n in counts.items()}
            expected["tavrel_received_today"] = float(self.station.counter(self.today, "recv"))
            expected["tavrel_outbox_waiting_records"] = float(max(0, filed - sent))
            got = {k: values.get(k) for k in expected}
            return values if got == expected else None

        values = eventually(matching, 30)
        self.assertTrue(values, figures())
        self.assertGreater(values["tavrel_disk_free_bytes"], 0)
        self.assertTrue(any(k.startswith("tavrel_modem_up,port=") for k in values), values)
        self.assertEqual(call(self.station, "GET", "/healthz")[0], 200)


if __name__ == "__main__":
    unittest.main(verbosity=2)
