// The live page: takes the program's event stream (/events) and keeps the tables up to
// date without reloading. Every value is put in as text, never as markup.
'use strict';
(function () {
  const MAX_PASSINGS = 50;
  const SILENT_MS = 25000; // the program pings every 10 s
  // One tab per mid point (the program sends a ranking for each of them).
  const MID_POINTS = document.querySelectorAll('button[data-mid]').length;
  const state = { passings: [], ranks: emptyRanks(), online: false, streaming: false };
  let mid = midFromHash();
  let source = null;
  let lastHeard = 0;
  let retry = 0;
  const RETRY_MS = 10000; // the program's Retry-After

  function $(id) { return document.getElementById(id); }

  function emptyRanks() {
    const ranks = {};
    for (let n = 1; n <= MID_POINTS; ++n) ranks[n] = [];
    return ranks;
  }

  function midFromHash() {
    const m = /^#mid=([1-9])$/.exec(location.hash);
    return m && Number(m[1]) <= MID_POINTS ? Number(m[1]) : 1;
  }

  function cell(tr, text, cls) {
    const td = document.createElement('td');
    td.textContent = text === null || text === undefined ? '' : String(text);
    td.className = cls;
    tr.appendChild(td);
  }

  // Fills the table `id` with one row per item: the row's class and its cells, each a
  // [text, class] pair; the table's "-empty" note shows when there are none.
  function fillTable(id, items, rowClass, cells) {
    const rows = items.map((item, i) => {
      const tr = document.createElement('tr');
      const cls = rowClass(item, i);
      if (cls) tr.className = cls;
      for (const [text, c] of cells(item)) cell(tr, text, c);
      return tr;
    });
    $(id).tBodies[0].replaceChildren(...rows);
    $(id + '-empty').hidden = rows.length > 0;
  }

  function renderPassings(fresh) {
    fillTable('passings', state.passings, (p, i) => (i < fresh ? 'fresh' : ''),
      p => [['中間' + p.mid, 'mid'], [p.bib, 'bib'], [p.name, 'name'], [p.time, 'time']]);
  }

  function renderRanking() {
    fillTable('ranking', state.ranks[mid] || [], r => (r.nation === 'JPN' ? 'jpn' : ''),
      r => [[r.rank, 'rank'], [r.bib, 'bib'], [r.name, 'name'], [r.nation, 'nation'], [r.time, 'time'], [r.diff, 'diff']]);
    for (const b of document.querySelectorAll('#tabs button'))
      b.setAttribute('aria-selected', String(Number(b.dataset.mid) === mid));
  }

  function renderStatus() {
    const ok = state.online && state.streaming;
    const badge = $('status');
    badge.textContent = ok ? '接続中' : '接続待ち';
    badge.className = ok ? 'online' : 'waiting';
  }

  function apply(msg) {
    if ('online' in msg) state.online = msg.online;
    if (msg.updated) $('updated').textContent = msg.updated;
    if (msg.event) {
      // The name column shows where the race database keeps the competitors' names.
      document.body.classList.toggle('no-names', !msg.event.names);
      // No event known yet (never reached the server) keeps the page's own title.
      const name = msg.event.name || (msg.event.code ? '大会未指定' : '中間タイム速報');
      $('event').textContent = name;
      document.title = name + ' 中間タイム速報';
    }
    let fresh = 0;
    if (msg.passings) {
      if (msg.passings.all) {
        state.passings = msg.passings.all;
      } else if (msg.passings.add) {
        fresh = msg.passings.add.length;
        state.passings = msg.passings.add.concat(state.passings).slice(0, MAX_PASSINGS);
      }
    }
    if (msg.ranks)
      for (const n of Object.keys(msg.ranks)) state.ranks[n] = msg.ranks[n];
    if (msg.passings) renderPassings(fresh);
    if (msg.ranks && (msg.ranks[mid] || msg.ranks[String(mid)])) renderRanking();
    renderStatus();
  }

  function heard() {
    lastHeard = Date.now();
    if (!state.streaming) { state.streaming = true; renderStatus(); }
  }

  function listen(type, handler) {
    source.addEventListener(type, e => {
      heard();
      try { handler(JSON.parse(e.data)); } catch (err) { console.error(err); }
    });
  }

  function connect() {
    if (source) source.close();
    source = new EventSource('events');
    lastHeard = Date.now();
    listen('state', applyState);
    listen('update', apply);
    listen('ping', () => {});
    source.onerror = () => {
      state.streaming = false;
      renderStatus();
      // A lost connection is retried by the browser itself; an answer other than the
      // stream (503 when the program is full) closes it for good: try again a little
      // later, spread out so that a crowd turned away does not come back at once.
      if (source.readyState === EventSource.CLOSED) {
        clearTimeout(retry);
        retry = setTimeout(connect, RETRY_MS + Math.random() * RETRY_MS);
      }
    };
  }

  function applyState(msg) {
    state.ranks = emptyRanks();
    apply(msg);
    renderRanking();
  }

  // The state the page was delivered with: shown at once, before the stream answers.
  function applyFirstState() {
    const element = $('first-state');
    try {
      const msg = JSON.parse(element ? element.textContent : '{}');
      if (msg.passings) applyState(msg);
    } catch (err) { console.error(err); }
  }

  function choose(point) {
    mid = point;
    history.replaceState(null, '', '#mid=' + point);
    renderRanking();
  }

  for (const b of document.querySelectorAll('#tabs button'))
    b.addEventListener('click', () => choose(Number(b.dataset.mid)));
  window.addEventListener('hashchange', () => { mid = midFromHash(); renderRanking(); });
  // A stream that went quiet (a network that dropped without closing) is opened anew.
  setInterval(() => {
    if (Date.now() - lastHeard > SILENT_MS) { state.streaming = false; renderStatus(); connect(); }
  }, 5000);
  renderRanking();
  applyFirstState();
  connect();
})();
