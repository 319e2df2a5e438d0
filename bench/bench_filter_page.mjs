// bench_filter_page.mjs - the filter page in headless Chromium on large documents.
//
//   node bench/bench_filter_page.mjs [--sizes 10000,100000,1000000] [--runs 5]
//
// A small HTTP server serves webapps/ and the vendor scripts under the kit's URL layout
// (/<token>/webapps/...) and adds a runner script to the page where the kit adds its
// bridge. The runner stands in for the kit's window.qor (post() sends the message to
// the server, as the bridge does), loads a synthetic filter document in the
// generator's layout (project, site, buildings of 10 storeys of 1,000 elements),
// measures, and posts the figures back. Each run is a fresh Chromium with a fresh
// profile, driven by nothing but its command line, so that no automation layer copies
// the megabytes the page sends.
//
//   first rows   Filter.init to the first rows ('filter-init' -> 'filter-first-rows'),
//                and to the next frame after them (painted)
//   expand       a click on a storey's chevron until its 1,000 children are painted
//   subtree      Import set to false on a building (10,011 entities) until painted
//   answer       Filter.sendNewJson('onOkClick') until the server has the whole text
//   heap         the page's used JS heap after loading, after a garbage collection
//
// Prints medians and min-max spreads, and the targets at 100,000 entities.
import { spawn } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromiumArgs, chromiumPath } from '../tests/browser/support/browser.mjs';

const repo = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');

function option(name, fallback) {
  const at = process.argv.indexOf(`--${name}`);
  return at > 0 && at + 1 < process.argv.length ? process.argv[at + 1] : fallback;
}
const SIZES = option('sizes', '10000,100000,1000000').split(',').map(Number);
const RUNS = Number(option('runs', '5'));
const RUN_TIMEOUT_MS = 600000;
// The kit's default cap on one message from the page (QOR_DIALOG_MESSAGE_LIMIT).
const MESSAGE_LIMIT = 256 * 2 ** 20;
const TARGETS = { size: 100000, firstRows: 1500, expand: 300, subtree: 500, answer: 2000 }; // ms

// ------------------------------------------------------------------ the document

const MODES = ['NoImport', 'ForLifecycle', 'ForCoordination', 'ForDesign'];
const TYPES = ['IfcWall', 'IfcDoor', 'IfcWindow', 'IfcSlab', 'IfcColumn', 'IfcBeam', 'IfcSpace', 'IfcFurniture'];
const STOREYS_PER_BUILDING = 10;
const ELEMENTS_PER_STOREY = 1000;

function columns() {
  const nls = (name) => ({ NLS_text: `DXIfcProvider.Column_${name}` });
  const editable = { editableFlag: true, editionPolicy: 'EditionInPlace' };
  return [
    { dataIndex: 'tree', editableFlag: false, data: nls('Entity') },
    { dataIndex: 'Import', ...editable, typeRepresentation: 'boolean', data: nls('Import') },
    { dataIndex: 'ImportMode', ...editable, data: { type: 'enum', possibleValues: MODES, NLS_text: 'DXIfcProvider.Column_ImportMode' } },
    { dataIndex: 'Type', editableFlag: false, typeRepresentation: 'string', data: nls('Type') },
    { dataIndex: 'Name', ...editable, typeRepresentation: 'string', data: nls('Name') },
    { dataIndex: 'Elevation', ...editable, typeRepresentation: 'number', data: nls('Elevation') },
    { dataIndex: 'Description', editableFlag: false, typeRepresentation: 'string', data: nls('Description') },
    { dataIndex: 'Imported', editableFlag: false, data: { type: 'runtime', NLS_text: 'DXIfcProvider.Column_Imported' } },
  ];
}

