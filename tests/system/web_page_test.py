#!/usr/bin/env python3
"""The web page in headless Chromium against a real Quillon on a station in a
temporary folder: a wrong token, today's figures, modems, sent records, the
send view's count and a message filed, a reply that tries to run script.

Usage: web_page_test.py QUILLON [SCREENSHOT_DIR]
Exits 77 (skipped) when chromium or chromedriver is not installed. Pictures
at 360 and 1280 px go to SCREENSHOT_DIR when given.
"""
import base64
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

TOKEN = 'shop-7f3a9c'
DEADLINE_SECONDS = 120
WEBDRIVER_ELEMENT = 'element-6066-11e4-a52e-4f735466cecf'
HOSTILE = '<script>window.ran=1</script><img src=x onerror="window.ran=2">到了吗'


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def wait_for(what, probe, seconds=20):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = probe()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError('gave up waiting for ' + what)


def write(path, text, encoding='gbk'):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(text.replace('\n', '\r\n').encode(encoding))


class Station:
    """A station folder with a day of traffic whose figures the test knows."""

    def __init__(self, root):
        self.root = root
        t = time.localtime()
        self.day = f'{t.tm_year}-{t.tm_mon}-{t.tm_mday}'
        self.http_port = free_port()
        write(f'{root}/server.txt', '[SET]\nSERVIP=127.0.0.1\nPORT=%d\nHTTPPORT=%d\nPARTS=3\n'
              % (free_port(), self.http_port))
        write(f'{root}/api/tokens', f'[tokens]\nshop={TOKEN}\n')
        write(f'{root}/state/status', 'written=%d\ncycle=4\npid=1\nmodem=COM|ttyUSB0|up|%d|3|0|\n'
              % (time.time(), time.time()))
        self.record('new', 1, '13000000001\n13000000002\nclient7\n', '09:00:00', '今天到货')
        self.record('new', 2, '13000000003\n', '10:00:00', '明天休息')
        self.record('new', 3, '13000000004\n', '10:30:00', '还在等')
        self.file('send/J1', f'1|13000000001|sent|{self.day} 09:00:05|1\n'
                             f'2|13000000002|failed|{self.day} 09:01:00|+CMS ERROR: 21\n'
                             f'3|13000000007|sent|{self.day} 09:02:00|2\n')
        self.file('send/J2', f'1|13000000003|sent|{self.day} 10:00:05|3\n'
                             f'1|13000000003|delivered|{self.day} 10:00:09|00\n')
        self.file('send/acc', '2')
        self.record('recv', 1, '13000000001', '08:15:00', '收到，谢谢')
        self.record('recv', 2, '13000000003', '11:20:00', '几点开门？')

    def file(self, relative, text):
        write(f'{self.root}/{self.day}/{relative}', text)

    def record(self, box, n, recipients, clock, text):
        self.file(f'{box}/R{n}', recipients)
        self.file(f'{box}/H{n}', f'[HEAD]\ntime={self.day} {clock}\n')
        self.file(f'{box}/DA{n}', text)
        self.file(f'{box}/acc', str(n))

    def read(self, relative):
        with open(f'{self.root}/{self.day}/{relative}', 'rb') as f:
            return f.read().decode('gbk').replace('\r\n', '\n')


