// The report page of vantorel-inspect --html: reads the node and frame lines
// that the writer streamed into script elements, and builds the summary, the
// charts, the tree (one subtree when it is opened) and the hex view.
(function () {
  'use strict';
  const $ = (id) => document.getElementById(id);
  const meta = JSON.parse($('vt-meta').textContent);
  const sum = JSON.parse($('vt-summary').textContent);
  const PAGE = 500;        // children rendered at a time
  const WINDOW = 1000;     // bars in the frame-size chart at a time
  const RESULTS = 200;     // search results listed

  // Counts, offsets and lengths past 2^53 come as texts of digits, which a
  // double would round: they are shown as BigInts.
  const fmt = (n) => (typeof n === 'bigint' || (typeof n === 'string' && /^\d{16,}$/.test(n))
    ? BigInt(n) : Number(n)).toLocaleString('en-US');
  const html = (s) => String(s).replace(/[&<>"]/g,
    (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;' })[c]);
  const unesc = (s) => s.indexOf('\\') < 0 ? s
    : s.replace(/\\u([0-9a-f]{4})/g, (m, h) => String.fromCharCode(parseInt(h, 16)));
  // Escapes a text as the writer does, to look for it in raw lines.
  const escLike = (s) => s.replace(/[\x00-\x1f\x7f-\x9f"\\<^\u202a-\u202e\u2066-\u2069]/g,
    (c) => '\\u' + c.charCodeAt(0).toString(16).padStart(4, '0'));
  // Field positions of the lines, as the writer defines them.
  const positions = (names) => Object.fromEntries(names.map((n, i) => [n, i]));
  const N = positions(meta.layout.node), R = positions(meta.layout.row);
  const LT = positions(meta.layout.late), FR = positions(meta.layout.frame);
  const NROW = meta.layout.node.length, ROWLEN = meta.layout.row.length;
  const TEXT = meta.layout.textLine.charCodeAt(0), LATE = meta.layout.lateLine.charCodeAt(0);
  const REF = meta.layout.reference.charCodeAt(0);
  const reEscape = (s) => s.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');

  // ---- the node lines ----------------------------------------------------
  const table = [];  // repeated texts, "^N"
  const extra = [];  // names written out in full, ids below zero
  const extraIds = new Map();
  const text = (f) => f.charCodeAt(0) === REF ? table[+f.slice(1)] : unesc(f);
  function nameId(f) {
    if (f.charCodeAt(0) === REF) return +f.slice(1);
    const t = unesc(f);
    let id = extraIds.get(t);
    if (id === undefined) { extra.push(t); id = -extra.length; extraIds.set(t, id); }
    return id;
  }
  const nameText = (id) => id >= 0 ? table[id] : extra[-id - 1];

  let cap = 4096, count = 0;
  let P = new Int32Array(cap), NM = new Int32Array(cap), FL = new Uint8Array(cap);
  let OFF = new Float64Array(cap), LEN = new Float64Array(cap);
  const L = [];
  const patches = new Map();
  function grow() {
    cap *= 2;
    const g = (a) => { const b = new a.constructor(cap); b.set(a); return b; };
    P = g(P); NM = g(NM); FL = g(FL); OFF = g(OFF); LEN = g(LEN);
  }
  // Calls take(text, start, end) for each non-empty line of the scripts of
  // a type, and drops the scripts.
  function eachLine(type, take) {
    for (const script of document.querySelectorAll(`script[type="${type}"]`)) {
      const t = script.textContent;
      script.remove();
      for (let pos = 0; pos < t.length;) {
        let nl = t.indexOf('\n', pos);
        if (nl < 0) nl = t.length;
        if (nl > pos) take(t, pos, nl);
        pos = nl + 1;
      }
    }
  }
  eachLine('text/x-vantorel-nodes', (t, pos, nl) => {
    const c = t.charCodeAt(pos);
    if (c === TEXT) {
      table.push(unesc(t.slice(pos + 1, nl)));
    } else if (c === LATE) {
      const f = t.slice(pos + 1, nl).split('\t');
      const i = +f[LT.index];
      const p = patches.get(i) || {};
      if (f[LT.annotation]) p.ann = unesc(f[LT.annotation]);
      if (f[LT.crc]) p.crc = f[LT.crc];
      if (f[LT.omitted]) p.omitted = +f[LT.omitted];
      if (f[LT.status]) p.status = +f[LT.status];
      patches.set(i, p);
    } else {
      if (count === cap) grow();
      const line = t.slice(pos, nl);
      const f = line.split('\t', NROW);
      P[count] = +f[N.parent];
      NM[count] = nameId(f[N.name]);
      OFF[count] = +f[N.offset];
      LEN[count] = +f[N.size];
      FL[count] = +f[N.flags];
      L.push(line);
      ++count;
    }
  });
  const FC = new Int32Array(count).fill(-1), NS = new Int32Array(count).fill(-1);
  const LC = new Int32Array(count).fill(-1), NK = new Int32Array(count);
  const roots = [];
  for (let i = 0; i < count; ++i) {
    const p = P[i];
    if (p < 0) {
      if (roots.length) NS[roots[roots.length - 1]] = i;
      roots.push(i);
      continue;
    }
    if (LC[p] < 0) FC[p] = i; else NS[LC[p]] = i;
    LC[p] = i;
    ++NK[p];
  }
  const nameOf = (i) => nameText(NM[i]);

  // Everything a node line holds, parsed when needed.
  function details(i) {
    const f = L[i].split('\t');
    const d = {
      offText: f[N.offset], sizeText: f[N.size], b64: f[N.bytes],
      ann: f[N.annotation] ? unesc(f[N.annotation]) : '', crc: f[N.crc],
      omitted: 0, rowsOmitted: +f[N.rowsOmitted] || 0, status: 0, rows: [],
    };
    const p = patches.get(i);
    if (p) {
      if (p.ann !== undefined) d.ann = p.ann;
      if (p.crc) d.crc = p.crc;
      d.omitted = p.omitted || 0;
      d.status = p.status || 0;
    }
    let at = OFF[i];
    for (let k = NROW; k + ROWLEN <= f.length; k += ROWLEN) {
      const off = f[k + R.offset] === '' ? at : OFF[i] + Number(f[k + R.offset]);
      const len = Number(f[k + R.length]);
      d.rows.push({ name: text(f[k + R.name]), off, len, lenText: f[k + R.length], value: text(f[k + R.value]),
        meaning: text(f[k + R.meaning]) });
      at = off + len;
    }
    return d;
  }
  const bytesOf = (i) => { const f = L[i].split('\t', N.bytes + 1)[N.bytes]; return f ? atob(f) : ''; };

  // ---- the frame lines ---------------------------------------------------
  const fr = { stream: [], number: [], offset: [], size: [], key: [], time: [], node: [] };
  eachLine('text/x-vantorel-frames', (t, pos, nl) => {
    const f = t.slice(pos, nl).split('\t');
    fr.stream.push(+f[FR.stream]); fr.number.push(+f[FR.number]); fr.offset.push(+f[FR.offset]);
    fr.size.push(+f[FR.size]); fr.key.push(f[FR.keyframe] === '1');
    fr.time.push(f[FR.time] === '' ? NaN : +f[FR.time] / 1e6); fr.node.push(+f[FR.node]);
  });
  const byStream = new Map();
  for (let k = 0; k < fr.stream.length; ++k) {
    let list = byStream.get(fr.stream[k]);
    if (!list) byStream.set(fr.stream[k], list = []);
    list.push(k);
  }

  // ---- summary -----------------------------------------------------------
  $('title').textContent = meta.file;
  document.title = meta.file + ' \u2014 vantorel-inspect';
  const trackOfStream = new Map(sum.streams.map((s) => [s.stream, s]));
  const streamOfTrack = new Map(sum.streams.map((s) => [s.track, s]));
  {
    const facts = [
      ['file size', fmt(meta.size) + ' bytes'],
      ['elements', fmt(sum.elements)],
      ['unknown elements', fmt(sum.unknown)],
      ['past their parent\u2019s end or the file\u2019s', fmt(sum.pastEnd)],
      ['video frames', fmt(sum.frames)],
      ['timecode scale', fmt(sum.timecodeScale) + ' ns'],
    ];
    let h = '<div class="facts">' + facts.map(([k, v]) =>
      `<span id="fact-${k.split(' ')[0]}">${html(k)}: <b>${html(v)}</b></span>`).join('') + '</div>';
    if (sum.tracks.length) {
      h += '<table class="tracks"><tr><th>track</th><th>type</th><th>codec ID</th><th>language</th>'
        + '<th>codec delay</th><th>width \u00d7 height</th><th>sampling rate</th><th>channels</th>'
        + '<th>default duration</th><th>frames</th></tr>';
      const unit = (v, u) => (v ? html(v) + ' ' + u : '');
      for (const t of sum.tracks) {
        const s = streamOfTrack.get(t.number);
        h += `<tr><td>${t.number}</td><td>${t.type}${t.typeName ? ' (' + html(t.typeName) + ')' : ''}</td>`
          + `<td>${html(t.codec)}</td><td>${html(t.language)}</td><td>${unit(t.codecDelay, 'ns')}</td>`
          + `<td>${t.width || t.height ? html(t.width) + ' \u00d7 ' + html(t.height) : ''}</td>`
          + `<td>${unit(t.samplingRate, 'Hz')}</td><td>${html(t.channels)}</td>`
          + `<td>${unit(t.defaultDuration, 'ns')}</td>`
          + `<td>${s ? fmt(s.frames) + ' (stream ' + s.stream + ')' : ''}</td></tr>`;
      }
      h += '</table>';
    }
    $('summary').innerHTML = h;
    const notes = [];
    if (sum.embedded < sum.elements)
      notes.push(`This page holds the first ${fmt(sum.embedded)} of ${fmt(sum.elements)} elements with `
        + `their rows and bytes; the other ${fmt(sum.elements - sum.embedded)} are only counted `
        + `(--html-max-nodes ${fmt(meta.maxNodes)}).`);
    if (sum.rowsEmbedded < sum.rows)
      notes.push(`This page holds the first ${fmt(sum.rowsEmbedded)} of the ${fmt(sum.rows)} rows of its `
        + `elements; the other ${fmt(sum.rows - sum.rowsEmbedded)} are only counted `
        + `(--html-max-rows ${fmt(meta.maxRows)}).`);
    if (sum.headOnly)
      notes.push(`The page's budget of ${fmt(meta.hexBudget)} bytes was spent: ${fmt(sum.headOnly)} `
        + `elements after it show only their first ${meta.headBytes} bytes.`);
    if (sum.framesEmbedded < sum.frames)
      notes.push(`The charts show the first ${fmt(sum.framesEmbedded)} of ${fmt(sum.frames)} frames.`);
    if (sum.tracksOmitted)
      notes.push(`${fmt(sum.tracksOmitted)} more tracks are not listed.`);
    if (!meta.bytes)
      notes.push('The file could not be read for its bytes: the hex view is empty.');
    if (sum.firstPastEnd) {
      const e = sum.firstPastEnd;
      notes.push(`The file ends early: ${html(e.name)} at offset ${fmt(e.offset)} claims `
        + `${fmt(e.size)} bytes, ${fmt(e.remaining)} remain.`);
    }
    $('notes').innerHTML = notes.map((n) => `<div class="note">${n}</div>`).join('');
  }

  // ---- tooltip -----------------------------------------------------------
  const tip = $('tip');
  function showTip(ev, textContent) {
    tip.textContent = textContent;
    tip.hidden = false;
    const x = Math.min(ev.clientX + 12, window.innerWidth - tip.offsetWidth - 4);
    tip.style.left = Math.max(0, x) + 'px';
    tip.style.top = (ev.clientY + 14) + 'px';
  }
  const hideTip = () => { tip.hidden = true; };

  // ---- the tree ----------------------------------------------------------
  // A node's element holds its head, then once opened its rows, annotation,
  // children and a tail (the "more" button, the note on uncounted ones):
  // one element per level, since browsers slow down on very deep trees.
  // The tree's element stands for node -1, whose children are the
  // top-level nodes.
  const tree = $('tree');
  const els = new Map();     // node -> element, for rendered nodes
  const nextKid = new Map(); // node -> next child to render, for opened nodes
  const kidsLeft = new Map(); // node -> children not rendered yet
  const DEEP = 48;           // levels past which children are not indented
  let selected = -1, selectedRow = -1;

  function depthOf(i) {
    let d = 0;
    for (let j = P[i]; j >= 0; j = P[j]) ++d;
    return d;
  }
  function headHtml(i, deep) {
    const d = details(i);
    let b = '';
    if (d.crc) b += `<span class="badge ${d.crc === 'ok' ? 'ok' : 'bad'}">CRC-32 ${html(d.crc)}</span>`;
    if (FL[i] & meta.pastFileEnd) b += '<span class="badge past">past the end of the file</span>';
    if (FL[i] & meta.pastParentEnd) b += '<span class="badge past">past its parent\u2019s end</span>';
    if (nameOf(i) === 'Unknown') b += '<span class="badge unk">unknown</span>';
    if (d.status) b += `<span class="badge bad">status ${d.status}</span>`;
    return `<div class="node${deep ? ' deep' : ''}" data-i="${i}"><div class="head"><span class="tog">\u25b8</span>`
      + `<span class="nm">${html(nameOf(i))}</span> <span class="at">@${d.offText}</span> `
      + `<span class="len">len ${d.sizeText}</span>${b}</div></div>`;
  }

  // Renders up to n siblings from k before an element; returns where it
  // stopped and how many it rendered.
  function renderRange(anchor, owner, k, n) {
    const deep = owner >= 0 && depthOf(owner) + 1 > DEEP;
    let m = 0, h = '';
    for (; k >= 0 && m < n; ++m, k = NS[k]) h += headHtml(k, deep);
    anchor.insertAdjacentHTML('beforebegin', h);
    for (let x = m, e = anchor.previousElementSibling; x > 0; --x, e = e.previousElementSibling)
      els.set(+e.dataset.i, e);
    return [k, m];
  }
  // A run of children skipped to reach a later one; a click renders a page.
  function skipped(k, n) {
    const gap = document.createElement('div');
    gap.className = 'skipped';
    gap.dataset.k = k;
    gap.dataset.n = n;
    gap.textContent = `\u2026 ${fmt(n)} elements not shown: show ${fmt(Math.min(PAGE, n))}`;
    return gap;
  }
  function fillGap(gap, owner) {
    const [k, m] = renderRange(gap, owner, +gap.dataset.k, Math.min(PAGE, +gap.dataset.n));
    const n = +gap.dataset.n - m;
    if (n > 0) gap.replaceWith(skipped(k, n)); else gap.remove();
  }
  function renderKids(i) {
    const tail = els.get(i).lastElementChild;
    const [k, n] = renderRange(tail, i, nextKid.get(i), PAGE);
    nextKid.set(i, k);
    const left = kidsLeft.get(i) - n;
    kidsLeft.set(i, left);
    const more = tail.querySelector('button.more');
    more.hidden = left === 0;
    more.textContent = `Show ${fmt(Math.min(PAGE, left))} more of ${fmt(left)}`;
  }

  function open(i) {
    const el = els.get(i);
    if (!el) return null;
    if (!el.dataset.built) {
      const d = details(i);
      let h = '<table class="rows">';
      d.rows.forEach((r, k) => {
        h += `<tr class="row" data-r="${k}"><td class="rn">${html(r.name)}</td>`
          + `<td class="rv">${html(r.value)}</td><td class="rm">${html(r.meaning)}</td>`
          + `<td class="ro">@${r.off}</td><td class="rl">len ${r.lenText}</td></tr>`;
      });
      h += '</table>';
      if (d.rowsOmitted)
        h += `<div class="omit">${fmt(d.rowsOmitted)} more rows of this element are only counted `
          + '(past --html-max-rows)</div>';
      if (d.ann) h += `<div class="ann"># ${html(d.ann)}</div>`;
      h += '<div class="tail"><button class="more" hidden></button>';
      if (d.omitted)
        h += `<div class="omit">${fmt(d.omitted)} more elements below this one are only counted `
          + '(past --html-max-nodes)</div>';
      h += '</div>';
      el.insertAdjacentHTML('beforeend', h);
      el.dataset.built = '1';
      nextKid.set(i, FC[i]);
      kidsLeft.set(i, NK[i]);
      renderKids(i);
    }
    el.classList.add('open');
    el.firstElementChild.firstElementChild.textContent = '\u25be';
    return el;
  }
  function toggle(i) {
    const el = els.get(i);
    if (el && el.classList.contains('open')) {
      el.classList.remove('open');
      el.firstElementChild.firstElementChild.textContent = '\u25b8';
    } else {
      open(i);
    }
  }
  // Opens the way down to a node and shows it.
  function reveal(i) {
    const chain = [];
    for (let j = i; j >= 0; j = P[j]) chain.push(j);
    chain.reverse();
    chain.unshift(-1);
    for (let c = 0; c + 1 < chain.length; ++c) {
      const owner = chain[c], target = chain[c + 1];
      const el = owner < 0 ? tree : open(owner);
      if (els.has(target)) continue;
      // In a run skipped before: split it around the target.
      for (const gap of el.querySelectorAll(':scope > .skipped')) {
        let a = 0, j = +gap.dataset.k;
        const n = +gap.dataset.n;
        while (a < n && j !== target) { j = NS[j]; ++a; }
        if (a === n) continue;
        const rest = skipped(target, n - a);
        gap.after(rest);
        if (a > 0) gap.replaceWith(skipped(+gap.dataset.k, a)); else gap.remove();
        fillGap(rest, owner);
        break;
      }
      if (els.has(target)) continue;
      // Far ahead of what is rendered: skip to it.
      let a = 0;
      for (let j = nextKid.get(owner); j >= 0 && j !== target; j = NS[j]) ++a;
      if (a > PAGE) {
        el.lastElementChild.before(skipped(nextKid.get(owner), a));
        nextKid.set(owner, target);
        kidsLeft.set(owner, kidsLeft.get(owner) - a);
      }
      while (!els.has(target) && nextKid.get(owner) >= 0) renderKids(owner);
    }
    const el = els.get(i);
    if (el) el.firstElementChild.scrollIntoView({ block: 'center' });
    return el;
  }
  function select(i, row) {
    tree.querySelectorAll('.head.sel, tr.row.sel').forEach((e) => e.classList.remove('sel'));
    selected = i; selectedRow = row === undefined ? -1 : row;
    const el = els.get(i);
    if (el) {
      el.firstElementChild.classList.add('sel');
      if (selectedRow >= 0) {
        const tr = el.querySelector(`:scope > table.rows tr[data-r="${selectedRow}"]`);
        if (tr) tr.classList.add('sel');
      }
    }
    renderHex(i, selectedRow);
  }

  tree.innerHTML = '<div class="tail"><button class="more" hidden></button></div>';
  els.set(-1, tree);
  nextKid.set(-1, roots.length ? roots[0] : -1);
  kidsLeft.set(-1, roots.length);
  renderKids(-1);
  tree.addEventListener('click', (ev) => {
    const t = ev.target;
    const gap = t.closest('.skipped');
    if (gap) {
      const owner = gap.parentElement;
      fillGap(gap, owner === tree ? -1 : +owner.dataset.i);
      return;
    }
    if (t.closest('button.more')) {
      const owner = t.closest('.node');
      renderKids(owner ? +owner.dataset.i : -1);
      return;
    }
    const row = t.closest('tr.row');
    if (row) { select(+row.closest('.node').dataset.i, +row.dataset.r); return; }
    const head = t.closest('.head');
    if (!head) return;
    const i = +head.parentElement.dataset.i;
    if (t.classList.contains('tog')) toggle(i);
    else select(i);
  });
  tree.addEventListener('dblclick', (ev) => {
    const head = ev.target.closest('.head');
    if (head && !ev.target.classList.contains('tog')) toggle(+head.parentElement.dataset.i);
  });

  // ---- the hex view ------------------------------------------------------
  const hex = $('hex'), hexHead = $('hex-head');
  const limit = meta.hexLimit;
  // The bytes of a node as embedded: its own, then its children's, in file
  // order, up to the limit.
  function segments(i) {
    const segs = [];
    let total = 0, headOnly = false;
    (function collect(j) {
      if (total >= limit) return;
      const b = bytesOf(j);
      if (FL[j] & meta.headOnly) headOnly = true;
      if (b.length) {
        const take = b.length > limit - total ? b.slice(0, limit - total) : b;
        const last = segs[segs.length - 1];
        if (last && last.off + last.b.length === OFF[j]) last.b += take;
        else segs.push({ off: OFF[j], b: take });
        total += take.length;
      }
      for (let k = FC[j]; k >= 0 && total < limit; k = NS[k]) collect(k);
    })(i);
    return { segs, total, headOnly };
  }
  const pad = (s, n) => s.length >= n ? s : ' '.repeat(n - s.length) + s;
  const hx = (n) => (n < 16 ? '0' : '') + n.toString(16);

  function renderHex(i, row) {
    const d = details(i);
    const { segs, total, headOnly } = segments(i);
    const size = LEN[i], off = OFF[i];
    const inFile = Math.max(0, Math.min(size, meta.size - off));
    let h = '';
    const width = String(Math.floor(off + size)).length;
    let prevEnd = -1;
    const rowAt = [];
    d.rows.forEach((r, k) => rowAt.push([r.off, r.off + r.len, k]));
    const rowClass = (o) => {
      for (const [a, b, k] of rowAt) if (o >= a && o < b) return ' r' + (k & 1);
      return '';
    };
    for (const s of segs) {
      if (prevEnd >= 0 && s.off > prevEnd)
        h += `<span class="gap">\u2026 ${fmt(s.off - prevEnd)} bytes not embedded \u2026</span>`;
      const start = s.off - (s.off % 16), end = s.off + s.b.length;
      for (let lo = start; lo < end; lo += 16) {
        let hb = '', ab = '';
        for (let o = lo; o < lo + 16; ++o) {
          if (o < s.off || o >= end) { hb += '   '; ab += ' '; continue; }
          const v = s.b.charCodeAt(o - s.off);
          const cls = rowClass(o);
          hb += `<b data-o="${o}" class="${cls}">${hx(v)}</b> `;
          const ch = v >= 32 && v < 127 ? html(String.fromCharCode(v)) : '.';
          ab += `<i data-a="${o}" class="${cls}">${ch}</i>`;
        }
        h += `<span class="ln"><span class="ho">${pad(String(lo), width)}</span>  ${hb} ${ab}</span>`;
      }
      prevEnd = end;
    }
    hex.innerHTML = h;

    let head = `<b>${html(nameOf(i))}</b> @${d.offText}, ${d.sizeText} bytes: `;
    head += total ? `${fmt(total)} shown` : 'no bytes embedded';
    const cut = [];
    if (total < inFile) {
      if (headOnly) cut.push(`the page's byte budget was spent, so only the first ${meta.headBytes} bytes of each element are there`);
      if (total >= limit) cut.push(`the view holds at most ${fmt(limit)} bytes (--html-hex-limit)`);
      else if (!headOnly) cut.push(`each element embeds at most ${fmt(limit)} of its own bytes (--html-hex-limit)`);
      if (d.omitted) cut.push('some elements below are past --html-max-nodes');
    }
    if (size > inFile) {
      const out = BigInt(d.sizeText) - BigInt(inFile);
      cut.push(`the element runs past the end of the file: ${fmt(out)} of its bytes are not in it`);
    }
    if (cut.length) head += `<div class="cut">Cut: ${cut.join('; ')}.</div>`;
    if (row >= 0 && d.rows[row]) {
      const r = d.rows[row];
      head += `<div>Row <b>${html(r.name)}</b> @${r.off}, ${r.lenText} bytes</div>`;
      hexHead.innerHTML = head;
      let n = 0;
      for (const b of hex.querySelectorAll('b[data-o], i[data-a]')) {
        const o = +(b.dataset.o || b.dataset.a);
        if (o >= r.off && o < r.off + r.len) { b.classList.add('hl'); n += b.tagName === 'B'; }
      }
      if (n < r.len)
        hexHead.insertAdjacentHTML('beforeend', `<div class="cut">${fmt(n)} of the row's ${fmt(r.lenText)} bytes are shown.</div>`);
      const first = hex.querySelector('b.hl');
      if (first) first.scrollIntoView({ block: 'nearest' });
    } else {
      hexHead.innerHTML = head;
    }
  }

  // ---- search ------------------------------------------------------------
  const search = $('search'), results = $('results'), info = $('search-info');
  let timer = 0;
  function runSearch() {
    const q = search.value.trim();
    results.innerHTML = '';
    info.textContent = '';
    if (!q) return;
    const ql = q.toLowerCase();
    const tableHit = table.map((t) => t.toLowerCase().includes(ql));
    const extraHit = extra.map((t) => t.toLowerCase().includes(ql));
    const raw = new RegExp(reEscape(escLike(q)), 'i');
    let found = 0, h = '';
    for (let i = 0; i < count; ++i) {
      let what = null, row = -1;
      const id = NM[i];
      if (id >= 0 ? tableHit[id] : extraHit[-id - 1]) {
        what = '';
      } else if (raw.test(L[i])) {
        const rows = details(i).rows;
        row = rows.findIndex((x) => x.value.toLowerCase().includes(ql));
        if (row >= 0) what = `${rows[row].name} = ${rows[row].value}`;
      }
      if (what === null) continue;
      if (++found <= RESULTS)
        h += `<div class="res" data-i="${i}" data-r="${row}">${html(nameOf(i))} <em>@${OFF[i]}</em>`
          + (what ? ` <em>${html(what.length > 120 ? what.slice(0, 120) + '\u2026' : what)}</em>` : '') + '</div>';
    }
    results.innerHTML = h;
    info.textContent = (found > RESULTS ? `${fmt(found)} found, the first ${RESULTS} listed`
      : `${fmt(found)} found`) + (count < sum.elements ? ` in the ${fmt(count)} elements of this page` : '');
  }
  search.addEventListener('input', () => { clearTimeout(timer); timer = setTimeout(runSearch, 250); });
  search.addEventListener('keydown', (ev) => { if (ev.key === 'Enter') { clearTimeout(timer); runSearch(); } });
  results.addEventListener('click', (ev) => {
    const r = ev.target.closest('.res');
    if (!r) return;
    const i = +r.dataset.i, row = +r.dataset.r;
    reveal(i);
    if (row >= 0) open(i);
    select(i, row);
  });

  // ---- charts ------------------------------------------------------------
  const niceStep = (x) => {
    const e = Math.pow(10, Math.floor(Math.log10(x)));
    const m = x / e;
    return (m <= 1 ? 1 : m <= 2 ? 2 : m <= 5 ? 5 : 10) * e;
  };
  const secs = (t) => (Math.abs(t) >= 100 ? t.toFixed(0) : Math.abs(t) >= 1 ? t.toFixed(2) : t.toFixed(3)) + ' s';
  function frameText(k) {
    let s = `frame ${fmt(fr.number[k])} \u00b7 offset ${fmt(fr.offset[k])} \u00b7 ${fmt(fr.size[k])} bytes`;
    if (fr.key[k]) s += ' \u00b7 keyframe';
    if (!isNaN(fr.time[k])) s += ' \u00b7 ' + secs(fr.time[k]);
    return s;
  }
  let stream = -1, frames = [], winStart = 0;

  function drawSizes() {
    const box = $('chart-sizes');
    const W = Math.min(frames.length, WINDOW);
    const w = Math.max(box.clientWidth, 300), hgt = 170, left = 56, right = 8, top = 10, bottom = 24;
    let max = 1;
    for (let n = 0; n < W; ++n) max = Math.max(max, fr.size[frames[winStart + n]]);
    const bw = (w - left - right) / Math.max(W, 1);
    const ph = hgt - top - bottom;
    let h = `<svg width="${w}" height="${hgt}" viewBox="0 0 ${w} ${hgt}">`;
    h += `<line class="axis" x1="${left}" y1="${top + ph}" x2="${w - right}" y2="${top + ph}"/>`;
    h += `<line class="axis" x1="${left}" y1="${top}" x2="${left}" y2="${top + ph}"/>`;
    h += `<text x="${left - 4}" y="${top + 9}" text-anchor="end">${fmt(max)}</text>`;
    h += `<text x="${left - 4}" y="${top + ph}" text-anchor="end">0</text>`;
    for (let n = 0; n < W; ++n) {
      const k = frames[winStart + n];
      const bh = Math.max(1, fr.size[k] / max * ph);
      const x = left + n * bw;
      h += `<rect class="bar${fr.key[k] ? ' key' : ''}" data-f="${k}" x="${x.toFixed(2)}" y="${(top + ph - bh).toFixed(2)}" `
        + `width="${Math.max(bw * 0.85, 0.6).toFixed(2)}" height="${bh.toFixed(2)}"/>`;
      if (fr.key[k]) h += `<rect class="km" x="${x.toFixed(2)}" y="${top + ph + 2}" width="${Math.max(bw * 0.85, 1).toFixed(2)}" height="4"/>`;
    }
    h += `<text x="${left}" y="${hgt - 4}">frame ${fmt(fr.number[frames[winStart]])}</text>`;
    h += `<text x="${w - right}" y="${hgt - 4}" text-anchor="end">frame ${fmt(fr.number[frames[winStart + W - 1]])}</text>`;
    h += '</svg>';
    box.innerHTML = h;
    $('sizes-title').innerHTML = `Frame sizes in file order (bytes), frames ${fmt(winStart + 1)} to `
      + `${fmt(winStart + W)} of ${fmt(frames.length)}`
      + '<span class="legend"><i style="background:var(--bar)"></i>frame<i style="background:var(--key)"></i>keyframe</span>';
    drawOverview();
  }

  // The whole stream as the largest frame of each column, with the window.
  function drawOverview() {
    const box = $('chart-overview');
    if (frames.length <= WINDOW) { box.innerHTML = ''; return; }
    const w = Math.max(box.clientWidth, 300), hgt = 50, left = 56, right = 8;
    const cols = Math.floor(w - left - right);
    const maxOf = new Float64Array(cols);
    let max = 1;
    frames.forEach((k, n) => {
      const c = Math.min(cols - 1, Math.floor(n / frames.length * cols));
      maxOf[c] = Math.max(maxOf[c], fr.size[k]);
      max = Math.max(max, fr.size[k]);
    });
    let pts = '';
    for (let c = 0; c < cols; ++c) pts += `${left + c},${(hgt - 2 - maxOf[c] / max * (hgt - 6)).toFixed(1)} `;
    const x0 = left + winStart / frames.length * cols;
    const ww = Math.max(2, Math.min(WINDOW, frames.length) / frames.length * cols);
    box.innerHTML = `<svg width="${w}" height="${hgt}" viewBox="0 0 ${w} ${hgt}">`
      + `<text x="${left - 4}" y="${hgt / 2 + 4}" text-anchor="end">all</text>`
      + `<polyline class="over" points="${pts}"/>`
      + `<rect class="window" x="${x0.toFixed(1)}" y="1" width="${ww.toFixed(1)}" height="${hgt - 2}"/></svg>`;
    box.onclick = (ev) => {
      const x = ev.clientX - box.getBoundingClientRect().left - left;
      const n = Math.round(x / cols * frames.length - WINDOW / 2);
      setWindow(n);
    };
  }
  function setWindow(n) {
    winStart = Math.max(0, Math.min(frames.length - Math.min(frames.length, WINDOW), n | 0));
    const slider = $('window');
    if (slider) slider.value = winStart;
    drawSizes();
  }

  function drawRate() {
    const box = $('chart-rate');
    const timed = frames.filter((k) => !isNaN(fr.time[k]));
    if (timed.length < 2) {
      box.innerHTML = '';
      $('rate-title').textContent = 'Bitrate over time: the frames carry no timecodes to compute it from.';
      return;
    }
    let t0 = Infinity, t1 = -Infinity;
    for (const k of timed) { t0 = Math.min(t0, fr.time[k]); t1 = Math.max(t1, fr.time[k]); }
    const span = t1 - t0;
    if (!(span > 0)) {
      box.innerHTML = '';
      $('rate-title').textContent = 'Bitrate over time: every frame has the same time.';
      return;
    }
    const step = niceStep(Math.max(span / 100, span / (timed.length - 1) * 5));
    const bins = Math.floor(span / step) + 1;
    const bytes = new Float64Array(bins), counts = new Int32Array(bins);
    let all = 0;
    for (const k of timed) {
      const b = Math.min(bins - 1, Math.floor((fr.time[k] - t0) / step));
      bytes[b] += fr.size[k];
      ++counts[b];
      all += fr.size[k];
    }
    const rate = Array.from(bytes, (b) => b * 8 / step / 1000);
    const max = Math.max(...rate, 1e-9);
    const w = Math.max(box.clientWidth, 300), hgt = 150, left = 56, right = 8, top = 10, bottom = 24;
    const pw = w - left - right, ph = hgt - top - bottom;
    const bx = pw / bins;
    let pts = `${left},${top + ph} `;
    rate.forEach((r, b) => {
      const y = (top + ph - r / max * ph).toFixed(1);
      pts += `${(left + b * bx).toFixed(1)},${y} ${(left + (b + 1) * bx).toFixed(1)},${y} `;
    });
    pts += `${left + pw},${top + ph}`;
    let h = `<svg width="${w}" height="${hgt}" viewBox="0 0 ${w} ${hgt}">`
      + `<polyline class="rate" points="${pts}"/>`
      + `<line class="axis" x1="${left}" y1="${top + ph}" x2="${w - right}" y2="${top + ph}"/>`
      + `<line class="axis" x1="${left}" y1="${top}" x2="${left}" y2="${top + ph}"/>`
      + `<text x="${left - 4}" y="${top + 9}" text-anchor="end">${fmt(max.toFixed(0))}</text>`
      + `<text x="${left - 4}" y="${top + ph}" text-anchor="end">0</text>`
      + `<text x="${left}" y="${hgt - 4}">${secs(t0)}</text>`
      + `<text x="${w - right}" y="${hgt - 4}" text-anchor="end">${secs(t0 + bins * step)}</text>`;
    rate.forEach((r, b) => {
      h += `<rect class="bin" data-b="${b}" data-t="${(t0 + b * step)}" data-r="${r.toFixed(1)}" data-n="${counts[b]}" `
        + `x="${(left + b * bx).toFixed(1)}" y="${top}" width="${bx.toFixed(2)}" height="${ph}"/>`;
    });
    box.innerHTML = h + '</svg>';
    box.dataset.step = step;
    $('rate-title').textContent = `Bitrate over time (kbit/s in steps of ${secs(step)}), `
      + `${fmt((all * 8 / span / 1000).toFixed(1))} kbit/s on average`;
  }

  function setStream(s) {
    stream = s;
    frames = byStream.get(s) || [];
    winStart = 0;
    const slider = $('window');
    if (slider) {
      slider.max = Math.max(0, frames.length - Math.min(frames.length, WINDOW));
      slider.value = 0;
      slider.parentElement.hidden = frames.length <= WINDOW;
    }
    drawSizes();
    drawRate();
  }

  if (byStream.size) {
    $('charts').hidden = false;
    const streams = [...byStream.keys()].sort((a, b) => a - b);
    let h = '<label>Stream <select id="stream">';
    for (const s of streams) {
      const st = trackOfStream.get(s);
      const t = st && sum.tracks.find((x) => x.number === st.track);
      let label = `stream ${s}`;
      if (st) label += `, track ${st.track}`;
      if (t && t.codec) label += `, ${t.codec}`;
      if (t && (t.width || t.height)) label += `, ${t.width}\u00d7${t.height}`;
      label += `: ${fmt(byStream.get(s).length)} frames`;
      h += `<option value="${s}">${html(label)}</option>`;
    }
    h += '</select></label><label hidden>Frames from <input id="window" type="range" min="0" value="0" step="1"></label>';
    $('chart-controls').innerHTML = h;
    $('stream').addEventListener('change', (ev) => setStream(+ev.target.value));
    $('window').addEventListener('input', (ev) => setWindow(+ev.target.value));
    setStream(streams[0]);

    const sizes = $('chart-sizes');
    sizes.addEventListener('mousemove', (ev) => {
      const b = ev.target.closest('rect.bar');
      if (b) showTip(ev, frameText(+b.dataset.f)); else hideTip();
    });
    sizes.addEventListener('mouseleave', hideTip);
    sizes.addEventListener('click', (ev) => {
      const b = ev.target.closest('rect.bar');
      const node = b ? fr.node[+b.dataset.f] : -1;
      if (node >= 0) { reveal(node); select(node); }
    });
    const rate = $('chart-rate');
    rate.addEventListener('mousemove', (ev) => {
      const b = ev.target.closest('rect.bin');
      if (!b) { hideTip(); return; }
      const t = +b.dataset.t;
      showTip(ev, `${secs(t)} to ${secs(t + +rate.dataset.step)}: ${fmt(b.dataset.r)} kbit/s, ${fmt(b.dataset.n)} frames`);
    });
    rate.addEventListener('mouseleave', hideTip);
    let resizeTimer = 0;
    window.addEventListener('resize', () => {
      clearTimeout(resizeTimer);
      resizeTimer = setTimeout(() => { drawSizes(); drawRate(); }, 150);
    });
  }

  // What tests and scripts read.
  window.vantorelReport = {
    meta, summary: sum, count, frames: fr, byStream, nameOf, details, bytesOf, reveal, select,
    offset: (i) => OFF[i], parent: (i) => P[i], children: (i) => NK[i],
  };
  document.body.dataset.ready = '1';
})();