// Writes a compact document of about `count` entities, members in the generator's
// order (label, data, grid, children); returns its size.
function writeDocument(file, count) {
  const perBuilding = 1 + STOREYS_PER_BUILDING * (1 + ELEMENTS_PER_STOREY);
  const buildings = Math.max(1, Math.round((count - 2) / perBuilding));
  const out = fs.openSync(file, 'w');
  let buffer = '';
  const write = (text) => {
    buffer += text;
    if (buffer.length > 1 << 20) {
      fs.writeSync(out, buffer);
      buffer = '';
    }
  };
  let serial = 0;
  const guid = () => (serial++).toString(36).padStart(22, '0');
  const open = (label, type, extra = {}) => {
    const grid = { Import: 'true', ...(extra.mode ? { ImportMode: extra.mode } : {}), Type: type, Name: label };
    if (extra.elevation !== undefined) grid.Elevation = extra.elevation;
    if (extra.description) grid.Description = extra.description;
    write(`{"label":${JSON.stringify(label)},"data":{"uid":["${guid()}"],"instance":"#${serial * 7}"},"grid":${JSON.stringify(grid)}`);
  };
  write(`{"data":{"filterID":"IFC4:Synthetic${count}.ifc","formatUsage":"IFC"},"columns":${JSON.stringify(columns())},"roots":[`);
  open('Synthetic project', 'IfcProject');
  write(',"children":[');
  open('Site', 'IfcSite');
  write(',"children":[');
  for (let b = 0; b < buildings; b++) {
    if (b) write(',');
    open(`Building ${b + 1}`, 'IfcBuilding');
    write(',"children":[');
    for (let s = 0; s < STOREYS_PER_BUILDING; s++) {
      if (s) write(',');
      open(`Building ${b + 1} Level ${s}`, 'IfcBuildingStorey', { elevation: String(s * 3000) });
      write(',"children":[');
      for (let e = 0; e < ELEMENTS_PER_STOREY; e++) {
        if (e) write(',');
        const type = TYPES[e % TYPES.length];
        open(`${type.slice(3)} ${b + 1}.${s}.${e}`, type, { mode: 'ForDesign', description: e % 3 ? '' : 'External' });
        write('}');
      }
      write(']}');
    }
    write(']}');
  }
  write(']}]}]}');
  fs.writeSync(out, buffer);
  fs.closeSync(out);
  return { entities: 2 + buildings * perBuilding, bytes: fs.statSync(file).size };
}

// ------------------------------------------------------------------ the page's runner

// Runs in the page, from a script the server adds first to <head>. Its source is sent
// as it is written here; it reports { ... } or { error } to /__bench/result.
function runner() {
  const script = document.currentScript;
  const base = new URL(script.src).pathname.replace(/\/__bench\/runner\.js$/, '');
  const limit = Number(script.dataset.limit);
  const report = (result) => fetch(`${base}/__bench/result`, { method: 'POST', body: JSON.stringify(result) });
  let posted = 0;
  let refused = 0;
  let ready;
  const loaded = new Promise((resolve) => { ready = resolve; });
  window.qor = Object.freeze({
    language: 'en',
    post(strings) {
      if (strings.length === 1 && strings[0] === 'onLoad') ready();
      const body = JSON.stringify(strings);
      if (body.length > limit) {
        refused = body.length;
        return Promise.reject(new Error('over the message limit'));
      }
      return fetch(`${base}/__qor/message`, {
        method: 'POST', cache: 'no-store', headers: { 'Content-Type': 'application/json' }, body,
      }).then((answer) => {
        if (!answer.ok) throw new Error(`post refused (${answer.status})`);
        posted += 1;
      });
    },
    catalog: (name) => fetch(`${base}/__qor/catalog/${encodeURIComponent(name)}`).then((a) => (a.ok ? a.json() : {})),
  });
  window.addEventListener('error', (e) => report({ error: String(e.message) }));

  // The time once the next frame is painted.
  const painted = () => new Promise((resolve) => requestAnimationFrame(() => {
    const channel = new MessageChannel();
    channel.port1.onmessage = () => resolve(performance.now());
    channel.port2.postMessage(0);
  }));
  const until = async (test) => {
    while (!test()) await new Promise((resolve) => setTimeout(resolve, 1));
    return performance.now();
  };
  const received = () => fetch(`${base}/__bench/received`).then((a) => a.json());
  const loadFilter = () => new Promise((resolve) => window.require(['ZQ/DXInputFilterDisplay/Filter'], resolve));

  async function measure() {
    await loaded;
    const Filter = await loadFilter();
    // The text is in the page before the clock starts, as the dialog's script has it.
    let text = await (await fetch(`${base}/__bench/document.json`)).text();
    const shown = new Promise((resolve) => {
      new PerformanceObserver((list, observer) => {
        if (list.getEntriesByName('filter-first-rows').length) {
          observer.disconnect();
          resolve();
        }
      }).observe({ type: 'mark', buffered: true });
    });
    Filter.init(text);
    text = null;
    await shown;
    const paintedAt = await painted();
    const init = performance.getEntriesByName('filter-init').at(-1).startTime;
    const firstRows = performance.getEntriesByName('filter-first-rows').at(-1).startTime - init;
    const rows = document.querySelectorAll('.tabulator-row').length;
    if (!rows) throw new Error('no rows shown');

    window.gc();
    const heapMB = performance.memory.usedJSHeapSize / 2 ** 20;

    // A user's click on the chevron of the first storey.
    const storey = Array.from(document.querySelectorAll('.tabulator-row'))
      .find((row) => row.querySelector('.cell-label')?.textContent === 'Building 1 Level 0');
    let t0 = performance.now();
    storey.querySelector('.tabulator-data-tree-control').click();
    const expand = (await painted()) - t0;
    const children = Array.from(document.querySelectorAll('.cell-label')).filter((n) => n.textContent.startsWith('Wall 1.0.')).length;
    if (!children) throw new Error('the storey shows no children');

    // What the subtree menu entry does, on the first building.
    const model = Filter.model();
    const building = model.children(model.children(model.roots[0])[0])[0];
    t0 = performance.now();
    if (!Filter.perform({ t: 'subtree', n: model.pathOf(building), c: 'Import', v: 'false' })) throw new Error('no subtree edit');
    const subtree = (await painted()) - t0;
    if (!document.querySelector('.tick-off')) throw new Error('the subtree edit is not shown');

    const sent = posted;
    t0 = performance.now();
    const answerText = Filter.sendNewJson('onOkClick');
    const serialized = performance.now() - t0;
    const answer = (await until(() => posted > sent || refused > 0)) - t0;
    const answerBytes = await received();
    return {
      firstRows, painted: paintedAt - init, rows, heapMB, expand, subtree, subtreeEntities: model.end[building] - building,
      serialized, answer: refused ? null : answer, refused, answerLength: answerText.length, answerBytes,
    };
  }

  document.addEventListener('DOMContentLoaded', () => {
    measure().then(report, (e) => report({ error: String(e && e.stack ? e.stack : e) }));
  });
}

