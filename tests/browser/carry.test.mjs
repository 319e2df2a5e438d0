// End to end: a model's choices made in the browser travel to its next versions with
// `--carry`, the page marks what is new and lists what is gone, and the import of the
// last version reads the choices on the right entities.
import { describe, test, before } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { missingBrowser } from './support/browser.mjs';
import { axeViolations, browserSuite, finishOk, openDialog } from './support/filterPage.mjs';
import { writeModelOfWalls, globalId } from './support/ifc.mjs';
import { answers, changes, missingBuild, runOk } from './support/dxfilter.mjs';

const unavailable = missingBuild() ?? (await missingBrowser());

// Three weeks of one model. Week 2: A renamed, B moved up a storey, C removed, E given a
// new GlobalId (gone and new at once), F added. Week 3: D removed, G added.
const WEEK1 = [
  { id: 100, name: 'Wall A', storey: 0 }, { id: 101, name: 'Wall B', storey: 0 },
  { id: 102, name: 'Wall C', storey: 1 }, { id: 103, name: 'Wall D', storey: 1 }, { id: 104, name: 'Wall E', storey: 1 },
];
const WEEK2 = [
  { id: 100, name: 'Wall A renamed', storey: 0 }, { id: 105, name: 'Wall F', storey: 0 },
  { id: 101, name: 'Wall B', storey: 1 }, { id: 103, name: 'Wall D', storey: 1 }, { id: 204, name: 'Wall E', storey: 1 },
];
const WEEK3 = [
  { id: 100, name: 'Wall A renamed', storey: 0 }, { id: 105, name: 'Wall F', storey: 0 }, { id: 106, name: 'Wall G', storey: 0 },
  { id: 101, name: 'Wall B', storey: 1 }, { id: 204, name: 'Wall E', storey: 1 },
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
    [WEEK1, WEEK2, WEEK3].forEach((walls, k) => writeModelOfWalls(model(k + 1), walls, ['Level 0', 'Level 1']));
  });

  async function edit(t, week, carryFrom) {
    const carry = carryFrom ? ['--carry', carryFrom] : [];
    return openDialog(t, suite.browser, ['edit', 'IFC', model(week), '--settings', settings, '-o', filter(week), ...carry]);
  }

  const badged = (dialog) => dialog.frame.locator('.tg-body .tg-row:has(.badge-new) .kind-tree .cell-label').allTextContents();

  test('week 1: a document without a carry shows no marks', async (t) => {
    const { session, dialog } = await edit(t, 1);
    assert.equal(await dialog.frame.locator('#carry-group').isHidden(), true);
    assert.equal(await dialog.frame.locator('#carry-summary').isHidden(), true);
    await dialog.setOpen('Level 0', true);
    await dialog.setOpen('Level 1', true);
    assert.deepEqual(await badged(dialog), []);

    await dialog.toggle('Wall A', 'Import', { alone: true });
    await dialog.choose('Wall B', 'Import mode', 'ForCoordination');
    await dialog.toggle('Wall C', 'Import', { alone: true });
    await dialog.choose('Wall E', 'Import mode', 'ForLifecycle');
    await finishOk(session, dialog);
    assert.equal(Object.keys(readData(filter(1)).userEdits).length, 4);
    assert.equal(readData(filter(1)).carry, undefined);
  });

  test('week 2: the choices are in place, the new entities marked and the gone ones listed', async (t) => {
    const { session, dialog } = await edit(t, 2, filter(1));
    const summary = '2 edits carried, 2 new, 2 gone, 2 dropped';
    assert.equal(await dialog.frame.locator('#carry-summary').textContent(), summary);

    await dialog.setOpen('Level 0', true);
    await dialog.setOpen('Level 1', true);
    assert.equal(await dialog.checked('Wall A renamed', 'Import'), 'false', 'a rename keeps the choice');
    await (await dialog.cell('Wall B', 'Import mode')).locator('.chip', { hasText: /^ForCoordination$/ }).waitFor();
    assert.equal(await dialog.checked('Wall E', 'Import'), 'true');
    assert.equal(await (await dialog.cell('Wall E', 'Import mode')).textContent(),
      await (await dialog.cell('Wall D', 'Import mode')).textContent(),
      'a wall under a new GlobalId is a new entity: the old one\'s choice is not its');
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
    const panel = dialog.frame.locator('#gone-panel');
    assert.equal(await panel.isHidden(), true);
    const gone = dialog.frame.getByRole('button', { name: 'Gone (2)' });
    await gone.click();
    await panel.waitFor();
    assert.equal(await gone.getAttribute('aria-expanded'), 'true');
    assert.deepEqual((await panel.locator('li').allTextContents()).sort(), [globalId(102), globalId(104)].sort());
    await panel.getByRole('button', { name: 'Close' }).click();
    await panel.waitFor({ state: 'hidden' });
    assert.equal(await gone.getAttribute('aria-expanded'), 'false');
    // From the keyboard: Escape closes it and the focus goes back to its button.
    await gone.press('Enter');
    await panel.getByRole('button', { name: 'Close' }).focus();
    await dialog.page.keyboard.press('Escape');
    await panel.waitFor({ state: 'hidden' });
    assert.equal(await gone.evaluate((b) => b === document.activeElement), true);
    await dialog.frame.locator('#carry-summary').click();
    await panel.waitFor();

    // The marks, the panel and its buttons pass an accessibility scan as they are shown.
    assert.deepEqual(await axeViolations(dialog), []);

    await dialog.toggle('Wall F', 'Import', { alone: true });
    await finishOk(session, dialog);
    const data = readData(filter(2));
    // The page adds its own edit to the carried ones and nothing of its marks.
    assert.deepEqual(Object.keys(data.userEdits).sort(), [globalId(100), globalId(101), globalId(105)].sort());
    assert.deepEqual(data.carry.new.slice().sort(), [globalId(105), globalId(204)].sort());
    assert.equal(data.carry.carried, 2);
    assert.equal(data.carry.dropped, 2);
  });

  test('week 3: carried once more, the import reads every choice on its entity', async () => {
    const plain = path.join(suite.dir, 'week3.plain.json');
    await runOk(['generate', 'IFC', model(3), '--settings', settings, '-o', plain]);
    const { stdout } = await runOk(['generate', 'IFC', model(3), '--settings', settings, '-o', filter(3), '--carry', filter(2)]);
    assert.match(stdout, /^3 edits carried, 1 new, 1 gone, 0 dropped$/m);

    const baseline = await answers(plain);
    const carried = await answers(filter(3));
    assert.deepEqual([...carried.keys()].sort(), [...baseline.keys()].sort());
    assert.deepEqual(changes(baseline, carried), new Map([
      [`${globalId(100)} Import`, ['true', 'false']],
      [`${globalId(101)} ImportMode`, [undefined, 'ForCoordination']], // a wall takes its storey's mode unless set
      [`${globalId(105)} Import`, ['true', 'false']],
    ]));
    const fresh = JSON.parse((await runOk(['resolve', filter(3), '--where', 'new', '--json'])).stdout);
    assert.deepEqual(fresh.entities.map((e) => [e.uid, e.label]), [[globalId(106), 'Wall G']]);
    const data = readData(filter(3));
    assert.deepEqual(data.carry.new, [globalId(106)]);
    assert.deepEqual(data.carry.gone, [globalId(103)]);
  });
});