class Browser:
    """Chromium through chromedriver's W3C WebDriver protocol."""

    def __init__(self, port):
        self.base = f'http://127.0.0.1:{port}'
        wait_for('chromedriver', self.ready)
        caps = {'browserName': 'chrome', 'goog:chromeOptions': {
            'binary': shutil.which('chromium'),
            'args': ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
                     '--window-size=1280,900', '--lang=zh-CN']}}
        answer = self.call('POST', '/session', {'capabilities': {'alwaysMatch': caps}})
        self.base += '/session/' + answer['sessionId']

    def ready(self):
        try:
            return self.call('GET', '/status')['ready']
        except OSError:
            return False

    def call(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={'Content-Type': 'application/json'})
        with urllib.request.urlopen(request, timeout=30) as response:
            return json.load(response)['value']

    def js(self, script, *args):
        return self.call('POST', '/execute/sync', {'script': script, 'args': list(args)})

    def find(self, css):
        found = self.call('POST', '/element', {'using': 'css selector', 'value': css})
        return '/element/' + found[WEBDRIVER_ELEMENT]

    def click(self, css):
        self.call('POST', self.find(css) + '/click', {})

    def type(self, css, text):
        element = self.find(css)
        self.call('POST', element + '/clear', {})
        self.call('POST', element + '/value', {'text': text})

    def text(self, css):
        return self.js('const e = document.querySelector(arguments[0]); return e ? e.innerText : "";', css)

    def wait_text(self, css, needle):
        return wait_for(f'"{needle}" in {css}', lambda: needle in self.text(css) and self.text(css))

    def screenshot(self, width, height, path):
        self.call('POST', '/goog/cdp/execute', {'cmd': 'Emulation.setDeviceMetricsOverride', 'params': {
            'width': width, 'height': height, 'deviceScaleFactor': 1, 'mobile': width < 600}})
        wait_for('the new layout', lambda: self.js('return innerWidth') == width)
        with open(path, 'wb') as f:
            f.write(base64.b64decode(self.call('GET', '/screenshot')))

    def quit(self):
        self.call('DELETE', '')


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def run(quillon, shots, work, processes):
    station = Station(work)
    processes.append(subprocess.Popen([quillon, '--headless', '--dir', work],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT))
    page = f'http://127.0.0.1:{station.http_port}/'

    def page_answers():
        try:
            return urllib.request.urlopen(page, timeout=5)
        except OSError:
            return None
    answer = wait_for('Quillon to serve the page', page_answers)
    check("default-src 'self'" in answer.headers['Content-Security-Policy'], 'the page sets its CSP')
    size = sum(len(urllib.request.urlopen(page + 'web/' + name).read())
               for name in ('app.js', 'app.css', 'icon.svg')) + len(answer.read())
    check(size < 100 * 1024, f'the page weighs {size} bytes')

    driver_port = free_port()
    processes.append(subprocess.Popen(['chromedriver', f'--port={driver_port}'],
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    browser = Browser(driver_port)
    try:
        browser.call('POST', '/url', {'url': page})
        browser.js("localStorage.setItem('tavrel-poll-ms', '200')")

        # A wrong token: a clear message and nothing of the station's.
        browser.type('#token', 'guess')
        browser.click('#login button')
        browser.wait_text('#login-message', '口令不对')
        check(browser.js("return document.getElementById('app').hidden"), 'no view for a wrong token')
        check('今天到货' not in browser.text('body'), 'no data for a wrong token')
        check(browser.js("return localStorage.getItem('tavrel-token')") is None, 'wrong token forgotten')

        browser.type('#token', TOKEN)
        browser.click('#login button')
        browser.wait_text('#n-sent', '3')
        counts = {k: browser.text('#n-' + k) for k in ('waiting', 'sent', 'failed', 'delivered', 'received')}
        check(counts == {'waiting': '1', 'sent': '3', 'failed': '1', 'delivered': '1', 'received': '2'},
              f'today counts {counts}')
        bars = browser.js("return [...document.querySelectorAll('#chart rect title')]"
                          ".map(t => t.textContent).filter(t => !t.endsWith(' 0'))")
        check(sorted(bars) == ['10时 发送 1', '11时 接收 1', '8时 接收 1', '9时 发送 2'], f'bars {bars}')
        if shots:
            browser.screenshot(1280, 800, f'{shots}/web-1280.png')
            browser.screenshot(360, 740, f'{shots}/web-360.png')

        browser.click('nav [data-view=modems]')
        browser.wait_text('#modem-list', '正常')
        check('ttyUSB0' in browser.text('#modem-list'), 'the modem port is shown')

        browser.click('nav [data-view=sent]')
        sent = browser.wait_text('#record-list', '+CMS ERROR: 21')
        check('13000000002 失败' in sent and '已送达 1' in sent, f'sent view: {sent}')

        # The count follows the station's rule: 75 Chinese characters are two
        # UCS-2 parts, the same length in ASCII one 7-bit SMS.
        browser.click('nav [data-view=send]')
        browser.type('#text', '货' * 75)
        browser.wait_text('#measure', '已输入75个字符，共2条短信')
        browser.type('#text', 'a' * 75)
        browser.wait_text('#measure', '已输入75个字符，共1条短信')
        browser.type('#to', '13012312312, client7')
        browser.type('#text', '明天上午十点到货，请来取。')
        if shots:
            browser.screenshot(360, 740, f'{shots}/web-360-send.png')
        browser.click('#compose button')
        filed = browser.wait_text('#send-result', '已提交')
        check(f'{station.day} 第 4 条' in filed, f'send answer: {filed}')
        check(station.read('new/acc') == '4', 'the outbox counter advanced')
        check(station.read('new/R4') == '13012312312\nclient7\n', 'recipients filed')
        check(station.read('new/DA4') == '明天上午十点到货，请来取。', 'text filed')

        # A reply filed while the inbox is open arrives by polling, as text.
        browser.click('nav [data-view=inbox]')
        browser.wait_text('#inbox-list', '几点开门')
        station.record('recv', 3, '13000000009', '12:00:00', HOSTILE)
        shown = browser.wait_text('#inbox-list li', '到了吗')
        check(HOSTILE in shown, f'the reply shown as text: {shown}')
        check(browser.js('return window.ran === undefined'), 'nothing in a reply ran')
        check(browser.js("return document.querySelectorAll('#inbox-list img, #inbox-list script')"
                         ".length") == 0, 'no element made from a reply')
        origins = browser.js("return performance.getEntriesByType('resource')"
                             ".map(e => new URL(e.name).origin)")
        check(all(o == page.rstrip('/') for o in origins), f'requests elsewhere: {origins}')
    finally:
        browser.quit()


def main():
    missing = [p for p in ('chromium', 'chromedriver') if not shutil.which(p)]
    if missing:
        print('skipped: the web page test needs ' + ' and '.join(missing) +
              ' (Debian packages chromium and chromium-driver)')
        return 77
    quillon = sys.argv[1]
    shots = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None
    signal.signal(signal.SIGALRM, lambda *_: sys.exit('web page test: over its time limit'))
    signal.alarm(DEADLINE_SECONDS)
    processes = []
    work = tempfile.mkdtemp(prefix='tavrel-web-')
    try:
        run(quillon, shots, work, processes)
    finally:
        for p in processes:
            p.terminate()
            p.wait(timeout=10)
        shutil.rmtree(work, ignore_errors=True)
    print('web page test: passed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