// ------------------------------------------------------------------ the server

const MEDIA = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8', '.svg': 'image/svg+xml', '.json': 'application/json' };

function serve(token, documentFile) {
  const files = new Map();
  const add = (key, file) => files.set(`/${token}/${key}`, file);
  const walk = (dir, prefix) => {
    for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
      if (entry.name.startsWith('.')) continue;
      const full = path.join(dir, entry.name);
      if (entry.isDirectory()) walk(full, `${prefix}${entry.name}/`);
      else add(`${prefix}${entry.name}`, full);
    }
  };
  walk(path.join(repo, 'webapps'), 'webapps/');
  const modules = path.join(repo, 'node_modules');
  add('webapps/vendor/require.js', path.join(modules, 'requirejs/require.js'));
  add('webapps/vendor/tabulator.min.js', path.join(modules, 'tabulator-tables/dist/js/tabulator.min.js'));
  add('webapps/vendor/tabulator.min.css', path.join(modules, 'tabulator-tables/dist/css/tabulator.min.css'));
  add('__bench/document.json', documentFile);
  const runnerSource = `(${runner.toString()})();\n`;
  const runnerTag = `<script src="/${token}/__bench/runner.js" data-limit="${MESSAGE_LIMIT}"></script>`;

  const state = { received: [], results: [] };
  let waiting = null;
  state.nextResult = (timeoutMs) => new Promise((resolve, reject) => {
    const timer = setTimeout(() => { waiting = null; reject(new Error('timeout')); }, timeoutMs);
    waiting = (result) => { clearTimeout(timer); waiting = null; resolve(result); };
  });

  const body = (req) => new Promise((resolve) => {
    const chunks = [];
    let bytes = 0;
    req.on('data', (chunk) => { bytes += chunk.length; if (chunks.length < 64) chunks.push(chunk); });
    req.on('end', () => resolve({ bytes, text: () => Buffer.concat(chunks).toString('utf8') }));
  });

  const server = http.createServer(async (req, res) => {
    const url = new URL(req.url, 'http://127.0.0.1');
    // The kit's headers, so that the page runs under the same rules.
    res.setHeader('Content-Security-Policy',
      "default-src 'self'; script-src 'self'; object-src 'none'; base-uri 'none'; frame-ancestors 'self'");
    res.setHeader('Cache-Control', 'no-store');
    const route = url.pathname.slice(token.length + 2);
    if (req.method === 'POST' && route === '__qor/message') {
      state.received.push((await body(req)).bytes);
      res.writeHead(204).end();
      return;
    }
    if (req.method === 'POST' && route === '__bench/result') {
      const result = JSON.parse((await body(req)).text());
      res.writeHead(204).end();
      if (waiting) waiting(result);
      return;
    }
    if (route === '__bench/received') {
      res.writeHead(200, { 'Content-Type': 'application/json' }).end(JSON.stringify(state.received.at(-1) ?? 0));
      return;
    }
    if (route === '__bench/runner.js') {
      res.writeHead(200, { 'Content-Type': MEDIA['.js'] }).end(runnerSource);
      return;
    }
    const catalog = route.match(/^__qor\/catalog\/([A-Za-z0-9_-]+)$/);
    if (catalog) {
      const file = path.join(repo, 'catalogs/en', `${catalog[1]}.json`);
      res.writeHead(200, { 'Content-Type': 'application/json' }).end(fs.existsSync(file) ? fs.readFileSync(file) : '{}');
      return;
    }
    const file = files.get(url.pathname);
    if (!file) {
      res.writeHead(404).end();
      return;
    }
    res.writeHead(200, { 'Content-Type': MEDIA[path.extname(file)] || 'application/octet-stream' });
    if (file.endsWith('.html')) res.end(fs.readFileSync(file, 'utf8').replace(/<head>/i, `<head>${runnerTag}`));
    else fs.createReadStream(file).pipe(res);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve({ server, state })));
}

