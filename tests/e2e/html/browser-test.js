#!/usr/bin/env node
// Opens a vantorel-inspect --html report in headless Chromium, driven over
// the DevTools protocol on a pipe, and uses it as a person would: opens
// nodes, selects a row, hovers a bar of the frame chart, searches, pages
// through 3000 siblings, and takes a screenshot. What the page shows is
// held against the file's bytes and against --json.
//
//   node browser-test.js INSPECT SAMPLE OUT_DIR SYNTH
// Exit status: 0 passed, 1 failed.
'use strict';
const { spawn, execFileSync } = require('child_process');
const fs = require('fs'), os = require('os'), path = require('path');

const [inspect, sample, outDir, synth] = process.argv.slice(2);
let failures = 0;
function check(ok, what, detail) {
  failures += !ok;
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}${ok || detail === undefined ? '' : ': ' + detail}`);
}
const html = (file, ...options) => {
  const out = path.resolve(outDir, path.basename(file) + '.html');
  execFileSync(inspect, [...options, '--html', out, file], { stdio: 'ignore' });
  return 'file://' + out;
};
fs.mkdirSync(outDir, { recursive: true });
const jsonOf = (file, ...options) =>
  JSON.parse(execFileSync(inspect, [...options, '--json', file], { maxBuffer: 1 << 28 }));
const json = jsonOf(sample);
const bytes = fs.readFileSync(sample);

// A DevTools client: messages are JSON, each ended by a NUL.
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vantorel-chromium-'));
const browser = spawn(process.env.CHROMIUM || '/usr/bin/chromium', [
  '--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
  '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage',
  `--user-data-dir=${profile}`, '--remote-debugging-pipe', '--window-size=1280,1000', 'about:blank',
], { stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe'] });
let nextId = 1, buffered = '';
const pending = new Map(), events = [];
browser.stdio[4].on('data', (chunk) => {
  const parts = (buffered + chunk).split('\0');
  buffered = parts.pop();
  for (const m of parts.map((p) => JSON.parse(p))) {
    if (pending.has(m.id)) pending.get(m.id)(m);
    else events.push(m);
  }
});
const send = (method, params = {}, sessionId) => new Promise((resolve, reject) => {
  const id = nextId++;
  pending.set(id, (m) => (m.error ? reject(new Error(`${method}: ${m.error.message}`)) : resolve(m.result)));
  browser.stdio[3].write(JSON.stringify({ id, method, params, sessionId }) + '\0');
});
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
function finish(code) {
  browser.kill('SIGKILL');
  // Chromium's helpers may still write to the profile for a moment.
  try { fs.rmSync(profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 100 }); } catch {}
  process.exit(code);
}
setTimeout(() => { console.log('FAIL out of time'); finish(1); }, 60000);

async function main() {
  const { targetId } = await send('Target.createTarget', { url: 'about:blank' });
  const { sessionId } = await send('Target.attachToTarget', { targetId, flatten: true });
  const page = (method, params) => send(method, params, sessionId);
  for (const domain of ['Runtime', 'Log', 'Network', 'Page']) await page(`${domain}.enable`);
  const evaluate = async (expression) => {
    const r = await page('Runtime.evaluate', { expression, returnByValue: true });
    if (r.exceptionDetails) throw new Error(`${expression}: ${r.exceptionDetails.exception?.description}`);
    return r.result.value;
  };
  const open = async (url) => {
    await page('Page.navigate', { url });
    for (let i = 0; i < 200 && !(await evaluate('document.body?.dataset.ready === "1"')); ++i) await sleep(50);
  };
  const mouse = (type, { x, y }) => page('Input.dispatchMouseEvent', { type, x, y, button: 'left', clickCount: 1 });
  const click = async (selector, hoverOnly) => {
    const at = await evaluate(`(() => { const e = document.querySelector(${JSON.stringify(selector)});
      e.scrollIntoView({ block: 'center' }); const r = e.getBoundingClientRect();
      return { x: r.left + r.width / 2, y: r.top + r.height / 2 }; })()`);
    await mouse('mouseMoved', at);
    if (!hoverOnly) for (const type of ['mousePressed', 'mouseReleased']) await mouse(type, at);
  };
  const head = (e) => `${e.name} @${e.offset}`;
  const shown = (h) => `${h}.querySelector('.nm').textContent + ' ' + ${h}.querySelector('.at').textContent`;

  await open(html(sample));
  // The page numbers nodes in walk order; opening Segment shows its children.
  let walked = 0;
  const number = (n) => { n.index = walked++; n.children.forEach(number); };
  json.elements.forEach(number);
  const node = (n) => `.node[data-i="${n.index}"]`;
  const segment = json.elements.find((e) => e.name === 'Segment');
  await click(`${node(segment)} > .head .tog`);
  const kids = await evaluate(`[...document.querySelectorAll('${node(segment)} > .node > .head')].map((h) => ${shown('h')})`);
  check(JSON.stringify(kids) === JSON.stringify(segment.children.map(head)), 'opening Segment shows its children', kids);

  // Down to the first frame's block; its Timestamp row lights its bytes, and
  // every byte in the hex view is the file's.
  const frame = json.frames[0];
  const within = (f) => (e) => e.offset <= f.offset && f.offset < e.offset + e.size;
  const cluster = segment.children.find((c) => c.name === 'Cluster' && within(frame)(c));
  const block = cluster.children.find(within(frame));
  await click(`${node(cluster)} > .head .tog`);
  await click(`${node(block)} > .head .tog`);
  const r = block.rows.findIndex((x) => x.name === 'Timestamp'), row = block.rows[r];
  await click(`${node(block)} > table.rows tr[data-r="${r}"]`);
  const timecode = await evaluate(`[...document.querySelectorAll('#hex b.hl')].map((b) => +b.dataset.o)`);
  check(JSON.stringify(timecode) === JSON.stringify([...Array(row.length).keys()].map((k) => row.offset + k)),
    `the Timestamp row @${row.offset} lights its ${row.length} bytes`, timecode);
  const hex = await evaluate(`[...document.querySelectorAll('#hex b[data-o]')].map((b) => [+b.dataset.o, parseInt(b.textContent, 16)])`);
  check(hex.length > 0 && hex.every(([o, v]) => bytes[o] === v), 'the hex view shows the file\'s bytes');

  // One bar per frame of the stream, keyframes marked; hovering names a frame.
  const stream = json.frames.filter((f) => f.stream === frame.stream);
  const bars = await evaluate(`[...document.querySelectorAll('#chart-sizes rect.bar')].map((b) => b.classList.contains('key'))`);
  check(JSON.stringify(bars) === JSON.stringify(stream.map((f) => f.keyframe)), 'one bar per frame, keyframes marked', bars);
  const f = stream[3];
  await click(`#chart-sizes rect.bar[data-f="${json.frames.indexOf(f)}"]`, true);
  const tip = await evaluate(`document.getElementById('tip').hidden ? '' : document.getElementById('tip').textContent`);
  const n = (v) => v.toLocaleString('en-US');
  check([`frame ${n(f.number)}`, `offset ${n(f.offset)}`, `${n(f.size)} bytes`].every((t) => tip.includes(t)),
    'hovering a bar names its frame', tip);
  check(await evaluate(`document.querySelectorAll('#chart-rate polyline.rate').length`) === 1, 'the bitrate chart is drawn');

  // Searching for a row value finds its element, and choosing it lights the value's bytes.
  const codec = segment.children.find((c) => c.name === 'Tracks').children[0].children.find((c) => c.name === 'CodecID');
  const value = codec.rows.find((x) => x.name === 'value').value;
  await click('#search');
  await page('Input.insertText', { text: value.toLowerCase() });
  await page('Input.dispatchKeyEvent', { type: 'keyDown', key: 'Enter', code: 'Enter', windowsVirtualKeyCode: 13 });
  await sleep(100);
  await click('#results .res');
  const chosen = await evaluate(`(() => { const h = document.querySelector('#tree .head.sel'); return h ? ${shown('h')} : ''; })()`);
  const spelled = String.fromCharCode(...await evaluate(`[...document.querySelectorAll('#hex b.hl')]
    .map((b) => parseInt(b.textContent, 16))`));
  check(chosen === head(codec) && spelled === value, `searching "${value.toLowerCase()}" finds CodecID`, `${chosen} ${spelled}`);

  await click(`${node(block)} > table.rows tr[data-r="${r}"]`);
  await evaluate('window.scrollTo(0, 0)');
  await mouse('mouseMoved', { x: 1, y: 1 });
  const shot = await page('Page.captureScreenshot', { format: 'png' });
  fs.writeFileSync(path.join(outDir, 'html-report.png'), Buffer.from(shot.data, 'base64'));

  // Showing the last of 3000 siblings renders it after the first 500 and
  // skips those between; showing one of them renders a page from it.
  const many = path.join(outDir, 'siblings.mkv');
  execFileSync(synth, ['tiny', many, '3000'], { stdio: 'ignore' });
  await open(html(many));
  const roots = `[...document.querySelectorAll('#tree > .node')].map((e) => +e.dataset.i)`;
  walked = 0;
  const top = jsonOf(many).elements.map((e) => (number(e), e.index));
  await evaluate(`window.vantorelReport.reveal(${top.at(-1)})`);
  const before = await evaluate(roots), first = (n) => JSON.stringify([...top.slice(0, n), top.at(-1)]);
  check(JSON.stringify(before) === first(500), 'the last of 3000 siblings skips those between', before.length);
  // 200 after the first 500 stay skipped; a click on their gap renders them.
  await evaluate(`window.vantorelReport.reveal(${top[700]})`);
  await click('#tree > .skipped');
  const after = await evaluate(roots);
  check(JSON.stringify(after) === first(1200), 'a click on a gap renders what it skipped', after.length);

  // Past --html-max-rows, the lace rows of 20 blocks are only counted: on the
  // page, by their element and in all.
  const laced = path.join(outDir, 'laced.mkv');
  execFileSync(synth, ['laced', laced, '20'], { stdio: 'ignore' });
  const rowsIn = (list) => list.reduce((k, e) => k + e.rows.length + rowsIn(e.children), 0);
  const all = rowsIn(jsonOf(laced).elements);
  await open(html(laced, '--html-max-rows', '1000'));
  const [kept, left, cut, cutLeft] = await evaluate(`(() => {
    const r = window.vantorelReport, out = [0, 0, -1, 0];
    for (let i = 0; i < r.count; ++i) {
      const d = r.details(i);
      out[0] += d.rows.length; out[1] += d.rowsOmitted;
      if (out[2] < 0 && d.rowsOmitted) { out[2] = i; out[3] = d.rowsOmitted; }
    }
    return out; })()`);
  check(kept === 1000 && kept + left === all, `the page holds 1000 of ${all} rows`, `${kept} + ${left}`);
  await evaluate(`window.vantorelReport.reveal(${cut})`);
  await click(`.node[data-i="${cut}"] > .head .tog`);
  const said = await evaluate(`document.getElementById('notes').textContent + ' | '
    + document.querySelector('.node[data-i="${cut}"] .omit').textContent`);
  check(said.includes(`first 1,000 of the ${n(all)} rows of its elements; the other ${n(left)} are only counted`)
    && said.includes(`| ${n(cutLeft)} more rows of this element`), 'the page says how many rows it left out', said);

  // Read as the classic catalogue, a Segment of unknown size claims 2^56 + 11
  // bytes: the page says that claim, and what of it lies past the file,
  // to the byte, past what a double holds.
  const claim = path.join(outDir, 'claim.webm'), at = bytes.indexOf(Buffer.from('18538067', 'hex')) + 4;
  fs.writeFileSync(claim, Buffer.concat([bytes.subarray(0, at), Buffer.from('01ffffffffffffff', 'hex'),
    bytes.subarray(at + 8)]));
  await open(html(claim, '--classic'));
  const group = (v) => v.toString().replace(/\B(?=(\d{3})+(?!\d))/g, ',');
  const claimed = 2n ** 56n + 11n, outside = claimed - BigInt(bytes.length - segment.offset);
  const told = await evaluate(`(() => { window.vantorelReport.select(${segment.index});
    return document.getElementById('notes').textContent + ' | ' + document.getElementById('hex-head').textContent; })()`);
  check(told.includes(`claims ${group(claimed)} bytes`) && told.includes(`${group(outside)} of its bytes are not in it`),
    'a claim past 2^53 bytes is shown to the byte', told);

  const requests = events.filter((m) => m.method === 'Network.requestWillBeSent').map((m) => m.params.request.url);
  check(requests.every((u) => /^(file|data):|^about:blank$/.test(u)), 'the page asks for nothing outside itself', requests);
  const errors = events.filter((m) => m.method === 'Runtime.exceptionThrown' ||
    (m.method === 'Log.entryAdded' && m.params.entry.level === 'error'));
  check(errors.length === 0, 'no script errors', JSON.stringify(errors));
}

main().then(() => finish(failures ? 1 : 0), (e) => { console.log(`FAIL ${e.message}`); finish(1); });
