import { describe, test, beforeEach, afterEach } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { loader } from './amd.mjs';
import { house, houseText, trickyText, find } from './fixtures.mjs';

// The page's bridge as the kit injects it, recording what the page posts.
let posted;
function installBridge(catalogs = {}) {
  posted = [];
  globalThis.window = {
    qor: {
      language: 'en',
      post: (message) => posted.push(message),
      catalog: (name) => (name in catalogs ? Promise.resolve(catalogs[name]) : Promise.reject(new Error('none'))),
    },
  };
  return posted;
}

async function freshFilter(paths) {
  const [Filter, Services] = await loader(paths)(['ZQ/DXInputFilterDisplay/Filter', 'ZQ/SelectiveWebUI_TST/InputFilteringSimulateScenario']);
  return { Filter, Services };
}

// What the dialog does with a text: paste it into a script between single quotes.
const pasted = (text) => new Function(`return '${text}';`)();
const answer = (Filter, tag = 'onApplyClick') => JSON.parse(Filter.sendNewJson(tag));

const TRICKY = trickyText();

describe('Filter, as the dialog drives it', () => {
  beforeEach(() => installBridge());
  afterEach(() => { delete globalThis.window; delete globalThis.requestAnimationFrame; delete globalThis.sessionStorage; });

  test('the document comes back byte for byte; an edit goes out with the tag; labels come from the catalogs', async () => {
    installBridge({ DXIfcProvider: { IfcWall: 'Wall', Column_Type: 'Type of entity' }, Rooms: { Kitchen: 'Cuisine' } });
    const text = TRICKY.replace('"label":"Kitchen 0","data":{', '"data":{"NLS_label":"Rooms.Kitchen",');
    const { Filter } = await freshFilter();
    // The dialog hands the document over JSON-escaped, quotes as \', in a script.
    await Filter.init(pasted(JSON.stringify(text).slice(1, -1).replace(/'/g, "\\'")));
    Filter.sendNewJson('onOkClick');
    assert.deepEqual(posted, [['onOkClick', text]]);
    const model = Filter.model();
    const type = model.column('Type');
    assert.deepEqual([model.columnTitle(type), model.cellText(find(model, 'Wall 0.1'), type), model.label(model.indexOf([0, 0, 0, 0, 1]))],
      ['Type of entity', 'Wall', 'Cuisine']);
    Filter.perform({ t: 'edit', n: [0, 0], c: 'Name', v: 'x' });
    assert.equal(Filter.isDirty(), true);
    assert.equal(JSON.parse(Filter.sendNewJson('onSaveClick')).roots[0].children[0].grid.Name, 'x');
    assert.deepEqual([posted[1][0], Filter.isDirty()], ['onSaveClick', false]);
  });

  test('a document that cannot be read is reported and sent back untouched; the document given last wins', async () => {
    let { Filter } = await freshFilter();
    await Filter.init('{"roots":[');
    assert.match(Filter.error(), /unexpected end|expected/);
    assert.deepEqual([Filter.model(), Filter.sendNewJson('onOkClick')], [null, '{"roots":[']);
    ({ Filter } = await freshFilter());
    await Promise.all([Filter.init(houseText()), Filter.init(TRICKY)]);
    assert.equal(Filter.sendNewJson('onOkClick'), TRICKY);
  });

  test('a large document shows its first nodes, then the whole; edits made on the preview reach the whole', async () => {
    globalThis.requestAnimationFrame = (fn) => setTimeout(fn, 0);
    const stored = new Map();
    globalThis.sessionStorage = { getItem: (k) => stored.get(k) ?? null, setItem: (k, v) => stored.set(k, String(v)), removeItem: (k) => stored.delete(k) };
    const stub = { 'ZQ/DXInputFilterDisplay/FilterView': path.join(import.meta.dirname, 'viewStub') };
    const { Filter, Services } = await freshFilter(stub);
    const view = await Filter.attach({});
    const doc = house(); // 1,500 copies of the house's site: 24,000 entities
    doc.roots[0].children = Array(1500).fill(doc.roots[0].children[0]);
    const text = JSON.stringify(doc);
    const during = {};
    view.onShow = () => {
      if (!Filter.model().partial) return;
      during.answer = Filter.sendNewJson('onApplyClick');
      during.edited = Filter.perform({ t: 'subtree', n: [0], c: 'Import', v: 'false' });
      Filter.perform({ t: 'collapse', n: [0, 0, 0] }); // a building, open at first
      during.ok = Filter.sendNewJson('onOkClick');
      during.replay = Filter.simulate(Services.encode({ t: 'edit', n: [0], c: 'Name', v: 'replayed' }));
    };
    await Filter.init(text);
    assert.deepEqual(view.shown.map((s) => s.partial), [true, false]);
    assert.ok(view.shown[0].size < view.shown[1].size);
    assert.deepEqual([during.answer, during.edited, during.ok], [text, true, undefined], 'OK after an edit waits for the whole');
    assert.equal(await during.replay, true, 'a replay waits for the whole');
    const ok = posted.find((m) => m[0] === 'onOkClick')[1];
    assert.ok(text.includes('"Import":"true"') && !ok.includes('"Import":"true"'), 'the untick reached the entities read after the preview');
    assert.equal(Filter.model().editCount(), 2);
    assert.equal(Filter.state().isExpanded(Filter.model().indexOf([0, 0, 0])), false, 'closed on the preview, closed on the whole');
    assert.equal(answer(Filter, 'onOkClick').roots[0].grid.Name, 'replayed');
    // A reload: OK given on its preview waits for the whole, where the kept untick is made again.
    const again = await freshFilter(stub);
    const reloaded = await again.Filter.attach({});
    reloaded.onShow = () => { if (again.Filter.model().partial) during.reloaded = again.Filter.sendNewJson('onOkClick'); };
    posted.length = 0;
    await again.Filter.init(text);
    await new Promise((resolve) => setTimeout(resolve, 0));
    assert.equal(during.reloaded, undefined);
    assert.ok(!posted.find((m) => m[0] === 'onOkClick')[1].includes('"Import":"true"'));
  });

  test('edits kept across a reload come back on the same document, and never on another one', async () => {
    const stored = new Map();
    globalThis.sessionStorage = { getItem: (k) => stored.get(k) ?? null, setItem: (k, v) => stored.set(k, String(v)), removeItem: (k) => stored.delete(k) };
    let { Filter } = await freshFilter();
    await Filter.init(houseText());
    assert.equal(Filter.perform({ t: 'edit', n: [0], c: 'Name', v: 'kept' }), true);
    ({ Filter } = await freshFilter());
    await Filter.init(houseText());
    assert.equal(answer(Filter).roots[0].grid.Name, 'kept', 'the reload made the edit again');
    const other = house();
    other.roots[0].label = 'Another project';
    ({ Filter } = await freshFilter());
    await Filter.init(JSON.stringify(other));
    assert.equal(answer(Filter).roots[0].grid.Name, undefined);
  });
});

// A page on `text` that reports what the user does; reports() lists the texts it posted.
async function recorder(text) {
  const posts = installBridge();
  const page = await freshFilter();
  page.Filter.registerInteractions(page.Services);
  await page.Filter.init(text);
  return { ...page, posts, reports: () => posts.filter((m) => m[0] === 'registerInteraction').map((m) => m[1]) };
}

describe('recording and replaying interactions', () => {
  afterEach(() => { delete globalThis.window; });

  test('a session replayed from its reports gives the same document; replays are not reported again', async () => {
    const first = await recorder(TRICKY);
    const actions = [
      { t: 'edit', n: [0, 0, 0, 0], c: 'Name', v: "Level 0 it's \\ a \"quoted\" \ud83c\udfe0" },
      { t: 'subtree', n: [0, 0, 0, 1], c: 'Import', v: 'false' },
      { t: 'rows', n: [[0, 0, 0, 0, 1], [1]], c: 'ImportMode', v: 'ForLifecycle' },
      { t: 'expand', n: [0, 0, 0, 0] },
      { t: 'collapse', n: [0] },
      { t: 'level', d: 2 },
      { t: 'expand', n: [0, 0, 0, 1], s: true },
      { t: 'edit', n: [0, 0], c: 'Elevation', v: '12.50' },
      { t: 'undo' },
    ];
    for (const action of actions) assert.equal(first.Filter.perform(action), true, JSON.stringify(action));
    // What changes nothing is not reported.
    for (const action of [{ t: 'edit', n: [0, 0], c: 'Import', v: 'true' }, { t: 'expand', n: [0] }, { t: 'expand', n: [0, 0, 0, 0, 0, 0, 0] }]) {
      assert.equal(first.Filter.perform(action), false, JSON.stringify(action));
    }
    const reports = first.reports();
    assert.equal(reports.length, actions.length);
    first.Filter.sendNewJson('onOkClick');
    const recorded = first.posts.at(-1)[1];

    const replaying = installBridge();
    const second = await freshFilter();
    second.Filter.registerInteractions(second.Services);
    second.Filter.init(TRICKY);
    for (const text of reports) await second.Filter.simulate(pasted(text));
    second.Filter.sendNewJson('onOkClick');
    assert.deepEqual(replaying.map((m) => m[0]), ['onOkClick']);
    assert.equal(replaying[0][1], recorded);
    const open = (p) => second.Filter.state().isExpanded(second.Filter.model().indexOf(p));
    assert.deepEqual([open([0]), open([0, 0, 0, 0]), open([0, 0, 0, 1, 0, 0])], [true, false, true], 'level 2, then a whole subtree');
  });

  test('interactions naming what is not there are refused; without the services they are still posted', async () => {
    installBridge();
    const { Filter, Services } = await freshFilter();
    Filter.registerInteractions(undefined);
    await Filter.init(houseText());
    for (const [action, error] of [[{ n: [7], c: 'Name', v: 'x' }, /no entity/], [{ n: [0], c: 'Nope', v: 'x' }, /no column/], [{ n: [0], c: 'Name' }, /bad edit/]]) {
      assert.throws(() => Filter.perform({ t: 'edit', ...action }), error);
    }
    await assert.rejects(Filter.simulate(Services.encode({ t: 'edit', n: [9], c: 'Name', v: 'x' })), /no entity/);
    assert.throws(() => Filter.simulate("');alert(1);('"), /not an interaction text/);
    assert.throws(() => Services.report("x'); alert(1); ('"), undefined, 'an unsafe text is never reported');
    assert.deepEqual(posted, []);
    Filter.perform({ t: 'edit', n: [0], c: 'Name', v: "a'b" });
    assert.equal(posted[0][0], 'registerInteraction');
    assert.deepEqual(Services.decode(posted[0][1]), { t: 'edit', n: [0], c: 'Name', v: "a'b", u: house().roots[0].data.uid[0] });
  });

  test('a replay on a later version of the document edits the same entities, found by uid, else by path', async () => {
    const first = await recorder(houseText());
    const model = first.Filter.model();
    const at = (label) => model.pathOf(find(model, label));
    const actions = [
      { t: 'edit', n: at('Kitchen 0'), c: 'Name', v: 'renamed' },
      { t: 'rows', n: [at('Wall 0.2'), at('Unplaced'), at('Kitchen 1')], c: 'ImportMode', v: 'ForLifecycle' },
      { t: 'expand', n: at('Storey 1') },
      { t: 'edit', n: at('Wall 1.2'), c: 'Name', v: 'gone later' },
    ];
    for (const action of actions) assert.equal(first.Filter.perform(action), true, JSON.stringify(action));
    const texts = first.reports();
    assert.deepEqual(first.Services.decode(texts[1]).u, [model.firstUid(find(model, 'Wall 0.2')), null, model.firstUid(find(model, 'Kitchen 1'))]);

    // Later: a new space ahead of everything on storey 0, storey 1 moved first, a wall gone.
    const later = house();
    const building = later.roots[0].children[0].children[0];
    const [storey0, storey1] = building.children;
    // New space carries Kitchen 0's uid too: a uid two entities carry names neither.
    storey0.children.unshift({ label: 'New space', data: { uid: storey0.children[1].data.uid.slice() }, grid: { Import: 'true', Name: 'New' } });
    building.children = [storey1, storey0];
    storey1.children[0].children.pop();
    const { Filter } = await recorder(JSON.stringify(later));
    const applied = [];
    for (const text of texts) applied.push(await Filter.simulate(pasted(text)));
    assert.deepEqual(applied, [true, true, true, false], 'the wall no longer there is skipped');
    const m2 = Filter.model();
    const cell = (label, column) => m2.cellText(find(m2, label), m2.column(column));
    // By its path, Kitchen 0's rename lands on what is there now: Kitchen 1.
    assert.deepEqual(['Kitchen 1', 'Kitchen 0', 'New space'].map((l) => cell(l, 'Name')), ['renamed', 'Room 0.2', 'New']);
    assert.deepEqual(['Wall 0.2', 'Unplaced', 'Kitchen 1', 'Living room 1'].map((l) => cell(l, 'ImportMode')),
      ['ForLifecycle', 'ForLifecycle', 'ForLifecycle', 'ForDesign'], 'Unplaced has no uid: by its path');
    assert.deepEqual([find(m2, 'Storey 1'), find(m2, 'Storey 0')].map((i) => Filter.state().isExpanded(i)), [true, false]);
  });
});
