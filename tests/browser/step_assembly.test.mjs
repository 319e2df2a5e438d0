// A STEP assembly in the filter page: dxfilter shows the sample gearbox, a headless Chromium
// looks at it as a user would, and cancels.
import { describe, test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { launch, missingBrowser } from './support/browser.mjs';
import { FilterDialog } from './support/filterPage.mjs';
import { Session, missingBuild, repo, tempDir } from './support/dxfilter.mjs';

const unavailable = missingBuild() ?? (await missingBrowser());
const gearbox = path.join(repo, 'samples/Gearbox.stp');

describe('the sample gearbox in the browser', { skip: unavailable ?? false }, () => {
  let browser;
  let dir;

  before(async () => {
    browser = await launch();
    dir = tempDir('dx-step-');
  });

  after(async () => {
    await browser?.close();
    if (dir) fs.rmSync(dir, { recursive: true, force: true });
  });

  test('rows follow the product structure, one per occurrence, with their part numbers', async (t) => {
    const output = path.join(dir, 'edited.json');
    const session = new Session(['edit', 'STEP', gearbox, '-o', output, '--no-browser']);
    t.after(() => session.stop());
    const dialog = await FilterDialog.open(browser, await session.address());
    t.after(() => dialog.close());

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
    await dialog.collapse('Gearbox');
    assert.deepEqual(await dialog.labels(), ['Gearbox']);
    assert.equal(await dialog.summary(), '16 of 16 entities will be imported');
    assert.deepEqual(dialog.errors, []);

    await dialog.button('Cancel');
    const result = await session.finished();
    assert.equal(result.code, 3, result.stderr);
    assert.equal(fs.existsSync(output), false);
  });
});
