// End to end: dxfilter shows the filter dialog, a headless Chromium plays the user, and
// what the import reads back (dxfilter resolve) must show the user's edits exactly
// where they were made.
import { describe, test, before } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { browserCommand, missingBrowser } from './support/browser.mjs';
import { browserSuite, finishOk as ok, openDialog } from './support/filterPage.mjs';
import { writeModelOfWalls, copyWithExtraWall, globalId } from './support/ifc.mjs';
import { Session, answers, changes, ended, missingBuild, repo, runOk, sampleHouse, uidOf } from './support/dxfilter.mjs';

const unavailable = missingBuild() ?? (await missingBrowser());
const HOSTILE = '<img src=x onerror=alert(1)>';

describe('filtering in the browser', { skip: unavailable ?? false }, () => {
  const suite = browserSuite('dx-e2e-');
  let settings;
  const file = (name) => path.join(suite.dir, name);
  const images = async (dialog) => (await dialog.page.locator('img').count()) + (await dialog.frame.locator('img').count());

  before(() => {
    settings = file('settings.json');
    fs.writeFileSync(settings, JSON.stringify({ format: 'IFC', settings: { defaultProfile: 'ForDesign' } }));
  });

  // `dxfilter generate`, then the document's answers.
  async function generate(model, output) {
    await runOk(['generate', 'IFC', model, '--settings', settings, '-o', output]);
    return answers(output);
  }

  // Opens `dxfilter edit` (or record) in the browser; the caller ends it with a button.
  function edit(t, model, output, command = ['edit'], format = ['IFC', '--settings', settings]) {
    const [kind, ...options] = format;
    return openDialog(t, suite.browser, [...command, kind, model, ...options, '-o', output]);
  }

  test('edits of a tick, a list, a text and a subtree, kept across a reload, reach the import there and nowhere else', async (t) => {
    const baseline = await generate(sampleHouse, file('generated.json'));
    const { session, dialog } = await edit(t, sampleHouse, file('edited.json'));
    assert.deepEqual(await dialog.buttonNames(), ['OK', 'Cancel']);
    assert.equal(await dialog.summary(), '38 of 38 entities will be imported');
    const first = await dialog.labels();

    await dialog.setOpen('Ground Floor', true);
    await dialog.toggle('Wall South', 'Import');
    const list = await dialog.openList('Hall', 'Import mode');
    assert.deepEqual(await list.locator('.list-item').allTextContents(), ['NoImport', 'ForLifecycle', 'ForCoordination', 'ForDesign']);
    await list.locator('.list-item', { hasText: 'ForCoordination' }).click();
    await (await dialog.cell('Hall', 'Import mode')).locator('.chip', { hasText: /^ForCoordination$/ }).waitFor();
    // A typed value of quotes, markup and astral characters stays text, and reaches the import unchanged.
    const typed = `</script>${HOSTILE} it's \\' \u2028 \u{1F9F1}`;
    await dialog.type('Front Door', 'Name', typed);
    assert.equal(await images(dialog), 0);
    await dialog.menu('Roof Level', 'Import', 'Untick for the whole subtree');
    assert.equal(await dialog.summary(), '33 of 38 entities will be imported');
    // A list opened and left with Escape changes nothing.
    await dialog.setOpen('Ground Floor', false);
    await dialog.setOpen('First Floor', true);
    const left = await dialog.openList('Bedroom 2', 'Import mode');
    await dialog.page.keyboard.press('ArrowUp');
    assert.equal(await dialog.frame.locator('.list-field').inputValue(), 'ForCoordination');
    await dialog.page.keyboard.press('Escape');
    await left.waitFor({ state: 'detached' });

    // A reload keeps the edits; the storey shows the edit below it.
    await dialog.page.reload();
    await dialog.ready();
    assert.deepEqual(dialog.alerts.splice(0), ['beforeunload: '], 'the reload warned first');
    assert.deepEqual(await dialog.labels(), first);
    assert.equal(await dialog.summary(), '33 of 38 entities will be imported');
    assert.equal(await dialog.checked('Ground Floor', 'Import'), 'mixed');
    await dialog.setOpen('Ground Floor', true);
    await dialog.toggle('Wall North', 'Import');

    const result = await ok(session, dialog);
    assert.match(result.stdout, /^32 of 38 entities will be imported$/m);
    const edited = await answers(file('edited.json'));
    assert.deepEqual([...edited.keys()].sort(), [...baseline.keys()].sort(), 'the same entities');
    const id = (label) => uidOf(baseline, label);
    assert.deepEqual(changes(baseline, edited), new Map([
      [`${id('Wall South')} Import`, ['true', 'false']],
      [`${id('Hall')} ImportMode`, ['ForDesign', 'ForCoordination']],
      [`${id('Front Door')} Name`, ['Front Door', typed]],
      ...['Roof Level', 'Roof', 'Roof Slab North', 'Roof Slab South'].map((l) => [`${id(l)} Import`, ['true', 'false']]),
      [`${id('Wall North')} Import`, ['true', 'false']],
    ]));
  });

  test('labels that look like markup or script show as written, run nothing, and come back byte for byte', async (t) => {
    const walls = [
      { name: HOSTILE, description: '</script><script>alert(2)</script>' },
      { name: "it's a \\ backslash, \\X2\\ is no escape", description: "<b onmouseover=alert(3)>'\"</b>" },
      { name: 'line\u2028separator\u2029paragraph' },
      { name: 'house \u{1F3E0} in UTF-16 units', wide: 'X2' },
      { name: 'face \u{1F600} as one code point', wide: 'X4' },
    ];
    const model = file('hostile.ifc');
    writeModelOfWalls(model, walls);
    await generate(model, file('hostile.json'));
    const { session, dialog } = await edit(t, model, file('hostile-ok.json'));
    await dialog.setOpen('Only Storey', true);
    const rows = await dialog.texts(['Entity', 'Name', 'Description']);
    const byLabel = (a, b) => (a[0] < b[0] ? -1 : a[0] > b[0] ? 1 : 0);
    assert.deepEqual(rows.slice(4).sort(byLabel), walls.map((w) => [w.name, w.name, w.description ?? '']).sort(byLabel));
    assert.equal(await images(dialog), 0);
    await ok(session, dialog);
    assert.ok(fs.readFileSync(file('hostile-ok.json')).equals(fs.readFileSync(file('hostile.json'))), 'the same bytes as generated');
  });

  test('a recorded session replays to the same answers, on the same model and on a later version of it', async (t) => {
    const scenario = file('scenario.jsonl');
    const { session, dialog } = await edit(t, sampleHouse, file('recorded.json'), ['record', scenario]);
    assert.deepEqual(await dialog.buttonNames(), ['OK', 'Save', 'Cancel']);
    await dialog.setOpen('Ground Floor', true);
    await dialog.toggle('Window Living Room', 'Import');
    await dialog.type('Wall West', 'Name', 'Wall West (kept)');
    await dialog.choose('Living Room', 'Import mode', 'ForLifecycle');
    await dialog.type('Kitchen Door', 'Name', 'undone');
    await dialog.frame.locator('#undo').click();
    // Undone, the name is the label again: shown once, in the tree.
    await (await dialog.cell('Kitchen Door', 'Name')).locator('.cell-same[aria-label="Kitchen Door"]').waitFor();
    await dialog.setOpen('Ground Floor', false);
    await dialog.setOpen('First Floor', true);
    await dialog.choose('First Floor', 'Import mode', 'ForCoordination');
    await dialog.frame.locator('#set-subtree').click();
    await (await dialog.cell('Bathroom', 'Import mode')).locator('.chip', { hasText: /^ForCoordination$/ }).waitFor();
    await ok(session, dialog);

    const lines = fs.readFileSync(scenario, 'utf8').trim().split('\n').map((line) => JSON.parse(line));
    assert.deepEqual(lines.at(-1), { button: 'OK' });
    const kinds = lines.slice(0, -1).map(({ interaction }) => JSON.parse(Buffer.from(interaction, 'base64url').toString('utf8')).t);
    assert.deepEqual(kinds, ['expand', 'edit', 'edit', 'edit', 'edit', 'undo', 'collapse', 'expand', 'edit', 'subtree']);
    const recorded = await answers(file('recorded.json'));
    const id = (label) => uidOf(recorded, label);
    const edits = changes(await generate(sampleHouse, file('generated-again.json')), recorded);
    assert.deepEqual(edits.get(`${id('Window Living Room')} Import`), ['true', 'false']);
    assert.deepEqual(edits.get(`${id('Wall West')} Name`), ['Wall West', 'Wall West (kept)']);
    assert.deepEqual(edits.get(`${id('Living Room')} ImportMode`), ['ForDesign', 'ForLifecycle']);
    assert.deepEqual(edits.get(`${id('Bathroom Door')} ImportMode`), [undefined, 'ForCoordination']);
    assert.equal(edits.size, 3 + 13, 'three edits on the ground floor, the first floor and its 12 entities');

    async function replay(model, name) {
      const chromium = browserCommand(suite.dir, name);
      t.after(() => chromium.stop());
      const replaying = new Session(['replay', scenario, 'IFC', model, '--settings', settings, '-o', file(`${name}.json`), '--browser', chromium.command]);
      t.after(() => replaying.stop());
      const result = await replaying.finished(60000);
      assert.equal(result.code, 0, ended(result));
      return answers(file(`${name}.json`));
    }
    assert.deepEqual(await replay(sampleHouse, 'same'), recorded);
    // "Wall Annex" sorts before the other walls of the ground floor: the elements after it move one place down.
    const later = file('SampleHouseLater.ifc');
    copyWithExtraWall(sampleHouse, later, { globalId: globalId(424242), name: 'Wall Annex', container: '#32', placement: '#45', shape: '#52' });
    const replayed = await replay(later, 'later');
    const added = uidOf(replayed, 'Wall Annex');
    assert.deepEqual([...replayed.keys()].filter((uid) => !recorded.has(uid)), [added]);
    assert.deepEqual(changes(recorded, replayed), new Map());
    assert.deepEqual(replayed.get(added), (await generate(later, file('later-generated.json'))).get(added), 'the new wall keeps its own answers');
  });

  test('a STEP assembly: rows follow the product structure, one per occurrence, with their part numbers', async (t) => {
    const output = file('gearbox.json');
    const { session, dialog } = await edit(t, path.join(repo, 'samples/Gearbox.stp'), output, ['edit'], ['STEP']);
    // Every occurrence is a row: the bearing twice in each shaft assembly, the bolt four times.
    assert.deepEqual(await dialog.labels(), ['Gearbox',
      'Input shaft', 'Input shaft', 'Bearing, drive side', 'Bearing, free side', 'GEAR-01:1',
      'Output shaft', 'Output shaft', 'Bearing, drive side', 'Bearing, free side', 'Wheel',
      'Housing', 'Cover bolt 1', 'Cover bolt 2', 'Cover bolt 3', 'Cover bolt 4']);
    const rows = await dialog.texts(['Kind', 'Part number', 'Name', 'Instance', 'Quantity']);
    assert.deepEqual(rows[0], ['assembly', 'GBX-100', 'Gearbox', '', '1']);
    assert.deepEqual(rows.slice(1, 6), [
      ['assembly', 'ISA-200', 'Input shaft assembly', 'ISA-200:1', '1'],
      ['part', 'SHF-210', 'Input shaft', 'SHF-210:1', '1'],
      ['part', 'BRG-6204', 'Deep groove ball bearing 6204', 'BRG-6204:1', '2'],
      ['part', 'BRG-6204', 'Deep groove ball bearing 6204', 'BRG-6204:2', '2'],
      // The name written with \X2\ escapes, as the user reads it.
      ['part', 'GEAR-01', 'Pinion \u0428\u0435\u0441\u0442\u0435\u0440\u043d\u044f z=17', 'GEAR-01:1', '1'],
    ]);
    assert.deepEqual(rows[15], ['part', 'BLT-M8', 'Bolt M8x30', 'BLT-M8:4', '4']);
    await dialog.setOpen('Gearbox', false);
    assert.deepEqual(await dialog.labels(), ['Gearbox']);
    assert.equal(await dialog.summary(), '16 of 16 entities will be imported');
    // Without edits the window's close control ends the dialog at once, as Cancel: exit 3, nothing written.
    await dialog.page.locator('#qor-close').click();
    const result = await session.finished();
    assert.equal(result.code, 3, ended(result));
    assert.equal(result.stdout, '');
    assert.match(result.stderr, /cancelled, nothing written/);
    assert.equal(fs.existsSync(output), false);
    assert.deepEqual([dialog.alerts, dialog.errors], [[], []]);
  });
});
