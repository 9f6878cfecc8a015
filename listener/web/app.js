// The station's page for the shop's phone. It reads and sends only through
// the HTTP API with the token kept in this browser's local storage. Every
// text that comes from the store is put in with textContent, never as HTML.
'use strict';

const TOKEN_KEY = 'tavrel-token';
// Milliseconds between refreshes of the open view; a test may ask for less.
const POLL_MS = Number(localStorage.getItem('tavrel-poll-ms')) || 5000;
const SENT_SHOWN = 50;    // newest outbox records in the sent view
const INBOX_SHOWN = 100;  // newest received messages kept in the inbox view

const $ = (id) => document.getElementById(id);
let token = localStorage.getItem(TOKEN_KEY) || '';
let view = 'today';
let today = null;  // the last answer of /v1/today
let limits = null;
let inbox = {day: '', last: 0};
let timer = 0;
let draftId = '';

class ApiError extends Error {
  constructor(status, body) {
    super(body && body.error ? body.error : 'HTTP ' + status);
    this.status = status;
    this.body = body || {};
  }
}

async function api(path, options) {
  const init = Object.assign({headers: {}}, options);
  init.headers.Authorization = 'Bearer ' + token;
  let response;
  try {
    response = await fetch(path, init);
  } catch (e) {
    throw new ApiError(0, {error: 'network', detail: String(e.message || e)});
  }
  let body = null;
  try { body = await response.json(); } catch (e) { body = null; }
  if (response.status === 401) {
    signOut('口令不对，或已被管理员取消。请重新输入。');
    throw new ApiError(401, body);
  }
  if (!response.ok) throw new ApiError(response.status, body);
  return body;
}

// What the shop owner reads for an answer the API refused.
function errorWords(e) {
  const words = {
    0: '连不上短信站，请检查网络。',
    400: '内容有误',
    404: '没有这条记录',
    409: '这次提交与上次的内容不同',
    413: '内容太长',
    422: '有字符无法用短信发送',
    429: '口令错误次数太多，请一分钟后再试。',
    503: '短信站暂时无法保存，请通知管理员',
  };
  const head = words[e.status] || '出错了（' + e.status + '）';
  const detail = e.body && e.body.detail ? e.body.detail : '';
  return detail ? head + '：' + detail : head;
}

function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function clockOf(stamp) {  // "2026-12-7 09:05:03" -> "09:05:03"
  const at = String(stamp || '').indexOf(' ');
  return at < 0 ? String(stamp || '') : stamp.slice(at + 1);
}

function clockOfUnix(seconds) {
  return seconds ? new Date(seconds * 1000).toLocaleString('zh-CN', {hour12: false}) : '无';
}

function fill(list, items, render, emptyText) {
  list.replaceChildren();
  if (!items.length) list.append(el('li', 'empty', emptyText));
  for (const item of items) list.append(render(item));
}

// --- sign in and out ---

function signOut(message) {
  token = '';
  localStorage.removeItem(TOKEN_KEY);
  clearTimeout(timer);
  today = null;
  limits = null;
  inbox = {day: '', last: 0};
  for (const id of ['modem-list', 'record-list', 'inbox-list']) $(id).replaceChildren();
  $('chart').replaceChildren();
  $('day').textContent = '';
  $('app').hidden = true;
  $('logout').hidden = true;
  $('login').hidden = false;
  $('login-message').textContent = message || '';
  $('token').value = '';
  $('token').focus();
}

async function signIn() {
  $('login').hidden = true;
  try {
    await refreshToday();
  } catch (e) {
    if (e.status !== 401) {
      $('login').hidden = false;
      $('login-message').textContent = errorWords(e);
    }
    return;
  }
  $('app').hidden = false;
  $('logout').hidden = false;
  show(view);
}

// --- views ---

function show(name) {
  view = name;
  for (const button of document.querySelectorAll('nav button')) {
    button.classList.toggle('on', button.dataset.view === name);
  }
  for (const section of document.querySelectorAll('main section')) section.hidden = section.id !== name;
  refresh();
}

async function refresh() {
  clearTimeout(timer);
  if (!token) return;
  try {
    if (view === 'today') await refreshToday();
    if (view === 'modems') await refreshModems();
    if (view === 'sent') await refreshSent();
    if (view === 'inbox') await refreshInbox();
    if (view === 'send') await refreshLimits();
    $('problem').hidden = true;
  } catch (e) {
    if (e.status === 401) return;
    $('problem').textContent = errorWords(e);
    $('problem').hidden = false;
  }
  if (token && view !== 'send') timer = setTimeout(refresh, POLL_MS);
}

