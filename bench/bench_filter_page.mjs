// bench_filter_page.mjs - the filter page as the user waits for it, in headless Chromium.
//
//   node bench/bench_filter_page.mjs [--sizes 300,100000,1000000] [--runs 5] [--vs DIR]
//
// --vs DIR runs another build (DIR/bin/dxfilter, its libraries from DIR/lib) in turn with
// this one, run by run under the same load, and prints both and the ratios this/DIR.
//
// For each size the benchmark writes a building model as an IFC file (storeys of a few
// hundred elements of mixed types, see tests/browser/support/ifc.mjs), and per run starts
// `dxfilter edit` on it, navigates a fresh browser context to the dialog's address and
// does what a user does. Every time runs from the user's action to the painted result:
//
//   first rows   navigation to the dialog's address until the grid's first rows are
//                painted (the kit's window page, the frame, the document's delivery,
//                the page's boot, indexing, first paint), in a browser window opened
//                a second before
//   all read     navigation until the whole document is read and shown (a large one
//                shows its first rows from its first nodes before); the actions below
//                start after it
//   input wait   from a large document's preview being painted until the whole is
//                read, a click on a tick every 40 ms: the longest wait from a click
//                being due to the paint after it
//   expand all   a click on "Expand all" until painted
//   tick bottom  after a scroll to the very bottom with everything expanded, a click on
//                a tick there until painted; then Ctrl+Z until painted (undo)
//   tick parent  a click on a storey's tick (its subtree) until painted
//   expand one   a click on a storey's chevron until its children are painted
//   collapse all a click on "Collapse all" (after the scroll) until painted
//   tick project then a click on the project's tick (every entity: mixed after the
//                storey's, so all ticked) until painted; untick project: a second
//                click (none ticked); undo project: Ctrl+Z until painted
//   scroll       600 frames scrolling 100 px a frame: the share of frames over 50 ms,
//                and the heap before and after (after a garbage collection)
//   OK written   a click on OK until the document file is complete; exit: until
//                dxfilter has exited after that. It comes after the project's rows:
//                every entity edited, so the record of edits names every one
//
// Prints medians of the runs, min-max, and the targets. With --screenshot FILE it only
// takes the README's picture of the page: the first size, types grouped.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { launch, missingBrowser } from '../tests/browser/support/browser.mjs';
import { Session, missingBuild } from '../tests/browser/support/dxfilter.mjs';
import { writeModel } from '../tests/browser/support/ifc.mjs';

// --help prints the banner above; anything else unknown is refused before a browser starts.
if (process.argv.includes('--help') || process.argv.includes('-h')) {
  const banner = fs.readFileSync(new URL(import.meta.url), 'utf8').split('\n');
  console.log(banner.slice(0, banner.findIndex((l) => !l.startsWith('//'))).map((l) => l.replace(/^\/\/ ?/, '')).join('\n'));
  process.exit(0);
}
for (let k = 2; k < process.argv.length; k += 2) {
  if (!['--sizes', '--runs', '--vs', '--screenshot'].includes(process.argv[k]) || k + 1 >= process.argv.length) {
    console.error(`bench_filter_page: ${process.argv[k]}: unknown option or missing value (see --help)`);
    process.exit(2);
  }
}

function option(name, fallback) {
  const at = process.argv.indexOf(`--${name}`);
  return at > 0 && at + 1 < process.argv.length ? process.argv[at + 1] : fallback;
}
const SIZES = option('sizes', '300,100000,1000000').split(',').map(Number);
const RUNS = Number(option('runs', '5'));
if (!SIZES.every((n) => Number.isInteger(n) && n > 0) || !(Number.isInteger(RUNS) && RUNS > 0)) {
  console.error('bench_filter_page: --sizes and --runs take positive whole numbers');
  process.exit(2);
}
const SCREENSHOT = option('screenshot', '');
const VS = option('vs', '');
const SCROLL_FRAMES = 600;
const ANSWER_LIMIT = 500000; // entities: beyond, OK is not timed (see run())
const TARGETS = {
  firstRows: (size) => (size <= 1000 ? 500 : size <= 100000 ? 1500 : 4000),
  action: 100, bulk: 500, slowFrames: 2, written: 1000, exit: 500,
};

