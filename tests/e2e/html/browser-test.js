#!/usr/bin/env node
// Opens a vantorel-inspect --html report in headless Chromium, driven over
// the DevTools protocol on a pipe (no packages needed), and uses it as a
// person would: opens a node, selects a row, reads the highlighted bytes,
// hovers a bar of the frame chart, searches, and takes a screenshot.
// Everything is held against the file's bytes and against --json.
//
//   node browser-test.js INSPECT SAMPLE OUT_DIR [SYNTH]
// With vantorel-synth, also a file of 3000 top-level elements: showing the
// last one skips the ones between, and a click on the gap renders a page.
// Exit status: 0 passed, 1 failed, 77 skipped (no Chromium).
'use strict';
const { spawn, execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const [inspect, sample, outDir, synth] = process.argv.slice(2);
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
if (!inspect || !sample || !outDir) {
  console.error('usage: browser-test.js INSPECT SAMPLE OUT_DIR');
  process.exit(2);
}
if (!fs.existsSync(chromium)) {
  console.log(`SKIP: ${chromium} is not installed`);
  process.exit(77);
}

let failures = 0, checks = 0;
function check(ok, what, detail) {
  ++checks;
  if (ok) {
    console.log(`ok   ${what}`);
  } else {
    ++failures;
    console.log(`FAIL ${what}${detail === undefined ? '' : ': ' + detail}`);
  }
}

// ---- the report and what it must agree with -------------------------------
fs.mkdirSync(outDir, { recursive: true });
const report = path.join(outDir, path.basename(sample) + '.html');
execFileSync(inspect, ['--html', report, sample], { stdio: ['ignore', 'ignore', 'ignore'] });
const json = JSON.parse(execFileSync(inspect, ['--json', sample], { maxBuffer: 1 << 28 }));
const bytes = fs.readFileSync(sample);

// ---- a DevTools client on a pipe -----------------------------------------
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vantorel-chromium-'));
const browser = spawn(chromium, [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--disable-dev-shm-usage', `--user-data-dir=${profile}`, '--remote-debugging-pipe',
  '--window-size=1280,1000', 'about:blank',
], { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
let browserErr = '';
browser.stderr.on('data', (d) => { browserErr += d; });
const toBrowser = browser.stdio[3], fromBrowser = browser.stdio[4];
let nextId = 1, pending = new Map(), listeners = [], buffered = '';
fromBrowser.on('data', (chunk) => {
  buffered += chunk.toString('utf8');
  let end;
  while ((end = buffered.indexOf('\0')) >= 0) {
    const message = JSON.parse(buffered.slice(0, end));
    buffered = buffered.slice(end + 1);
    if (message.id && pending.has(message.id)) {
      const { resolve, reject, method } = pending.get(message.id);
      pending.delete(message.id);
      if (message.error) reject(new Error(`${method}: ${message.error.message}`));
      else resolve(message.result);
    } else if (message.method) {
      for (const l of listeners) l(message);
    }
  }
});
function send(method, params = {}, sessionId) {
  const id = nextId++;
  const message = { id, method, params };
  if (sessionId) message.sessionId = sessionId;
  toBrowser.write(JSON.stringify(message) + '\0');
  return new Promise((resolve, reject) => pending.set(id, { resolve, reject, method }));
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

const deadline = setTimeout(() => {
  console.log('FAIL the browser test ran out of time');
  finish(1);
}, 50000);
let finished = false;
function finish(code) {
  if (finished) return;
  finished = true;
  clearTimeout(deadline);
  const done = () => {
    fs.rmSync(profile, { recursive: true, force: true });
    process.exit(code);
  };
  browser.once('exit', done);
  send('Browser.close').catch(() => {});
  setTimeout(() => { browser.kill('SIGKILL'); setTimeout(done, 500); }, 3000);
}

async function main() {
  const { targetId } = await send('Target.createTarget', { url: 'about:blank' });
  const { sessionId } = await send('Target.attachToTarget', { targetId, flatten: true });
  const page = (method, params) => send(method, params, sessionId);
  const errors = [], requests = [];
  listeners.push((m) => {
    if (m.sessionId !== sessionId) return;
    if (m.method === 'Runtime.exceptionThrown')
      errors.push(m.params.exceptionDetails.exception?.description || m.params.exceptionDetails.text);
    if (m.method === 'Log.entryAdded' && m.params.entry.level === 'error')
      errors.push(m.params.entry.text);
    if (m.method === 'Network.requestWillBeSent') requests.push(m.params.request.url);
  });
  await page('Runtime.enable');
  await page('Log.enable');
  await page('Network.enable');
  await page('Page.enable');
  await page('Emulation.setDeviceMetricsOverride',
    { width: 1280, height: 1000, deviceScaleFactor: 1, mobile: false });
  const evaluate = async (expression) => {
    const r = await page('Runtime.evaluate', { expression, returnByValue: true, awaitPromise: true });
    if (r.exceptionDetails) throw new Error(`${expression}: ${r.exceptionDetails.exception?.description}`);
    return r.result.value;
  };
  const click = async (selector, type = 'click') => {
    const box = await evaluate(`(() => { const e = document.querySelector(${JSON.stringify(selector)});
      if (!e) return null; e.scrollIntoView({ block: 'center' }); const r = e.getBoundingClientRect();
      return { x: r.left + r.width / 2, y: r.top + r.height / 2 }; })()`);
    if (!box) throw new Error(`nothing to ${type} at ${selector}`);
    await page('Input.dispatchMouseEvent', { type: 'mouseMoved', x: box.x, y: box.y });
    if (type === 'hover') return box;
    await page('Input.dispatchMouseEvent', { type: 'mousePressed', x: box.x, y: box.y, button: 'left', clickCount: 1 });
    await page('Input.dispatchMouseEvent', { type: 'mouseReleased', x: box.x, y: box.y, button: 'left', clickCount: 1 });
    return box;
  };

  const started = Date.now();
  await page('Page.navigate', { url: 'file://' + path.resolve(report) });
  for (let i = 0; i < 200 && !(await evaluate('document.body && document.body.dataset.ready === "1"')); ++i)
    await sleep(50);
  check(await evaluate('document.body.dataset.ready === "1"'), 'the report loads',
    `after ${Date.now() - started} ms`);

  // The summary agrees with --json; the page numbers nodes in walk order.
  const order = [];
  const walk = (n) => { n.index = order.length; order.push(n); n.children.forEach(walk); };
  json.elements.forEach(walk);
  const summary = await evaluate('window.vantorelReport.summary');
  check(summary.elements === order.length, 'the summary counts every element', `${summary.elements} vs ${order.length}`);
  check(summary.frames === json.frames.length, 'the summary counts every frame');
  const node = (n) => `.node[data-i="${n.index}"]`;

  // Opening Segment shows its children, in order.
  const segment = json.elements.find((e) => e.name === 'Segment');
  await click(`${node(segment)} > .head .tog`);
  const kids = await evaluate(`[...document.querySelectorAll('${node(segment)} > .node > .head')]
    .map((h) => h.querySelector('.nm').textContent + ' ' + h.querySelector('.at').textContent)`);
  check(JSON.stringify(kids) === JSON.stringify(segment.children.map((c) => `${c.name} @${c.offset}`)),
    'opening Segment shows its children', JSON.stringify(kids.slice(0, 4)));

  // Down to the first block that is a frame; select its Timecode row.
  const frame = json.frames[0];
  const cluster = segment.children.find((c) => c.name === 'Cluster' &&
    c.offset <= frame.offset && frame.offset < c.offset + c.size);
  const block = cluster.children.find((b) => b.offset <= frame.offset && frame.offset < b.offset + b.size);
  await click(`${node(cluster)} > .head .tog`);
  await click(`${node(block)} > .head .tog`);
  const r = block.rows.findIndex((x) => x.name === 'Timecode');
  await click(`${node(block)} > table.rows tr[data-r="${r}"]`);
  const lit = await evaluate(`[...document.querySelectorAll('#hex b.hl')].map((b) => [+b.dataset.o, parseInt(b.textContent, 16)])`);
  const row = block.rows[r];
  const expected = [...bytes.subarray(row.offset, row.offset + row.length)].map((v, k) => [row.offset + k, v]);
  check(lit.length > 0 && JSON.stringify(lit) === JSON.stringify(expected),
    `selecting the Timecode row @${row.offset} highlights its ${row.length} bytes`, JSON.stringify(lit));
  const whole = await evaluate(`[...document.querySelectorAll('#hex b[data-o]')].map((b) => [+b.dataset.o, parseInt(b.textContent, 16)])`);
  check(whole.length > 0 && whole.every(([o, v]) => bytes[o] === v), 'every byte in the hex view is the file\'s',
    `${whole.length} bytes`);

  // One bar per frame of the stream, keyframes marked; hovering names the frame.
  const stream = json.frames.filter((f) => f.stream === frame.stream);
  const bars = await evaluate(`[...document.querySelectorAll('#chart-sizes rect.bar')].map((b) => b.classList.contains('key'))`);
  check(bars.length === stream.length, 'the chart has one bar per frame of the stream', `${bars.length} vs ${stream.length}`);
  check(JSON.stringify(bars) === JSON.stringify(stream.map((f) => f.keyframe)), 'keyframes are marked');
  const pick = Math.min(3, stream.length - 1);
  await click(`#chart-sizes rect.bar[data-f="${json.frames.indexOf(stream[pick])}"]`, 'hover');
  const tip = await evaluate(`(() => { const t = document.getElementById('tip'); return t.hidden ? '' : t.textContent; })()`);
  const f = stream[pick];
  check(tip.includes(`frame ${f.number.toLocaleString('en-US')}`) && tip.includes(`offset ${f.offset.toLocaleString('en-US')}`) &&
    tip.includes(`${f.size.toLocaleString('en-US')} bytes`), 'hovering a bar names its frame', tip);
  const rate = await evaluate(`document.querySelectorAll('#chart-rate polyline.rate').length`);
  check(rate === 1, 'the bitrate chart is drawn');

  // Searching for a row value finds its element; choosing it selects it.
  const codec = json.elements.find((e) => e.name === 'Segment').children.find((c) => c.name === 'Tracks')
    .children[0].children.find((c) => c.name === 'CodecID');
  const value = codec.rows.find((x) => x.name === 'value').value;
  await click('#search');
  await page('Input.insertText', { text: value.toLowerCase() });
  await page('Input.dispatchKeyEvent', { type: 'keyDown', key: 'Enter', code: 'Enter', windowsVirtualKeyCode: 13 });
  await sleep(100);
  await click('#results .res');
  const chosen = await evaluate(`(() => { const h = document.querySelector('#tree .head.sel');
    return h ? h.querySelector('.nm').textContent + ' ' + h.querySelector('.at').textContent : ''; })()`);
  check(chosen === `CodecID @${codec.offset}`, `searching "${value.toLowerCase()}" finds CodecID`, chosen);
  const spelled = await evaluate(`[...document.querySelectorAll('#hex b.hl')].map((b) => String.fromCharCode(parseInt(b.textContent, 16))).join('')`);
  check(spelled === value, 'choosing it highlights the bytes of the value', spelled);

  // Back to the block for the picture.
  await click(`${node(block)} > table.rows tr[data-r="${r}"]`);
  await evaluate('window.scrollTo(0, 0)');
  await page('Input.dispatchMouseEvent', { type: 'mouseMoved', x: 1, y: 1 }); // no hover in the picture
  const shot = await page('Page.captureScreenshot', { format: 'png' });
  const png = path.join(outDir, 'html-report.png');
  fs.writeFileSync(png, Buffer.from(shot.data, 'base64'));
  console.log(`screenshot: ${png}`);

  if (synth) {
    const many = path.join(outDir, 'siblings.mkv');
    execFileSync(synth, ['tiny', many, '3000'], { stdio: 'ignore' });
    execFileSync(inspect, ['--html', many + '.html', many], { stdio: 'ignore' });
    await page('Page.navigate', { url: 'file://' + path.resolve(many + '.html') });
    for (let i = 0; i < 200 && !(await evaluate('document.body && document.body.dataset.ready === "1"')); ++i)
      await sleep(50);
    const roots = `[...document.querySelectorAll('#tree > .node')].map((e) => +e.dataset.i)`;
    const ascending = (a) => a.every((v, k) => k === 0 || v > a[k - 1]);
    const last = await evaluate(`(() => { const r = window.vantorelReport; r.reveal(r.count - 1);
      r.select(r.count - 1); return r.count - 1; })()`);
    const before = await evaluate(roots);
    check(before.length === 501 && before[500] === last && ascending(before),
      'showing the last of 3000 siblings skips those between', `${before.length} rendered`);
    // One in the skipped run splits it: 200 before it stay skipped.
    await evaluate(`(() => { const r = window.vantorelReport; r.reveal(${before[499]} + 201); })()`);
    await click('#tree > .skipped');
    const after = await evaluate(roots);
    check(after.length === 1201 && ascending(after), 'a click on a gap renders what it skipped, in order',
      `${after.length} rendered`);
  }

  check(requests.every((u) => u.startsWith('file:') || u.startsWith('data:') || u === 'about:blank'),
    'the page asks for nothing outside itself', requests.join(' '));
  check(errors.length === 0, 'no script errors', errors.join(' | '));
}

main().then(() => {
  console.log(`${checks - failures} passed, ${failures} failed`);
  finish(failures ? 1 : 0);
}, (e) => {
  console.log(`FAIL ${e.message}`);
  if (browserErr) console.log(browserErr.split('\n').slice(-5).join('\n'));
  finish(1);
});