async function refreshToday() {
  today = await api('/v1/today');
  $('day').textContent = today.day;
  for (const key of ['waiting', 'sent', 'failed', 'delivered', 'received']) {
    $('n-' + key).textContent = today[key];
  }
  drawChart(today.hours.sent, today.hours.received);
}
window.addEventListener('resize', () => {
  if (today) drawChart(today.hours.sent, today.hours.received);
});

const SVG = 'http://www.w3.org/2000/svg';
function svg(tag, attributes, text) {
  const node = document.createElementNS(SVG, tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
  if (text !== undefined) node.textContent = text;
  return node;
}

// Two bars per hour, sent and received, scaled to the busiest hour; drawn
// in the chart's own pixels so that its labels read the same on any screen.
function drawChart(sent, received) {
  const chart = $('chart');
  const full = Math.max(240, chart.clientWidth || 480);
  chart.setAttribute('viewBox', '0 0 ' + full + ' 170');
  const left = 30, top = 10, width = full - 40, height = 130, slot = width / 24;
  const most = Math.max(1, ...sent, ...received);
  const nodes = [
    svg('line', {x1: left, y1: top + height, x2: left + width, y2: top + height}),
    svg('text', {x: left - 4, y: top + 8, 'text-anchor': 'end'}, most),
    svg('text', {x: left - 4, y: top + height, 'text-anchor': 'end'}, 0),
  ];
  for (let hour = 0; hour < 24; ++hour) {
    const x = left + hour * slot;
    for (const [i, kind, value] of [[0, 'sent', sent[hour]], [1, 'received', received[hour]]]) {
      const h = (value / most) * height;
      const bar = svg('rect', {class: kind, x: x + 2 + i * (slot / 2 - 2), y: top + height - h,
                               width: slot / 2 - 2, height: h});
      bar.append(svg('title', {}, hour + '时 ' + (kind === 'sent' ? '发送 ' : '接收 ') + value));
      nodes.push(bar);
    }
    if (hour % 3 === 0) {
      nodes.push(svg('text', {x: x + slot / 2, y: top + height + 16, 'text-anchor': 'middle'}, hour));
    }
  }
  chart.replaceChildren(...nodes);
}

const MODEM_STATES = {up: '正常', sending: '发送中', paused: '已暂停', waiting: '等待中', gone: '已断开'};

async function refreshModems() {
  const status = await api('/v1/modems');
  $('modems-when').textContent = status.written
    ? '引擎状态更新于 ' + clockOfUnix(status.written) + (status.fresh ? '' : '（已过时：引擎可能没有运行）')
    : '引擎还没有报告状态：Ravelin 的引擎没有运行。';
  fill($('modem-list'), status.modems, (m) => {
    const li = el('li');
    const head = el('div');
    head.append(el('b', '', m.key + ' '), el('span', 'state-' + m.state, MODEM_STATES[m.state] || m.state));
    li.append(head, el('div', 'meta', '端口 ' + m.port + '，今日发送 ' + m.sent_today +
                                       ' 条，上次循环结束 ' + clockOfUnix(m.last_cycle)));
    if (m.until) li.append(el('div', 'meta', '等待到 ' + clockOfUnix(m.until)));
    if (m.note) li.append(el('div', 'meta', m.note));
    return li;
  }, '没有短信猫');
}

const STATE_WORDS = {queued: '待发送', sent: '已发送', failed: '失败', skipped: '跳过',
                     delivered: '已送达', undelivered: '未送达'};

async function refreshSent() {
  const now = await api('/v1/today');
  const after = Math.max(0, now.records - SENT_SHOWN);
  const answer = await api('/v1/outbox?day=' + encodeURIComponent(now.day) + '&after=' + after +
                           '&limit=' + SENT_SHOWN);
  fill($('record-list'), answer.messages.slice().reverse(), (r) => {
    const li = el('li');
    li.append(el('div', 'meta', '第 ' + r.record + ' 条　' + clockOf(r.time) + '　共 ' + r.recipients + ' 人'));
    li.append(el('div', 'body', r.text));
    const counts = Object.keys(STATE_WORDS).filter((s) => r.states[s])
                       .map((s) => STATE_WORDS[s] + ' ' + r.states[s]);
    li.append(el('div', 'meta', counts.join('，') || '待发送'));
    for (const p of r.problems) {
      li.append(el('div', 'bad', p.number + ' ' + (STATE_WORDS[p.state] || p.state) +
                                 (p.detail ? '：' + p.detail : '')));
    }
    return li;
  }, '今天还没有发送记录');
}

async function refreshInbox() {
  const now = await api('/v1/today');
  if (inbox.day !== now.day) {
    inbox = {day: now.day, last: Math.max(0, now.received - INBOX_SHOWN)};
    $('inbox-list').replaceChildren(el('li', 'empty', '今天还没有收到短信'));
  }
  if (now.received <= inbox.last) return;
  const answer = await api('/v1/inbox?day=' + encodeURIComponent(inbox.day) + '&after=' + inbox.last +
                           '&limit=' + INBOX_SHOWN);
  const list = $('inbox-list');
  for (const m of answer.messages) {
    const li = el('li');
    li.append(el('div', 'meta', m.sender + '　' + clockOf(m.time)), el('div', 'body', m.text));
    list.prepend(li);
    inbox.last = Math.max(inbox.last, m.record);
  }
  for (const empty of list.querySelectorAll('.empty')) empty.remove();
  while (list.children.length > INBOX_SHOWN) list.lastChild.remove();
}

// --- send ---

// The GSM 7-bit default alphabet and its extension table (TS 23.038 6.2.1);
// an extension character takes two septets.
const GSM7 = '@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ\x1bÆæßÉ !"#¤%&\'()*+,-./0123456789:;<=>?' +
             '¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà';
const GSM7_EXTENSION = '\f^{}\\[~]|€';

async function refreshLimits() {
  if (!limits) limits = await api('/v1/limits');
  measure();
}

// Characters and SMS parts of a text by the station's rule: one SMS of
// limits.ucs2.single characters and one line when the station sends single
// messages; otherwise 7-bit when every character is in the GSM alphabet,
// else UCS-2, a part never splitting a character.
function measureText(text, rule) {
  const chars = Array.from(text.replace(/\r\n?/g, '\n'));
  if (rule.parts <= 1) {
    const fits = chars.length <= rule.ucs2.single && !chars.includes('\n');
    return {chars: chars.length, parts: chars.length ? 1 : 0, fits, lineBreak: chars.includes('\n')};
  }
  const gsm7 = chars.every((c) => GSM7.includes(c) || GSM7_EXTENSION.includes(c));
  const sizes = chars.map((c) => gsm7 ? (GSM7_EXTENSION.includes(c) ? 2 : 1) : c.length);
  const capacity = gsm7 ? rule.gsm7 : rule.ucs2;
  const total = sizes.reduce((a, b) => a + b, 0);
  let parts = total ? 1 : 0;
  if (total > capacity.single) {
    let used = 0;
    parts = 1;
    for (const size of sizes) {
      if (used + size > capacity.each) { ++parts; used = 0; }
      used += size;
    }
  }
  return {chars: chars.length, parts, fits: parts <= rule.parts, lineBreak: false};
}

function measure() {
  if (!limits) return;
  const m = measureText($('text').value, limits);
  let words = '已输入' + m.chars + '个字符，共' + m.parts + '条短信';
  if (m.lineBreak) words += '；只能发送一行，请去掉换行';
  else if (!m.fits) words += limits.parts <= 1 ? '；超过' + limits.ucs2.single + '个字符的上限'
                                                : '；超过' + limits.parts + '条短信的上限';
  $('measure').textContent = words;
  $('measure').classList.toggle('over', !m.fits);
}

function newDraftId() {
  const bytes = new Uint8Array(12);
  crypto.getRandomValues(bytes);
  return 'web-' + Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');
}

async function send(event) {
  event.preventDefault();
  const result = $('send-result');
  const to = $('to').value.split(/[\s,，;；、]+/).filter((s) => s);
  // The same draft sent twice (a double tap, a retry) is filed once.
  if (!draftId) draftId = newDraftId();
  result.className = '';
  result.textContent = '正在提交…';
  try {
    const filed = await api('/v1/messages', {
      method: 'POST',
      headers: {'Content-Type': 'application/json'},
      body: JSON.stringify({to, text: $('text').value, id: draftId}),
    });
    result.className = 'ok';
    result.textContent = '已提交：' + filed.day + ' 第 ' + filed.record + ' 条，等待发送。';
    $('text').value = '';
    draftId = '';
    measure();
  } catch (e) {
    if (e.status === 401) return;
    result.className = 'bad';
    result.textContent = errorWords(e);
  }
}

// --- wiring ---

document.addEventListener('DOMContentLoaded', () => {
  $('login').addEventListener('submit', (event) => {
    event.preventDefault();
    token = $('token').value.trim();
    if (!token) return;
    localStorage.setItem(TOKEN_KEY, token);
    signIn();
  });
  $('logout').addEventListener('click', () => signOut(''));
  for (const button of document.querySelectorAll('nav button')) {
    button.addEventListener('click', () => show(button.dataset.view));
  }
  $('compose').addEventListener('submit', send);
  $('text').addEventListener('input', () => { draftId = ''; measure(); });
  $('to').addEventListener('input', () => { draftId = ''; });
  if (token) signIn();
  else signOut('');
});