// ------------------------------------------------------------------ one run

async function oneRun(address, state, work) {
  const profile = fs.mkdtempSync(path.join(work, 'profile-'));
  const browser = spawn(chromiumPath, [...chromiumArgs, `--user-data-dir=${profile}`, '--window-size=1280,800',
    '--js-flags=--expose-gc', '--enable-precise-memory-info', address], { stdio: 'ignore', detached: true });
  const exited = new Promise((resolve) => browser.on('exit', () => resolve({ exited: true })));
  try {
    const result = await Promise.race([state.nextResult(RUN_TIMEOUT_MS), exited]);
    return result;
  } catch {
    return { timedOut: true };
  } finally {
    // The browser's helpers are in its process group, which is its own.
    try {
      process.kill(-browser.pid, 'SIGTERM');
    } catch {
      // gone already
    }
    await exited;
    fs.rmSync(profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 200 });
  }
}

// ------------------------------------------------------------------ report

const median = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  return s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};
const fmt = (xs, unit = 'ms') => {
  const ok = xs.filter(Number.isFinite);
  if (!ok.length) return '   n/a';
  return `${median(ok).toFixed(0).padStart(6)} ${unit} (${Math.min(...ok).toFixed(0)}-${Math.max(...ok).toFixed(0)})`;
};
const mb = (bytes) => `${(bytes / 2 ** 20).toFixed(1)} MB`;

async function main() {
  if (!fs.existsSync(chromiumPath)) {
    console.error(`bench_filter_page: no Chromium at ${chromiumPath} (set DX_CHROMIUM)`);
    process.exit(1);
  }
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'dx-bench-page-'));
  const verdicts = [];
  try {
    for (const size of SIZES) {
      const file = path.join(work, `document-${size}.json`);
      const layout = writeDocument(file, size);
      const token = crypto.randomBytes(16).toString('hex');
      const { server, state } = await serve(token, file);
      const address = `http://127.0.0.1:${server.address().port}/${token}/webapps/DXInputFilterDisplay/FilterJS.html`;
      console.log(`\n${layout.entities.toLocaleString('en')} entities, ${mb(layout.bytes)} of JSON, ${RUNS} runs (median, min-max)`);
      const runs = [];
      try {
        for (let r = 0; r < RUNS; r++) {
          const result = await oneRun(address, state, work);
          if (result.timedOut || result.exited || result.error) {
            const why = result.error ? `the page failed: ${result.error.split('\n')[0]}`
              : result.exited ? 'the browser ended' : `no result within ${RUN_TIMEOUT_MS / 1000} s`;
            console.log(`  run ${r + 1}: ${why}; a page holding ${layout.entities.toLocaleString('en')} entities ` +
              'is beyond what this browser manages here');
            break;
          }
          runs.push(result);
        }
      } finally {
        server.close();
        fs.rmSync(file, { force: true });
      }
      if (!runs.length) continue;
      const col = (key) => runs.map((r) => r[key] ?? NaN);
      const answerNote = runs[0].refused
        ? `the kit's ${mb(MESSAGE_LIMIT)} message limit refuses the ${mb(runs[0].refused)} message`
        : `${mb(runs[0].answerBytes)} posted`;
      console.log(`  first rows ${fmt(col('firstRows'))}   painted ${fmt(col('painted'))}   (${runs[0].rows} rows in the DOM)`);
      console.log(`  expand     ${fmt(col('expand'))}   (1,000 children)`);
      console.log(`  subtree    ${fmt(col('subtree'))}   (${runs[0].subtreeEntities.toLocaleString('en')} entities)`);
      console.log(`  answer     ${fmt(col('answer'))}   serialized in ${fmt(col('serialized'))}   (${answerNote})`);
      console.log(`  heap       ${fmt(col('heapMB'), 'MB')}`);
      if (size === TARGETS.size) {
        for (const [key, label] of [['firstRows', 'first rows'], ['expand', 'expand'], ['subtree', 'subtree'], ['answer', 'answer']]) {
          const m = median(col(key));
          verdicts.push(`  ${label.padEnd(10)} ${m.toFixed(0).padStart(6)} ms   target ${String(TARGETS[key]).padStart(4)} ms   ${m <= TARGETS[key] ? 'met' : 'MISSED'}`);
        }
      }
    }
  } finally {
    fs.rmSync(work, { recursive: true, force: true, maxRetries: 10, retryDelay: 200 });
  }
  if (verdicts.length) console.log(`\ntargets at ${TARGETS.size.toLocaleString('en')} entities (medians)\n${verdicts.join('\n')}`);
}

await main();
