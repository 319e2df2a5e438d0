// End to end: dxfilter shows the filter dialog, a headless Chromium plays the user, and
// what the import reads back (dxfilter resolve) must show the user's edits exactly
// where they were made.
import { describe, test, before } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { browserCommand, missingBrowser } from './support/browser.mjs';
import { browserSuite, finishOk as ok, openDialog } from './support/filterPage.mjs';
import { Session, answers, changes, ended, missingBuild, runOk, sampleHouse, uidOf } from './support/dxfilter.mjs';

const unavailable = missingBuild() ?? (await missingBrowser());

describe('filtering in the browser', { skip: unavailable ?? false }, () => {
  const suite = browserSuite('dx-e2e-');
  let settings;
  const file = (name) => path.join(suite.dir, name);

  before(() => {
    settings = file('settings.json');
    fs.writeFileSync(settings, JSON.stringify({ format: 'IFC', settings: { defaultProfile: 'ForDesign' } }));
  });

  test('a recorded session replays to the same answers', async (t) => {
    const scenario = file('scenario.jsonl');
    const { session, dialog } = await openDialog(t, suite.browser, ['record', scenario, 'IFC', sampleHouse, '--settings', settings, '-o', file('recorded.json')]);
    assert.deepEqual(await dialog.page.locator('#qor-buttons button').allTextContents(), ['OK', 'Save', 'Cancel']);
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
    await dialog.menu('Roof Level', 'Import', 'Untick for the whole subtree');
    assert.equal(await dialog.summary(), '33 of 38 entities will be imported');
    assert.match((await ok(session, dialog)).stdout, /^33 of 38 entities will be imported$/m);

    const lines = fs.readFileSync(scenario, 'utf8').trim().split('\n').map((line) => JSON.parse(line));
    assert.deepEqual([lines.length, lines.at(-1)], [12, { button: 'OK' }]);
    const recorded = await answers(file('recorded.json'));
    const id = (label) => uidOf(recorded, label);
    await runOk(['generate', 'IFC', sampleHouse, '--settings', settings, '-o', file('generated-again.json')]);
    const edits = changes(await answers(file('generated-again.json')), recorded);
    assert.deepEqual(['Window Living Room Import', 'Wall West Name', 'Living Room ImportMode', 'Bathroom Door ImportMode', 'Roof Slab North Import']
      .map((key) => edits.get(key.replace(/(.*) (\w+)$/, (_, label, name) => `${id(label)} ${name}`))),
    [['true', 'false'], ['Wall West', 'Wall West (kept)'], ['ForDesign', 'ForLifecycle'], [undefined, 'ForCoordination'], ['true', 'false']]);
    assert.equal(edits.size, 3 + 13 + 4, 'three edits on the ground floor, the first floor and its 12 entities, the roof and its 3');

    // Replayed by dxfilter in a browser it starts itself.
    const chromium = browserCommand(suite.dir);
    t.after(() => chromium.stop());
    const replaying = new Session(['replay', scenario, 'IFC', sampleHouse, '--settings', settings, '-o', file('replayed.json'), '--browser', chromium.command]);
    t.after(() => replaying.stop());
    const result = await replaying.finished(60000);
    assert.equal(result.code, 0, ended(result));
    assert.deepEqual(await answers(file('replayed.json')), recorded);
  });
});
