// End to end: dxfilter shows the filter dialog, a headless Chromium plays the user, and
// what the import reads back (dxfilter resolve) must show the user's edits exactly
// where they were made.
import { describe, test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { browserCommand, launch, missingBrowser } from './support/browser.mjs';
import { FilterDialog } from './support/filterPage.mjs';
import { writeModelOfWalls, copyWithExtraWall, globalId } from './support/ifc.mjs';
import { Session, answers, changes, missingBuild, runOk, sampleHouse, tempDir, uidOf } from './support/dxfilter.mjs';

const unavailable = missingBuild() ?? (await missingBrowser());

// How a session ended, for a failed assertion on its exit.
const ended = (result) => `${result.signal ? `killed by ${result.signal}` : `exit ${result.code}`}: ${result.stderr.trim()}`;


describe('filtering the sample house in the browser', { skip: unavailable ?? false }, () => {
  let browser;
  let dir;
  let settings;
  let generated; // the filter document without edits
  let baseline; // its answers

  before(async () => {
    browser = await launch();
    dir = tempDir();
    settings = path.join(dir, 'settings.json');
    fs.writeFileSync(settings, JSON.stringify({ format: 'IFC', settings: { defaultProfile: 'ForDesign' } }));
    generated = path.join(dir, 'generated.json');
    await runOk(['generate', 'IFC', sampleHouse, '--settings', settings, '-o', generated]);
    baseline = await answers(generated);
  });

  after(async () => {
    await browser?.close();
    if (dir) fs.rmSync(dir, { recursive: true, force: true });
  });

  // Opens `dxfilter edit` in the browser; the caller ends it with OK or Cancel.
  async function edit(t, output) {
    const session = new Session(['edit', 'IFC', sampleHouse, '--settings', settings, '-o', output, '--no-browser']);
    t.after(() => session.stop());
    const dialog = await FilterDialog.open(browser, await session.address());
    t.after(() => dialog.close());
    return { session, dialog };
  }

  test('edits of a tick, a list, a text and a subtree reach the import there and nowhere else', async (t) => {
    const output = path.join(dir, 'edited.json');
    const { session, dialog } = await edit(t, output);
    assert.deepEqual(await dialog.buttonNames(), ['OK', 'Cancel']);
    assert.equal(await dialog.summary(), '38 of 38 entities will be imported');

    await dialog.expand('Ground Floor');
    await dialog.toggle('Wall South', 'Import');
    const list = await dialog.openList('Hall', 'Import mode');
    assert.deepEqual(await list.locator('.list-item').allTextContents(),
      ['NoImport', 'ForLifecycle', 'ForCoordination', 'ForDesign']);
    await list.locator('.list-item', { hasText: 'ForCoordination' }).click();
    await (await dialog.cell('Hall', 'Import mode')).locator('.chip', { hasText: /^ForCoordination$/ }).waitFor();
    await dialog.type('Front Door', 'Name', 'Main Entrance');
    await dialog.menu('Roof Level', 'Import', 'Untick for the whole subtree');
    assert.equal(await dialog.summary(), '33 of 38 entities will be imported');

    // A list opened and left with Escape changes nothing.
    await dialog.collapse('Ground Floor');
    await dialog.expand('First Floor');
    const left = await dialog.openList('Bedroom 2', 'Import mode');
    await dialog.page.keyboard.press('ArrowUp');
    assert.equal(await dialog.frame.locator('.list-field').inputValue(), 'ForCoordination');
    await dialog.page.keyboard.press('Escape');
    await left.waitFor({ state: 'detached' });

    await dialog.button('OK');
    const result = await session.finished();
    assert.equal(result.code, 0, ended(result));
    assert.match(result.stdout, /^33 of 38 entities will be imported$/m);

    const edited = await answers(output);
    assert.deepEqual([...edited.keys()].sort(), [...baseline.keys()].sort(), 'the same entities');
    const id = (label) => uidOf(baseline, label);
    const expected = new Map([
      [`${id('Wall South')} Import`, ['true', 'false']],
      [`${id('Hall')} ImportMode`, ['ForDesign', 'ForCoordination']],
      [`${id('Front Door')} Name`, ['Front Door', 'Main Entrance']],
      [`${id('Roof Level')} Import`, ['true', 'false']],
      [`${id('Roof')} Import`, ['true', 'false']],
      [`${id('Roof Slab North')} Import`, ['true', 'false']],
      [`${id('Roof Slab South')} Import`, ['true', 'false']],
    ]);
    assert.deepEqual(changes(baseline, edited), expected);
    assert.deepEqual(dialog.alerts, []);
    assert.deepEqual(dialog.errors, []);
  });

  test('Cancel exits 3 and writes nothing, whatever was edited', async (t) => {
    const output = path.join(dir, 'cancelled.json');
    const { session, dialog } = await edit(t, output);
    await dialog.toggle('Roof Level', 'Import');
    await dialog.button('Cancel');
    const result = await session.finished();
    assert.equal(result.code, 3, ended(result));
    assert.equal(result.stdout, '');
    assert.match(result.stderr, /cancelled, nothing written/);
    assert.equal(fs.existsSync(output), false);
  });

  test('a reload keeps the edits made before it, and OK answers with those and the later ones', async (t) => {
    const output = path.join(dir, 'reloaded.json');
    const { session, dialog } = await edit(t, output);
    const first = await dialog.labels();
    await dialog.expand('Ground Floor');
    await dialog.toggle('Wall North', 'Import');

    await dialog.page.reload();
    await dialog.ready();
    assert.deepEqual(await dialog.labels(), first);
    assert.equal(await dialog.summary(), '37 of 38 entities will be imported');
    assert.equal(await dialog.checked('Ground Floor', 'Import'), 'mixed', 'the storey shows the edit below it');

    await dialog.toggle('Roof Level', 'Import', { alone: true });
    await dialog.button('OK');
    const result = await session.finished();
    assert.equal(result.code, 0, ended(result));
    const edited = await answers(output);
    assert.deepEqual(changes(baseline, edited), new Map([
      [`${uidOf(baseline, 'Wall North')} Import`, ['true', 'false']],
      [`${uidOf(baseline, 'Roof Level')} Import`, ['true', 'false']],
    ]));
    assert.deepEqual(dialog.errors, []);
  });
});

describe('labels that look like markup or script stay text', { skip: unavailable ?? false }, () => {
  const walls = [
    { name: '<img src=x onerror=alert(1)>', description: '</script><script>alert(2)</script>' },
    { name: "it's a \\ backslash, \\X2\\ is no escape", description: "<b onmouseover=alert(3)>'\"</b>" },
    { name: 'line\u2028separator\u2029paragraph' },
    { name: 'house \u{1F3E0} in UTF-16 units', wide: 'X2' },
    { name: 'face \u{1F600} as one code point', wide: 'X4' },
  ];
  let browser;
  let dir;
  let model;
  let generated;

  before(async () => {
    browser = await launch();
    dir = tempDir();
    model = path.join(dir, 'hostile.ifc');
    writeModelOfWalls(model, walls);
    generated = path.join(dir, 'generated.json');
    await runOk(['generate', 'IFC', model, '-o', generated]);
  });

  after(async () => {
    await browser?.close();
    if (dir) fs.rmSync(dir, { recursive: true, force: true });
  });

  async function edit(t, output) {
    const session = new Session(['edit', 'IFC', model, '-o', output, '--no-browser']);
    t.after(() => session.stop());
    const dialog = await FilterDialog.open(browser, await session.address());
    t.after(() => dialog.close());
    await dialog.expand('Only Storey');
    return { session, dialog };
  }

  async function imageCount(dialog) {
    const inWindow = await dialog.page.locator('img').count();
    return inWindow + await dialog.frame.locator('img').count();
  }

  test('they show as written, run nothing, and an unedited document comes back byte for byte', async (t) => {
    const output = path.join(dir, 'unedited.json');
    const { session, dialog } = await edit(t, output);
    const rows = await dialog.texts(['Entity', 'Name', 'Description']);
    const shown = rows.slice(4).map(([label, name, description]) => ({ label, name, description }));
    const expected = walls.map((w) => ({ label: w.name, name: w.name, description: w.description ?? '' }));
    const byLabel = (a, b) => (a.label < b.label ? -1 : a.label > b.label ? 1 : 0);
    assert.deepEqual(shown.sort(byLabel), expected.sort(byLabel));
    assert.equal(await imageCount(dialog), 0);

    await dialog.button('OK');
    const result = await session.finished();
    assert.equal(result.code, 0, ended(result));
    assert.ok(fs.readFileSync(output).equals(fs.readFileSync(generated)), 'the same bytes as the generated document');
    assert.deepEqual(dialog.alerts, []);
    assert.deepEqual(dialog.errors, []);
  });

  test('a typed value of quotes, markup and astral characters reaches the import unchanged', async (t) => {
    const output = path.join(dir, 'typed.json');
    const { session, dialog } = await edit(t, output);
    const value = "</script><img src=y onerror=alert(4)> it's \\' \u2028 \u{1F9F1}";
    await dialog.type('<img src=x onerror=alert(1)>', 'Name', value);
    assert.equal(await imageCount(dialog), 0);
    await dialog.button('OK');
    const result = await session.finished();
    assert.equal(result.code, 0, ended(result));

    const before = await answers(generated);
    const edited = await answers(output);
    const uid = uidOf(before, '<img src=x onerror=alert(1)>');
    assert.deepEqual(changes(before, edited), new Map([[`${uid} Name`, ['<img src=x onerror=alert(1)>', value]]]));
    assert.deepEqual(dialog.alerts, []);
    assert.deepEqual(dialog.errors, []);
  });
});

describe('a recorded session replays on the same model and on a later version of it', { skip: unavailable ?? false }, () => {
  let browser;
  let dir;
  let settings;
  let later; // the sample house with one wall more
  let scenario;
  let recorded; // answers of the recorded session

  before(async () => {
    browser = await launch();
    dir = tempDir();
    settings = path.join(dir, 'settings.json');
    fs.writeFileSync(settings, JSON.stringify({ format: 'IFC', settings: { defaultProfile: 'ForDesign' } }));
    // "Wall Annex" sorts before the other walls of the ground floor: the elements
    // after it move one place down in the tree.
    later = path.join(dir, 'SampleHouseLater.ifc');
    copyWithExtraWall(sampleHouse, later, {
      globalId: globalId(424242), name: 'Wall Annex', container: '#32', placement: '#45', shape: '#52',
    });
    scenario = path.join(dir, 'scenario.jsonl');
  });

  after(async () => {
    await browser?.close();
    if (dir) fs.rmSync(dir, { recursive: true, force: true });
  });

  async function replay(t, model, name) {
    const output = path.join(dir, `${name}.json`);
    const chromium = browserCommand(dir, name);
    t.after(() => chromium.stop());
    const session = new Session(['replay', scenario, 'IFC', model, '--settings', settings, '-o', output,
      '--browser', chromium.command]);
    t.after(() => session.stop());
    const result = await session.finished(60000);
    assert.equal(result.code, 0, ended(result));
    assert.match(result.stdout, /^\d+ of \d+ entities will be imported$/m);
    return answers(output);
  }

  test('what the user does is recorded, then the button', async (t) => {
    const output = path.join(dir, 'recorded.json');
    const session = new Session(['record', scenario, 'IFC', sampleHouse, '--settings', settings, '-o', output, '--no-browser']);
    t.after(() => session.stop());
    const dialog = await FilterDialog.open(browser, await session.address());
    t.after(() => dialog.close());
    assert.deepEqual(await dialog.buttonNames(), ['OK', 'Save', 'Cancel']);

    await dialog.expand('Ground Floor');
    await dialog.toggle('Window Living Room', 'Import');
    await dialog.type('Wall West', 'Name', 'Wall West (kept)');
    await dialog.choose('Living Room', 'Import mode', 'ForLifecycle');
    await dialog.type('Kitchen Door', 'Name', 'undone');
    await dialog.frame.locator('#undo').click();
    // Undone, the name is the label again: shown once, in the tree.
    await (await dialog.cell('Kitchen Door', 'Name')).locator('.cell-same[aria-label="Kitchen Door"]').waitFor();
    await dialog.collapse('Ground Floor');
    await dialog.expand('First Floor');
    await dialog.choose('First Floor', 'Import mode', 'ForCoordination');
    await dialog.frame.locator('#set-subtree').click();
    await (await dialog.cell('Bathroom', 'Import mode')).locator('.chip', { hasText: /^ForCoordination$/ }).waitFor();
    await dialog.button('OK');
    const result = await session.finished();
    assert.equal(result.code, 0, ended(result));

    const lines = fs.readFileSync(scenario, 'utf8').trim().split('\n').map((line) => JSON.parse(line));
    assert.deepEqual(lines.at(-1), { button: 'OK' });
    const kinds = lines.slice(0, -1).map(({ interaction }) => {
      assert.match(interaction, /^[A-Za-z0-9_-]+$/);
      return JSON.parse(Buffer.from(interaction, 'base64url').toString('utf8')).t;
    });
    assert.deepEqual(kinds, ['expand', 'edit', 'edit', 'edit', 'edit', 'undo', 'collapse', 'expand', 'edit', 'subtree']);

    recorded = await answers(output);
    const id = (label) => uidOf(recorded, label);
    const edits = changes(await answers(await generated(sampleHouse, 'generated')), recorded);
    assert.deepEqual(edits.get(`${id('Window Living Room')} Import`), ['true', 'false']);
    assert.deepEqual(edits.get(`${id('Wall West')} Name`), ['Wall West', 'Wall West (kept)']);
    assert.deepEqual(edits.get(`${id('Living Room')} ImportMode`), ['ForDesign', 'ForLifecycle']);
    assert.deepEqual(edits.get(`${id('Bathroom Door')} ImportMode`), [undefined, 'ForCoordination']);
    assert.equal(edits.size, 3 + 13, 'three edits on the ground floor, the first floor and its 12 entities');
    assert.deepEqual(dialog.errors, []);
  });

  test('replayed on the same model, it gives the same answers', async (t) => {
    assert.ok(recorded, 'the recording test ran');
    assert.deepEqual(await replay(t, sampleHouse, 'same'), recorded);
  });

  test('replayed on a later version, every entity both have gets the same answers', async (t) => {
    assert.ok(recorded, 'the recording test ran');
    const replayed = await replay(t, later, 'later');
    const added = uidOf(replayed, 'Wall Annex');
    assert.deepEqual([...replayed.keys()].filter((uid) => !recorded.has(uid)), [added]);
    assert.deepEqual(changes(recorded, replayed), new Map());
    const untouched = await answers(await generated(later, 'later-generated'));
    assert.deepEqual(replayed.get(added), untouched.get(added), 'the new wall keeps its own answers');
  });

  async function generated(model, name) {
    const output = path.join(dir, `${name}.json`);
    await runOk(['generate', 'IFC', model, '--settings', settings, '-o', output]);
    return output;
  }
});
