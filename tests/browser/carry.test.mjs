// End to end: a model's choices made in the browser travel to its next versions with
// `--carry`, the page marks what is new and lists what is gone, and the import of the
// last version reads the choices on the right entities.
import { describe, test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { launch, missingBrowser } from './support/browser.mjs';
import { FilterDialog } from './support/filterPage.mjs';
import { MODEL_PREAMBLE, globalId } from './support/ifc.mjs';
import { Session, answers, changes, missingBuild, runOk, tempDir } from './support/dxfilter.mjs';

const unavailable = missingBuild() ?? (await missingBrowser());

const require = createRequire(import.meta.url);

const ended = (result) => `${result.signal ? `killed by ${result.signal}` : `exit ${result.code}`}: ${result.stderr.trim()}`;

// Project, site, building, two storeys and the given walls: { id, name, storey } where
// id numbers the GlobalId and storey is 0 or 1.
function writeVersion(file, walls) {
  const lines = [
    ...MODEL_PREAMBLE,
    `#11=IFCPROJECT('${globalId(1)}',#5,'Test Project',$,$,$,$,(#10),#7);`,
    '#12=IFCLOCALPLACEMENT($,#9);',
    `#13=IFCSITE('${globalId(2)}',#5,'Test Site',$,$,#12,$,$,.ELEMENT.,$,$,$,$,$);`,
    `#14=IFCBUILDING('${globalId(3)}',#5,'Test Building',$,$,#12,$,$,.ELEMENT.,$,$,$);`,
    `#15=IFCBUILDINGSTOREY('${globalId(4)}',#5,'Level 0',$,$,#12,$,$,.ELEMENT.,0.);`,
    `#16=IFCBUILDINGSTOREY('${globalId(5)}',#5,'Level 1',$,$,#12,$,$,.ELEMENT.,3000.);`,
    `#17=IFCRELAGGREGATES('${globalId(6)}',#5,$,$,#11,(#13));`,
    `#18=IFCRELAGGREGATES('${globalId(7)}',#5,$,$,#13,(#14));`,
    `#19=IFCRELAGGREGATES('${globalId(8)}',#5,$,$,#14,(#15,#16));`,
  ];
  const contained = [[], []];
  walls.forEach((wall, k) => {
    const step = 100 + k;
    lines.push(`#${step}=IFCWALL('${globalId(wall.id)}',#5,'${wall.name}','',$,#12,$,$,.STANDARD.);`);
    contained[wall.storey].push(`#${step}`);
  });
  contained.forEach((ids, s) => {
    if (ids.length) lines.push(`#${90 + s}=IFCRELCONTAINEDINSPATIALSTRUCTURE('${globalId(9 + s)}',#5,$,$,(${ids.join(',')}),#${15 + s});`);
  });
  fs.writeFileSync(file, ['ISO-10303-21;', 'HEADER;', "FILE_DESCRIPTION(('ViewDefinition [ReferenceView]'),'2;1');",
    "FILE_NAME('test.ifc','2024-05-14T10:00:00',(''),(''),'','','');", "FILE_SCHEMA(('IFC4'));", 'ENDSEC;', 'DATA;',
    ...lines, 'ENDSEC;', 'END-ISO-10303-21;', ''].join('\n'));
}

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
  let browser;
  let dir;
  let settings;
  const model = (week) => path.join(dir, `week${week}.ifc`);
  const filter = (week) => path.join(dir, `week${week}.filter.json`);
  const readData = (file) => JSON.parse(fs.readFileSync(file, 'utf8')).data;

  before(async () => {
    browser = await launch();
    dir = tempDir('dx-carry-');
    settings = path.join(dir, 'settings.json');
    fs.writeFileSync(settings, JSON.stringify({ format: 'IFC', settings: { defaultProfile: 'ForDesign' } }));
    writeVersion(model(1), WEEK1);
    writeVersion(model(2), WEEK2);
    writeVersion(model(3), WEEK3);
  });

  after(async () => {
    await browser?.close();
    if (dir) fs.rmSync(dir, { recursive: true, force: true });
  });

  async function edit(t, week, carryFrom) {
    const args = ['edit', 'IFC', model(week), '--settings', settings, '-o', filter(week), '--no-browser'];
    if (carryFrom) args.push('--carry', carryFrom);
    const session = new Session(args);
    t.after(() => session.stop());
    const dialog = await FilterDialog.open(browser, await session.address());
    t.after(() => dialog.close());
    return { session, dialog };
  }

  async function ok(session, dialog) {
    await dialog.button('OK');
    const result = await session.finished();
    assert.equal(result.code, 0, ended(result));
    assert.deepEqual(dialog.alerts, []);
    assert.deepEqual(dialog.errors, []);
    return result;
  }

  const badged = (dialog) => dialog.frame.locator('.tg-body .tg-row:has(.badge-new) .kind-tree .cell-label').allTextContents();

  test('week 1: a document without a carry shows no marks', async (t) => {
    const { session, dialog } = await edit(t, 1);
    assert.equal(await dialog.frame.locator('#carry-group').isHidden(), true);
    assert.equal(await dialog.frame.locator('#carry-summary').isHidden(), true);
    await dialog.expand('Level 0');
    await dialog.expand('Level 1');
    assert.deepEqual(await badged(dialog), []);

    await dialog.toggle('Wall A', 'Import', { alone: true });
    await dialog.choose('Wall B', 'Import mode', 'ForCoordination');
    await dialog.toggle('Wall C', 'Import', { alone: true });
    await dialog.choose('Wall E', 'Import mode', 'ForLifecycle');
    await ok(session, dialog);
    assert.equal(Object.keys(readData(filter(1)).userEdits).length, 4);
    assert.equal(readData(filter(1)).carry, undefined);
  });

  test('week 2: the choices are in place, the new entities marked and the gone ones listed', async (t) => {
    const { session, dialog } = await edit(t, 2, filter(1));
    const summary = '2 edits carried, 2 new, 2 gone, 2 dropped';
    assert.equal(await dialog.frame.locator('#carry-summary').textContent(), summary);

    await dialog.expand('Level 0');
    await dialog.expand('Level 1');
    assert.equal(await dialog.checked('Wall A renamed', 'Import'), 'false', 'a rename keeps the choice');
    await (await dialog.cell('Wall B', 'Import mode')).locator('.chip', { hasText: /^ForCoordination$/ }).waitFor();
    assert.equal(await dialog.checked('Wall E', 'Import'), 'true');
    assert.equal(await (await dialog.cell('Wall E', 'Import mode')).textContent(),
      await (await dialog.cell('Wall D', 'Import mode')).textContent(),
      'a wall under a new GlobalId is a new entity: the old one\'s choice is not its');
    assert.deepEqual((await badged(dialog)).sort(), ['Wall E', 'Wall F']);

    // The badge reads well on its row.
    const contrast = await dialog.frame.locator('.badge-new').first().evaluate((badge) => {
      const rgb = (c) => c.match(/[\d.]+/g).slice(0, 3).map(Number)
        .map((v) => v / 255).map((v) => (v <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4));
      const lum = (c) => { const [r, g, b] = rgb(c); return 0.2126 * r + 0.7152 * g + 0.0722 * b; };
      const style = getComputedStyle(badge);
      const [a, b] = [lum(style.color), lum(style.backgroundColor)].sort((x, y) => y - x);
      return (a + 0.05) / (b + 0.05);
    });
    assert.ok(contrast >= 4.5, `badge contrast ${contrast.toFixed(2)}`);

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
    const frame = dialog.page.frames().find((f) => f.url().includes('FilterJS.html'));
    await frame.evaluate(fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8'));
    const violations = await frame.evaluate(async () => {
      const result = await window.axe.run(document, { resultTypes: ['violations'] });
      return result.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical')
        .map((v) => `${v.id}: ${v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join(' | ')}`);
    });
    assert.deepEqual(violations, []);

    await dialog.toggle('Wall F', 'Import', { alone: true });
    await ok(session, dialog);
    const data = readData(filter(2));
    // The page adds its own edit to the carried ones and nothing of its marks.
    assert.deepEqual(Object.keys(data.userEdits).sort(), [globalId(100), globalId(101), globalId(105)].sort());
    assert.deepEqual(data.carry.new.slice().sort(), [globalId(105), globalId(204)].sort());
    assert.equal(data.carry.carried, 2);
    assert.equal(data.carry.dropped, 2);
  });

  test('week 3: carried once more, the import reads every choice on its entity', async () => {
    const plain = path.join(dir, 'week3.plain.json');
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