// Runs in every frame before its scripts: notes when the first rows are painted, and
// when the whole document is read and shown (a large one shows its first nodes first).
function watchFirstRows() {
  const painted = (name) => requestAnimationFrame(() => {
    const channel = new MessageChannel();
    channel.port1.onmessage = () => {
      window[name] = performance.timeOrigin + performance.now();
      if (name === '__firstRowsAt') console.debug('dx-bench: first rows');
    };
    channel.port2.postMessage(0);
  });
  new PerformanceObserver((list) => {
    if (!window.__firstRowsSeen && list.getEntriesByName('filter-first-rows').length) {
      window.__firstRowsSeen = true;
      painted('__firstRowsAt');
    }
    const preview = list.getEntriesByName('filter-preview-painted')[0];
    if (preview) probe(preview.startTime + 40);
    if (!window.__readySeen && list.getEntriesByName('filter-ready').length) {
      window.__readySeen = true;
      painted('__readyAt');
    }
  }).observe({ type: 'mark', buffered: true });
  // From the preview's paint, a click on a storey's tick every 40 ms while the whole is
  // read (each is made again on the whole), each timed from when it was due to the next paint after it:
  // the longest input wait. The first is due 40 ms after the paint, so a read that holds
  // the page in one block counts in full even though this observer only runs after it.
  window.__inputWait = 0;
  function probe(due) {
    setTimeout(() => {
      const whole = !window.require('ZQ/DXInputFilterDisplay/Filter').model()?.partial;
      const ticks = document.querySelectorAll('.tg-body .tg-row[aria-level="4"] .tick');
      if (!whole) ticks[ticks.length - 1]?.dispatchEvent(new MouseEvent('click', { bubbles: true, cancelable: true }));
      requestAnimationFrame(() => {
        const channel = new MessageChannel();
        channel.port1.onmessage = () => {
          window.__inputWait = Math.max(window.__inputWait, performance.now() - due);
          if (!whole) probe(performance.now() + 40);
        };
        channel.port2.postMessage(0);
      });
    }, Math.max(0, due - performance.now()));
  }
}

// Runs in the filter page's frame: the user's actions, each timed to the next paint.
async function actions(scrollFrames) {
  const painted = () => new Promise((resolve) => requestAnimationFrame(() => {
    const channel = new MessageChannel();
    channel.port1.onmessage = () => resolve(performance.now());
    channel.port2.postMessage(0);
  }));
  const click = (element, options = {}) => {
    const t0 = performance.now();
    element.dispatchEvent(new MouseEvent('click', { bubbles: true, cancelable: true, ...options }));
    return t0;
  };
  const key = (target, init) => {
    const t0 = performance.now();
    target.dispatchEvent(new KeyboardEvent('keydown', { bubbles: true, cancelable: true, ...init }));
    return t0;
  };
  const grid = document.querySelector('.tg');
  const rowsShown = () => Array.from(document.querySelectorAll('.tg-body .tg-row'));
  const heap = () => {
    window.gc();
    return performance.memory.usedJSHeapSize / 2 ** 20;
  };
  const out = {};
  out.heapLoaded = heap();

  // A storey: open its chevron, then tick it (its subtree).
  const storeyRow = () => rowsShown().find((row) => / Level 1$/.test(row.querySelector('.cell-label')?.textContent ?? '') &&
    row.hasAttribute('aria-expanded'));
  let storey = storeyRow();
  if (!storey) throw new Error('no storey in sight');
  let t0 = click(storey.querySelector('.tg-chevron'));
  out.expandOne = (await painted()) - t0;
  if (storey.getAttribute('aria-expanded') !== 'true') throw new Error('the storey did not open');
  storey = storeyRow();
  t0 = click(storey.querySelector('.tick'));
  out.tickParent = (await painted()) - t0;
  if (storeyRow().querySelector('.tick').getAttribute('aria-checked') !== 'false') throw new Error('the storey tick did not change');

  t0 = click(document.getElementById('expand-all'));
  out.expandAll = (await painted()) - t0;
  out.rows = Number(grid.getAttribute('aria-rowcount')) - 1;

  // Scrolling, 100 px a frame, then everything to the bottom.
  const intervals = [];
  let last = await painted();
  for (let f = 0; f < scrollFrames; f++) {
    grid.scrollTop += 100;
    const now = await painted();
    intervals.push(now - last);
    last = now;
  }
  out.slowFrames = (100 * intervals.filter((ms) => ms > 50).length) / intervals.length;
  grid.scrollTop = grid.scrollHeight;
  await painted();
  await painted();
  out.heapScrolled = heap();

  const bottom = rowsShown().filter((row) => row.querySelector('.tick[aria-checked]')).sort((a, b) => b.dataset.row - a.dataset.row)[2];
  const before = bottom.querySelector('.tick').getAttribute('aria-checked');
  t0 = click(bottom.querySelector('.tick'));
  out.tickBottom = (await painted()) - t0;
  if (bottom.querySelector('.tick').getAttribute('aria-checked') === before) throw new Error('the tick at the bottom did not change');
  t0 = key(grid, { key: 'z', ctrlKey: true });
  out.undo = (await painted()) - t0;
  if (bottom.querySelector('.tick').getAttribute('aria-checked') !== before) throw new Error('undo did not show');

  t0 = click(document.getElementById('collapse-all'));
  out.collapseAll = (await painted()) - t0;
  if (Number(grid.getAttribute('aria-rowcount')) - 1 > 10) throw new Error('collapse all left rows open');

  // The project's tick: the whole model in one step, and its undo.
  const projectTick = () => document.querySelector('.tg-body .tg-row[aria-level="1"] .tick');
  const timedTick = async (name, expected) => {
    const t = click(projectTick());
    out[name] = (await painted()) - t;
    if (projectTick().getAttribute('aria-checked') !== expected) throw new Error(`${name}: the project's tick did not show ${expected}`);
  };
  if (projectTick().getAttribute('aria-checked') !== 'mixed') throw new Error('the project is not mixed after the storey\'s tick');
  await timedTick('tickProject', 'true');
  await timedTick('untickProject', 'false');
  t0 = key(grid, { key: 'z', ctrlKey: true });
  out.undoProject = (await painted()) - t0;
  if (projectTick().getAttribute('aria-checked') !== 'true') throw new Error('undo of the project\'s tick did not show');
  return out;
}

