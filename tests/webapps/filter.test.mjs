import { describe, test, beforeEach, afterEach } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import { loader } from './amd.mjs';
import { bigDocument, house, houseText } from './fixtures.mjs';

// The page's bridge as the kit injects it, recording what the page posts.
function installBridge(catalogs = {}) {
  const posted = [];
  globalThis.window = {
    qor: {
      language: 'en',
      post: (message) => posted.push(message),
      catalog: (name) => (name in catalogs ? Promise.resolve(catalogs[name]) : Promise.reject(new Error('none'))),
    },
  };
  return posted;
}

async function freshFilter() {
  const [Filter, Services] = await loader()(['ZQ/DXInputFilterDisplay/Filter', 'ZQ/SelectiveWebUI_TST/InputFilteringSimulateScenario']);
  return { Filter, Services };
}

// How the dialog hands the document over: JSON-escaped, quotes as \', in a script.
function initScriptArgument(text) {
  const escaped = JSON.stringify(text).slice(1, -1).replace(/'/g, "\\'");
   
  return new Function(`return '${escaped}';`)();
}

const pasted = (text) => new Function(`return '${text}';`)();  

const TRICKY = houseText()
  .replace('"formatUsage":"IFC"}', '"formatUsage":"IFC","settings":{"tol":1.50,"big":123456789012345678901234567890,"x":1e400,"z":-0}}')
  .replace('"label":"Site"', '"label":"Site \\u00e9 \u2028 \ud83c\udfe0 </script> it\'s \\\\"')
  .replace('"roots":', '"future":{"2":"b","1":"a"},"roots":');

describe('Filter, as the dialog drives it', () => {
  let posted;
  beforeEach(() => { posted = installBridge({ DXIfcProvider: { IfcWall: 'Wall' } }); });
  afterEach(() => { delete globalThis.window; });

  test('an unedited document comes back from sendNewJson byte for byte', async () => {
    const { Filter } = await freshFilter();
    const argument = initScriptArgument(TRICKY);
    assert.equal(argument, TRICKY, 'the script string carries the text unchanged');
    await Filter.init(argument);
    Filter.sendNewJson('onOkClick');
    assert.deepEqual(posted, [['onOkClick', TRICKY]]);
  });

  test('the tag is passed through and sending clears the unsent state', async () => {
    const { Filter } = await freshFilter();
    await Filter.init(houseText());
    Filter.perform({ t: 'edit', n: [0, 0], c: 'Name', v: 'x' });
    assert.equal(Filter.isDirty(), true);
    Filter.sendNewJson('onSaveClick');
    assert.equal(posted[0][0], 'onSaveClick');
    assert.equal(JSON.parse(posted[0][1]).roots[0].children[0].grid.Name, 'x');
    assert.equal(Filter.isDirty(), false);
  });

  test('catalogs of the document are asked through the bridge', async () => {
    const { Filter } = await freshFilter();
    await Filter.init(houseText());
    const model = Filter.model();
    const wall = model.indexOf([0, 0, 0, 0, 0, 0]);
    assert.equal(model.cellText(wall, model.column('Type')), 'Wall');
  });

  test('the columns\' catalogs (asked early) and the nodes\' catalogs are each asked once and all resolve', async () => {
    const asked = [];
    window.qor.catalog = (name) => {
      asked.push(name);
      return Promise.resolve({ DXIfcProvider: { IfcWall: 'Wall', Column_Type: 'Type of entity' }, Rooms: { Kitchen: 'Cuisine' } }[name]);
    };
    const doc = house();
    doc.roots[0].children[0].children[0].children[0].children[1].data.NLS_label = 'Rooms.Kitchen';
    delete doc.roots[0].children[0].children[0].children[0].children[1].label;
    const { Filter } = await freshFilter();
    await Filter.init(JSON.stringify(doc));
    const model = Filter.model();
    assert.deepEqual(asked.filter((name) => name !== 'DXInputFilterDisplay'), ['DXIfcProvider', 'Rooms']);
    assert.equal(model.columnTitle(model.column('Type')), 'Type of entity');
    assert.equal(model.cellText(model.indexOf([0, 0, 0, 0, 0, 0]), model.column('Type')), 'Wall');
    assert.equal(model.label(model.indexOf([0, 0, 0, 0, 1])), 'Cuisine');
  });

  test('a document that cannot be read is reported and sent back untouched', async () => {
    const { Filter } = await freshFilter();
    await Filter.init('{"roots":[');
    assert.match(Filter.error(), /unexpected end|expected/);
    assert.equal(Filter.model(), null);
    Filter.sendNewJson('onOkClick');
    assert.deepEqual(posted, [['onOkClick', '{"roots":[']]);
  });

  test('the document given last wins', async () => {
    const { Filter } = await freshFilter();
    const first = Filter.init(houseText());
    const second = Filter.init(TRICKY);
    await Promise.all([first, second]);
    Filter.sendNewJson('onOkClick');
    assert.equal(posted[0][1], TRICKY);
  });
});

describe('recording and replaying interactions', () => {
  afterEach(() => { delete globalThis.window; });

  test('a session replayed from its reports gives the same document', async () => {
    const recording = installBridge();
    const first = await freshFilter();
    first.Filter.registerInteractions(first.Services);
    await first.Filter.init(TRICKY);
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
    const reports = recording.filter((m) => m[0] === 'registerInteraction').map((m) => m[1]);
    assert.equal(reports.length, actions.length);
    for (const text of reports) assert.match(text, /^[A-Za-z0-9_-]+$/);
    first.Filter.sendNewJson('onOkClick');
    const recorded = recording.at(-1)[1];
    assert.notEqual(recorded, TRICKY);

    const replaying = installBridge();
    const second = await freshFilter();
    second.Filter.registerInteractions(second.Services);
    second.Filter.init(TRICKY);
    // The dialog pastes each text as it is into Filter.simulate('<text>').
    for (const text of reports) await second.Filter.simulate(pasted(text));
    second.Filter.sendNewJson('onOkClick');
    assert.equal(replaying.filter((m) => m[0] === 'registerInteraction').length, 0, 'replays are not reported again');
    assert.equal(replaying.at(-1)[1], recorded);
    assert.equal(second.Filter.state().isExpanded(second.Filter.model().indexOf([0])), true, 'level 2 after the collapse');
    assert.equal(second.Filter.state().isExpanded(second.Filter.model().indexOf([0, 0, 0, 0])), false);
    assert.equal(second.Filter.state().isExpanded(second.Filter.model().indexOf([0, 0, 0, 1, 0, 0])), true, 'a whole subtree opened');
  });

  test('what changes nothing is not reported', async () => {
    const recording = installBridge();
    const { Filter, Services } = await freshFilter();
    Filter.registerInteractions(Services);
    await Filter.init(houseText());
    assert.equal(Filter.perform({ t: 'undo' }), false);
    assert.equal(Filter.perform({ t: 'edit', n: [0, 0], c: 'Import', v: 'true' }), false, 'already true');
    assert.equal(Filter.perform({ t: 'expand', n: [0] }), false, 'already open');
    assert.equal(Filter.perform({ t: 'expand', n: [0, 0, 0, 0, 0, 0, 0] }), false, 'a leaf');
    assert.deepEqual(recording, []);
  });

  test('interactions naming what is not there are refused', async () => {
    installBridge();
    const { Filter, Services } = await freshFilter();
    await Filter.init(houseText());
    assert.throws(() => Filter.perform({ t: 'edit', n: [7], c: 'Name', v: 'x' }), /no entity/);
    assert.throws(() => Filter.perform({ t: 'edit', n: [0], c: 'Nope', v: 'x' }), /no column/);
    assert.throws(() => Filter.perform({ t: 'edit', n: [0], c: 'Name' }), /bad edit/);
    await assert.rejects(Filter.simulate(Services.encode({ t: 'edit', n: [9], c: 'Name', v: 'x' })), /no entity/);
    assert.throws(() => Filter.simulate("');alert(1);('"), /not an interaction text/);
  });

  test('a replay on a later version of the document edits the same entities, found by uid', async () => {
    const find = (model, label) => [...Array(model.size).keys()].find((i) => model.label(i) === label);
    const recording = installBridge();
    const first = await freshFilter();
    first.Filter.registerInteractions(first.Services);
    await first.Filter.init(houseText());
    const model = first.Filter.model();
    const at = (label) => model.pathOf(find(model, label));
    const uid = (label) => model.firstUid(find(model, label));
    const actions = [
      { t: 'edit', n: at('Kitchen 0'), c: 'Name', v: 'renamed' },
      { t: 'subtree', n: at('Wall 0.1'), c: 'Import', v: 'false' },
      { t: 'rows', n: [at('Wall 0.2'), at('Unplaced'), at('Kitchen 1')], c: 'ImportMode', v: 'ForLifecycle' },
      { t: 'expand', n: at('Storey 1') },
      { t: 'edit', n: at('Wall 1.2'), c: 'Name', v: 'gone later' },
    ];
    for (const action of actions) assert.equal(first.Filter.perform(action), true, JSON.stringify(action));
    const texts = recording.filter((m) => m[0] === 'registerInteraction').map((m) => m[1]);
    assert.equal(first.Services.decode(texts[0]).u, uid('Kitchen 0'));
    assert.deepEqual(first.Services.decode(texts[2]).u, [uid('Wall 0.2'), null, uid('Kitchen 1')], 'null where there is no uid');

    // Later: a new space ahead of everything on storey 0, storey 1 moved first, a wall gone.
    const later = house();
    const building = later.roots[0].children[0].children[0];
    const [storey0, storey1] = building.children;
    storey0.children.unshift({ label: 'New space', data: { uid: ['3NEW00000000000000000a'] }, grid: { Import: 'true', Name: 'New' } });
    building.children = [storey1, storey0];
    storey1.children[0].children.pop();
    installBridge();
    const second = await freshFilter();
    await second.Filter.init(JSON.stringify(later));
    const applied = [];
    for (const text of texts) applied.push(await second.Filter.simulate(pasted(text)));
    assert.deepEqual(applied, [true, true, true, true, false], 'the wall no longer there is skipped');

    const m2 = second.Filter.model();
    const cell = (label, column) => m2.cellText(find(m2, label), m2.column(column));
    assert.equal(cell('Kitchen 0', 'Name'), 'renamed');
    assert.equal(cell('New space', 'Name'), 'New', 'the entity now at the recorded path is left alone');
    for (const label of ['Wall 0.1', 'Door 0.1', 'Window 0.1']) assert.equal(cell(label, 'Import'), 'false', label);
    assert.equal(cell('Living room 0', 'Import'), 'true');
    assert.equal(cell('Wall 0.2', 'ImportMode'), 'ForLifecycle');
    assert.equal(cell('Unplaced', 'ImportMode'), 'ForLifecycle', 'without uid, by its path');
    assert.equal(cell('Kitchen 1', 'ImportMode'), 'ForLifecycle');
    assert.equal(cell('Living room 1', 'ImportMode'), 'ForDesign');
    assert.equal(second.Filter.state().isExpanded(find(m2, 'Storey 1')), true);
    assert.equal(second.Filter.state().isExpanded(find(m2, 'Storey 0')), false);
  });

  test('a uid that several entities carry falls back to the path', async () => {
    installBridge();
    const { Filter, Services } = await freshFilter();
    const doc = house();
    const storeys = doc.roots[0].children[0].children[0].children;
    storeys[1].data.uid = storeys[0].data.uid.slice();
    await Filter.init(JSON.stringify(doc));
    const model = Filter.model();
    assert.equal(model.uidOf(model.indexOf([0, 0, 0, 0])), null, 'not a name of one entity');
    const text = Services.encode({ t: 'edit', n: [0, 0, 0, 1], c: 'Name', v: 'by path', u: storeys[0].data.uid[0] });
    assert.equal(await Filter.simulate(text), true);
    assert.equal(model.cellText(model.indexOf([0, 0, 0, 1]), model.column('Name')), 'by path');
    assert.equal(model.cellText(model.indexOf([0, 0, 0, 0]), model.column('Name')), 'Level 0');
  });

  test('a replay sent before the document is there waits for it', async () => {
    installBridge();
    const { Filter, Services } = await freshFilter();
    const doc = house();
    Filter.init(JSON.stringify(doc));
    const done = Filter.simulate(Services.encode({ t: 'edit', n: [0], c: 'Name', v: 'early' }));
    assert.equal(await done, true);
    assert.equal(JSON.parse(Filter.sendNewJson('onOkClick')).roots[0].grid.Name, 'early');
  });
});

describe('replays and the document arriving late', () => {
  afterEach(() => { delete globalThis.window; });

  test('replays sent before init are applied once the document is there, in order', async () => {
    installBridge();
    const { Filter, Services } = await freshFilter();
    const first = Filter.simulate(Services.encode({ t: 'expand', n: [0, 0, 0, 0] }));
    const second = Filter.simulate(Services.encode({ t: 'edit', n: [0], c: 'Name', v: 'one' }));
    const third = Filter.simulate(Services.encode({ t: 'edit', n: [0], c: 'Name', v: 'two' }));
    await new Promise((resolve) => setImmediate(resolve)); // the replays wait, queued
    Filter.init(houseText());
    assert.deepEqual(await Promise.all([first, second, third]), [true, true, true]);
    assert.equal(Filter.state().isExpanded(Filter.model().indexOf([0, 0, 0, 0])), true);
    assert.equal(JSON.parse(Filter.sendNewJson('onOkClick')).roots[0].grid.Name, 'two');
  });
});

describe('test mode without the simulation services', () => {
  afterEach(() => { delete globalThis.window; });

  test('interactions are still posted as registerInteraction', async () => {
    const posted = installBridge();
    const { Filter, Services } = await freshFilter();
    Filter.registerInteractions(undefined);
    await Filter.init(houseText());
    Filter.perform({ t: 'edit', n: [0], c: 'Name', v: "a'b" });
    assert.equal(posted.length, 1);
    assert.equal(posted[0][0], 'registerInteraction');
    assert.deepEqual(Services.decode(posted[0][1]), { t: 'edit', n: [0], c: 'Name', v: "a'b", u: house().roots[0].data.uid[0] });
  });
});

describe('a large document', () => {
  afterEach(() => {
    delete globalThis.window;
    delete globalThis.requestAnimationFrame;
  });

  test('shows its first rows from its first nodes, then the whole; the preview edits and answers nothing', async () => {
    installBridge();
    globalThis.requestAnimationFrame = (fn) => setTimeout(fn, 0);
    const stub = path.join(import.meta.dirname, 'viewStub');
    const [Filter, Services] = await loader({ 'ZQ/DXInputFilterDisplay/FilterView': stub })(
      ['ZQ/DXInputFilterDisplay/Filter', 'ZQ/SelectiveWebUI_TST/InputFilteringSimulateScenario']);
    const view = await Filter.attach({});
    const { text } = bigDocument(25000);
    const during = {};
    view.onShow = () => {
      if (!Filter.model().partial) return;
      during.answer = Filter.sendNewJson('onApplyClick');
      during.edited = Filter.perform({ t: 'edit', n: [0], c: 'Name', v: 'early' });
      during.replay = Filter.simulate(Services.encode({ t: 'edit', n: [0], c: 'Name', v: 'replayed' }));
    };
    await Filter.init(text);
    assert.deepEqual(view.shown.map((s) => s.partial), [true, false]);
    assert.ok(view.shown[0].size < view.shown[1].size);
    assert.equal(during.answer, text, 'answered as it came');
    assert.equal(during.edited, false);
    assert.equal(await during.replay, true, 'a replay waits for the whole');
    assert.equal(JSON.parse(Filter.sendNewJson('onOkClick')).roots[0].grid.Name, 'replayed');
  });
});

describe('edits kept across a reload', () => {
  afterEach(() => {
    delete globalThis.window;
    delete globalThis.sessionStorage;
  });

  test('come back on the same document, and never on another one', async () => {
    installBridge();
    const stored = new Map();
    globalThis.sessionStorage = {
      getItem: (k) => (stored.has(k) ? stored.get(k) : null),
      setItem: (k, v) => stored.set(k, String(v)),
      removeItem: (k) => stored.delete(k),
    };
    const nameOf = (Filter) => JSON.parse(Filter.sendNewJson('onApplyClick')).roots[0].grid.Name;
    let { Filter } = await freshFilter();
    await Filter.init(houseText());
    assert.equal(Filter.perform({ t: 'edit', n: [0], c: 'Name', v: 'kept' }), true);

    ({ Filter } = await freshFilter());
    await Filter.init(houseText());
    assert.equal(nameOf(Filter), 'kept', 'the reload made the edit again');

    const other = house();
    other.roots[0].label = 'Another project';
    ({ Filter } = await freshFilter());
    await Filter.init(JSON.stringify(other));
    assert.equal(nameOf(Filter), undefined, 'another document is left as it came');
  });
});
