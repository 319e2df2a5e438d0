// End to end: a model's choices made in the browser travel to its next versions with
// `--carry`, the page marks what is new and lists what is gone, and the import of the
// next version reads the choices on the right entities.
import { describe, test, before } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { missingBrowser } from './support/browser.mjs';
import { axeViolations, browserSuite, finishOk, openDialog } from './support/filterPage.mjs';
import { writeModelOfWalls, globalId } from './support/ifc.mjs';
import { answers, missingBuild } from './support/dxfilter.mjs';

const unavailable = missingBuild() ?? (await missingBrowser());

// Two weeks of one model. Week 2: A renamed, B moved up a storey, C removed, E given a
// new GlobalId (gone and new at once), F added.
const WEEK1 = [
  { id: 100, name: 'Wall A', storey: 0 }, { id: 101, name: 'Wall B', storey: 0 },
  { id: 102, name: 'Wall C', storey: 1 }, { id: 103, name: 'Wall D', storey: 1 }, { id: 104, name: 'Wall E', storey: 1 },
];
const WEEK2 = [
  { id: 100, name: 'Wall A renamed', storey: 0 }, { id: 105, name: 'Wall F', storey: 0 },
  { id: 101, name: 'Wall B', storey: 1 }, { id: 103, name: 'Wall D', storey: 1 }, { id: 204, name: 'Wall E', storey: 1 },
];
const CONTAINERS = ['Test Project', 'Test Site', 'Test Building', 'Level 0', 'Level 1'];

describe('carrying choices made in the browser to the next versions of a model', { skip: unavailable ?? false }, () => {
  const suite = browserSuite('dx-carry-');
  let settings;
  const model = (week) => path.join(suite.dir, `week${week}.ifc`);
  const filter = (week) => path.join(suite.dir, `week${week}.filter.json`);
  const readData = (file) => JSON.parse(fs.readFileSync(file, 'utf8')).data;

  before(() => {
    settings = path.join(suite.dir, 'settings.json');
    fs.writeFileSync(settings, JSON.stringify({ format: 'IFC', settings: { defaultProfile: 'ForDesign' } }));
    [WEEK1, WEEK2].forEach((walls, k) => writeModelOfWalls(model(k + 1), walls, ['Level 0', 'Level 1']));
  });

  const edit = (t, week, ...carry) =>
    openDialog(t, suite.browser, ['edit', 'IFC', model(week), '--settings', settings, '-o', filter(week), ...carry]);

  const badged = (dialog) => dialog.frame.locator('.tg-body .tg-row:has(.badge-new) .kind-tree .cell-label').allTextContents();

  test('week 1 edited, week 2 carried: the choices in place, the new entities marked and the gone ones listed', async (t) => {
    let { session, dialog } = await edit(t, 1);
    await dialog.setOpen('Level 0', true);
    await dialog.setOpen('Level 1', true);

    await dialog.toggle('Wall A', 'Import', { alone: true });
    await dialog.choose('Wall B', 'Import mode', 'ForCoordination');
    await dialog.toggle('Wall C', 'Import', { alone: true });
    await dialog.choose('Wall E', 'Import mode', 'ForLifecycle');
    await finishOk(session, dialog);
    assert.deepEqual([Object.keys(readData(filter(1)).userEdits).length, readData(filter(1)).carry], [4, undefined]);

    // Week 2: the choices are in place, the new entities marked and the gone ones listed.
    ({ session, dialog } = await edit(t, 2, '--carry', filter(1)));
    assert.equal(await dialog.frame.locator('#carry-summary').textContent(), '2 edits carried, 2 new, 2 gone, 2 dropped');

    await dialog.setOpen('Level 0', true);
    await dialog.setOpen('Level 1', true);
    // A rename keeps the choice; a wall under a new GlobalId is a new entity: the old one's choice is not its.
    const mode = async (label) => (await dialog.cell(label, 'Import mode')).textContent();
    assert.deepEqual([await dialog.checked('Wall A renamed', 'Import'), await mode('Wall B'), await dialog.checked('Wall E', 'Import'), await mode('Wall E')],
      ['false', 'ForCoordination', 'true', await mode('Wall D')]);
    assert.deepEqual((await badged(dialog)).sort(), ['Wall E', 'Wall F']);

    // "New since the last filter" shows the new walls and the way to them.
    const newOnly = dialog.frame.getByRole('button', { name: 'New since the last filter' });
    await newOnly.click();
    assert.equal(await newOnly.getAttribute('aria-pressed'), 'true');
    await dialog.row('Wall D').waitFor({ state: 'detached' });
    assert.deepEqual((await dialog.labels()).filter((l) => !CONTAINERS.includes(l)).sort(), ['Wall E', 'Wall F']);
    await newOnly.click();
    await dialog.row('Wall D').waitFor();

    // The gone panel: closed until asked for, then the removed and the re-identified walls.
    const [panel, gone] = [dialog.frame.locator('#gone-panel'), dialog.frame.getByRole('button', { name: 'Gone (2)' })];
    assert.equal(await panel.isHidden(), true);
    await gone.click();
    await panel.waitFor();
    assert.deepEqual([await gone.getAttribute('aria-expanded'), (await panel.locator('li').allTextContents()).sort()], ['true', [globalId(102), globalId(104)].sort()]);
    // Escape closes it and the focus goes back to its button.
    await panel.getByRole('button', { name: 'Close' }).focus();
    await dialog.page.keyboard.press('Escape');
    await panel.waitFor({ state: 'hidden' });
    assert.deepEqual([await gone.getAttribute('aria-expanded'), await gone.evaluate((b) => b === document.activeElement)], ['false', true]);
    await dialog.frame.locator('#carry-summary').click();
    await panel.waitFor();

    // The marks, the panel and its buttons pass an accessibility scan as they are shown.
    assert.deepEqual(await axeViolations(dialog), []);

    await dialog.toggle('Wall F', 'Import', { alone: true });
    await finishOk(session, dialog);
    const data = readData(filter(2));
    // The page adds its own edit to the carried ones and nothing of its marks.
    assert.deepEqual(Object.keys(data.userEdits).sort(), [globalId(100), globalId(101), globalId(105)].sort());
    // The import reads each choice on its entity, the carried ones and the page's own.
    const read = await answers(filter(2));
    assert.deepEqual([[100, 'Import'], [101, 'ImportMode'], [105, 'Import'], [103, 'Import']].map(([id, name]) => read.get(globalId(id)).values[name]),
      ['false', 'ForCoordination', 'false', 'true']);
  });
});