async function run(browser, model, dir, size, other = '') {
  const output = path.join(dir, 'answer.json');
  fs.rmSync(output, { force: true });
  const build = other ? { program: path.join(other, 'bin/dxfilter'), env: { LD_LIBRARY_PATH: path.join(other, 'lib') } } : {};
  const session = new Session(['edit', 'IFC', model, '-o', output, '--no-browser'], build);
  try {
    const address = await session.address(600000);
    const context = await browser.newContext({ viewport: { width: 1280, height: 840 } });
    await context.addInitScript(watchFirstRows);
    const page = await context.newPage();
    // The user's browser window is open before the address is given: the window's own
    // start-up (the browser's interface pages, about a second of processor time here) is
    // done before the clock starts, not run beside the page's boot.
    await page.goto('about:blank');
    await page.waitForTimeout(1000);
    // Waited for without a look into the page: the automation's helper scripts, put into
    // each frame on its first query, would load the page's thread while it boots.
    const firstRows = page.waitForEvent('console', { predicate: (m) => m.text() === 'dx-bench: first rows', timeout: 120000 });
    await page.goto(address, { waitUntil: 'commit' });
    await firstRows;
    const frame = await (await page.waitForSelector('#qor-viewer')).contentFrame();
    const top = await page.evaluate(() => performance.timeOrigin);
    // A preview's paint is followed at once by the whole document's reading, which holds
    // back the frame the watcher waits for: the page marks that paint itself.
    const firstRowsAt = await frame.evaluate(() => {
      const painted = performance.getEntriesByName('filter-preview-painted')[0];
      return painted ? performance.timeOrigin + painted.startTime : window.__firstRowsAt;
    });
    // The user's actions need the whole document. A page without previews (an older
    // build's) shows the whole document with its first rows.
    const previews = await frame.evaluate(() => {
      const model = window.require('ZQ/DXInputFilterDisplay/Filter').model();
      return !!model && 'partial' in model;
    });
    if (previews) await frame.waitForFunction(() => window.__readyAt, null, { timeout: 120000, polling: 20 });
    const readyAt = previews ? await frame.evaluate(() => window.__readyAt) : firstRowsAt;
    const result = { firstRows: firstRowsAt - top, ready: readyAt - top, inputWait: await frame.evaluate(() => window.__inputWait) };
    if (SCREENSHOT) {
      await frame.check('#group-types');
      await frame.click('.tg-row:has(.cell-label:text-is("B1 Level 1")) .tg-chevron');
      await frame.click('.tg-row.is-group:has(.cell-group:text-matches("^IfcWallStandardCase")) .tg-chevron');
      await frame.click('.tg-row.is-group:has(.cell-group:text-matches("^IfcDoor ")) .tick');
      await frame.click('.tg-row.is-group:has(.cell-group:text-matches("^IfcWallStandardCase")) + .tg-row .tg-cell.kind-enum');
      await page.waitForTimeout(300);
      await page.screenshot({ path: SCREENSHOT });
      await page.click('#qor-buttons button[data-name="Cancel"]');
      await session.finished(60000);
      await context.close();
      return result;
    }
    Object.assign(result, await frame.evaluate(actions, SCROLL_FRAMES));

    if (size > ANSWER_LIMIT) {
      // The browser's automation channel copies a request's body, and cannot carry one of
      // 200 MB: the answer of the largest model is not timed here.
      await page.click('#qor-buttons button[data-name="Cancel"]');
      await session.finished(60000);
      await context.close();
      return result;
    }
    const t0 = Date.now();
    await page.click('#qor-buttons button[data-name="OK"]');
    let written = null;
    while (written === null) {
      try {
        const text = fs.readFileSync(output, 'utf8');
        if (text.endsWith('}') || text.endsWith('}\n')) written = Date.now() - t0;
      } catch {
        // not there yet
      }
      if (written === null) await new Promise((resolve) => setTimeout(resolve, 5));
    }
    const ended = await session.finished(60000);
    if (ended.code !== 0) throw new Error(`dxfilter exited ${ended.code}: ${ended.stderr}`);
    result.written = written;
    result.exit = Date.now() - t0 - written;
    await context.close();
    return result;
  } finally {
    await session.stop();
  }
}

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const mid = sorted.length >> 1;
  return sorted.length % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
};

function report(size, model, results, others = null) {
  const line = (name, key, unit, target) => {
    const values = results.map((r) => r[key]);
    const m = median(values);
    const spread = `${Math.min(...values).toFixed(1)}-${Math.max(...values).toFixed(1)}`;
    const mark = target === undefined ? '' : m <= target ? `  (target ${target} ${unit}: met)` : `  (target ${target} ${unit}: MISSED)`;
    let vs = '';
    if (others) {
      const theirs = others.map((r) => r[key]);
      // The ratio run by run: the load drifts less within a pair than across runs.
      const ratios = results.map((r, k) => (others[k][key] ? r[key] / others[k][key] : NaN)).filter(Number.isFinite);
      vs = `   vs ${median(theirs).toFixed(1).padStart(9)} [${Math.min(...theirs).toFixed(1)}-${Math.max(...theirs).toFixed(1)}]` +
        (ratios.length ? `  ratio ${median(ratios).toFixed(2)}` : '');
    }
    console.log(`  ${name.padEnd(14)} ${m.toFixed(1).padStart(9)} ${unit}   [${spread}]${vs}${mark}`);
  };
  console.log(`\n${size.toLocaleString('en')} entities (${(model.bytes / 2 ** 20).toFixed(1)} MB IFC), ${results.length} runs, medians` +
    (others ? ` (this build, then ${VS}):` : ':'));
  line('first rows', 'firstRows', 'ms', TARGETS.firstRows(size));
  line('all read', 'ready', 'ms');
  line('input wait', 'inputWait', 'ms', TARGETS.action);
  line('expand one', 'expandOne', 'ms', TARGETS.action);
  line('tick parent', 'tickParent', 'ms', TARGETS.action);
  line('expand all', 'expandAll', 'ms', TARGETS.bulk);
  line('rows', 'rows', '');
  line('slow frames', 'slowFrames', '%', TARGETS.slowFrames);
  line('tick bottom', 'tickBottom', 'ms', TARGETS.action);
  line('undo', 'undo', 'ms', TARGETS.action);
  line('collapse all', 'collapseAll', 'ms', TARGETS.bulk);
  line('tick project', 'tickProject', 'ms', TARGETS.action);
  line('untick project', 'untickProject', 'ms', TARGETS.action);
  line('undo project', 'undoProject', 'ms', TARGETS.action);
  line('heap loaded', 'heapLoaded', 'MB');
  line('heap scrolled', 'heapScrolled', 'MB');
  if (size <= ANSWER_LIMIT) {
    line('OK written', 'written', 'ms', TARGETS.written);
    line('then exit', 'exit', 'ms', TARGETS.exit);
  }
}

async function main() {
  const missing = missingBuild() ?? (await missingBrowser());
  if (missing) {
    console.error(`bench_filter_page: ${missing}`);
    process.exit(1);
  }
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'dx-page-bench-'));
  const browser = await launch(['--js-flags=--expose-gc', '--enable-precise-memory-info']);
  try {
    for (const size of SIZES) {
      const file = path.join(dir, `model${size}.ifc`);
      process.stderr.write(`writing a model of ${size.toLocaleString('en')} entities...\n`);
      const model = writeModel(file, size);
      const results = [];
      const others = VS ? [] : null;
      if (SCREENSHOT) {
        await run(browser, file, dir, size);
        console.log(`the page on ${size.toLocaleString('en')} entities: ${SCREENSHOT}`);
        return;
      }
      for (let r = 0; r < RUNS; r++) {
        process.stderr.write(`  run ${r + 1}/${RUNS}\n`);
        results.push(await run(browser, file, dir, size));
        if (others) others.push(await run(browser, file, dir, size, VS));
      }
      report(size, model, results, others);
      fs.rmSync(file, { force: true });
    }
  } finally {
    await browser.close();
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

main().catch((e) => {
  console.error(`bench_filter_page: ${e && e.stack ? e.stack : e}`);
  process.exit(1);
});
