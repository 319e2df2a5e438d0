// The filter page on a building of a few thousand entities, as a user works with it:
// ticks that cascade, types grouped, renames, reloading, leaving, keyboard and accessibility.
// What the import reads back (dxfilter resolve) is checked once the session ends.
import { describe, test, before } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { missingBrowser } from './support/browser.mjs';
import { axeViolations, browserSuite, openDialog } from './support/filterPage.mjs';
import { writeModel } from './support/ifc.mjs';
import { answers, changes, ended, missingBuild, runOk, uidOf } from './support/dxfilter.mjs';

const unavailable = missingBuild() ?? (await missingBrowser());
const count = (text) => Number(/^([\d,]+) of/.exec(text)[1].replace(/,/g, ''));

describe('the filter page on a building of 3,000 entities', { skip: unavailable ?? false }, () => {
  const suite = browserSuite('dx-page-');
  let dir, model, generated, baseline, document;

  before(async () => {
    dir = suite.dir;
    model = path.join(dir, 'tower.ifc');
    writeModel(model, 3000);
    generated = path.join(dir, 'generated.json');
    await runOk(['generate', 'IFC', model, '-o', generated]);
    baseline = await answers(generated);
    document = JSON.parse(fs.readFileSync(generated, 'utf8'));
  });

  const edit = (t, output, contextOptions) => openDialog(t, suite.browser, ['edit', 'IFC', model, '-o', output], contextOptions);

  // A storey's elements in the generated document.
  const storeyOf = (label) => document.roots[0].children[0].children.flatMap((b) => b.children).find((s) => s.label === label).children;

  test('ticks cascade and undo, types group and filter with their subtypes, renames show, a reload keeps the edits; leaving asks first', async (t) => {
    const output = path.join(dir, 'edited.json');
    const { session, dialog } = await edit(t, output);
    const total = count(await dialog.summary());
    assert.equal(total, baseline.size, 'the document came whole');
    // Counts are written without the browser's number format only where the text is the same.
    const misformatted = await dialog.frame.locator('#app').evaluate(() => {
      const make = window.require('ZQ/DXInputFilterDisplay/FilterView').makeNumberFormat;
      return 'en fr de it es pt nl sv da nb fi pl cs ru ja zh ko ar hi fa'.split(' ').flatMap((lang) => [0, 7, 999, 1000, 99961, 1234567, 3.5, -4]
        .filter((n) => make(lang)(n) !== new Intl.NumberFormat(lang).format(n)).map((n) => `${lang} ${n}`));
    });
    assert.deepEqual(misformatted, []);

    // A storey's tick sets its subtree in one step and shows mixed above; undo at once.
    await dialog.toggle('B1 Level 1', 'Import');
    assert.equal(count(await dialog.summary()), total - storeyOf('B1 Level 1').length - 1);
    assert.deepEqual(await Promise.all(['B1 Level 1', 'Building 1', 'Bench Project'].map((l) => dialog.checked(l, 'Import'))), ['false', 'mixed', 'mixed']);
    await dialog.frame.locator('.tg').press('Control+z');
    await dialog.frame.locator('#summary', { hasText: `${total.toLocaleString('en')} of` }).waitFor();
    assert.equal(await dialog.checked('Building 1', 'Import'), 'true');
    // Alt+click: the storey alone.
    await dialog.toggle('B1 Level 1', 'Import', { alone: true });
    assert.deepEqual([count(await dialog.summary()), await dialog.checked('B1 Level 1', 'Import')], [total - 1, 'mixed'], 'unticked itself, its elements are not');

    // A rename shows in the tree (and the search finds it, below).
    const renamed = storeyOf('B1 Level 3')[0].label;
    await dialog.setOpen('B1 Level 3', true);
    await dialog.type(renamed, 'Name', 'Renamed element');
    await dialog.row('Renamed element').waitFor();
    // A typed value of quotes, markup and astral characters stays text, and reaches the import unchanged.
    const typedAt = storeyOf('B1 Level 3')[1].label;
    const typed = `</script><img src=x onerror=alert(1)> it's \\' \u2028 \u{1F9F1}`;
    await dialog.type(typedAt, 'Name', typed);
    assert.equal(await dialog.page.locator('img').count() + await dialog.frame.locator('img').count(), 0);
    await dialog.setOpen('B1 Level 3', false);

    // A reload warns, then keeps the edits; the page asks for nothing that is not there.
    const notFound = [];
    dialog.page.on('response', (r) => { if (r.status() === 404) notFound.push(r.url()); });
    await dialog.page.reload();
    await dialog.ready();
    assert.deepEqual([dialog.alerts.splice(0), notFound], [['beforeunload: '], []]);
    assert.deepEqual([count(await dialog.summary()), await dialog.checked('B1 Level 1', 'Import')], [total - 1, 'mixed']);

    // Types grouped under a storey; a group's tick acts on its members.
    const elements = storeyOf('B1 Level 2');
    const walls = elements.filter((c) => c.grid.Type === 'IfcWall');
    const standardWalls = elements.filter((c) => c.grid.Type === 'IfcWallStandardCase').length;
    await dialog.frame.locator('#group-types').check();
    await dialog.setOpen('B1 Level 2', true);
    const wallGroup = dialog.frame.locator('.tg-row.is-group', { has: dialog.frame.locator('.cell-group', { hasText: `IfcWall (${walls.length})` }) }).first();
    await wallGroup.waitFor();
    assert.ok((await dialog.frame.locator('.tg-row.is-group .cell-group').allTextContents()).includes(`IfcWallStandardCase (${standardWalls})`));
    await wallGroup.locator('.tick').click();
    await dialog.frame.locator('#summary', { hasText: `${(total - 1 - walls.length).toLocaleString('en')} of` }).waitFor();
    await dialog.frame.locator('#group-types').uncheck();

    // The type list: IfcWall counts the standard case walls of the whole model, and filters by both.
    const everywhere = (type) => [...baseline.values()].filter((e) => e.values.Type === type).length;
    await dialog.frame.locator('#types').click();
    const wallRow = dialog.frame.locator('#type-list tr[data-type="IfcWall"]');
    assert.equal(await wallRow.locator('.type-count').textContent(), (everywhere('IfcWall') + everywhere('IfcWallStandardCase')).toLocaleString('en'));
    await wallRow.getByRole('button', { name: /^Show only/ }).click();
    const chip = dialog.frame.locator('.filter-chip', { hasText: 'Type: IfcWall' });
    await chip.waitFor();
    const shownTypes = await dialog.frame.locator('.tg-body .tg-row:not(.is-context):not(.is-group)').evaluateAll((rows) => rows.map((row) => row.children[3].textContent));
    assert.deepEqual([...new Set(shownTypes)].sort(), ['IfcWall', 'IfcWallStandardCase']);
    await chip.getByRole('button').click();
    await chip.waitFor({ state: 'detached' });

    await dialog.frame.locator('#search').fill('renamed elem');
    await dialog.frame.locator('#search-count', { hasText: '1 found' }).waitFor();

    // Closing the window over edits asks first; declined, the dialog stays.
    await dialog.page.locator('#qor-close').click();
    assert.match(dialog.alerts.join('\n'), /^confirm: Your edits have not been applied yet/m);
    assert.equal(await dialog.page.locator('#qor-ended').isHidden(), true);

    await dialog.button('OK');
    assert.equal((await session.finished()).code, 0);
    const expected = new Map([[`${uidOf(baseline, 'B1 Level 1')} Import`, ['true', 'false']], [`${uidOf(baseline, renamed)} Name`, [renamed, 'Renamed element']],
      [`${uidOf(baseline, typedAt)} Name`, [typedAt, typed]]]);
    for (const wall of walls) expected.set(`${wall.data.uid[0]} Import`, ['true', 'false']);
    assert.deepEqual(changes(baseline, await answers(output)), expected);
    assert.deepEqual(dialog.errors, []);
  });

  test('the page reads well to assistive technology and by keyboard; closed without edits, it ends as a cancel', async (t) => {
    const output = path.join(dir, 'a11y.json');
    const { session, dialog } = await edit(t, output, { bypassCSP: true });

    const grid = dialog.frame.getByRole('treegrid');
    assert.equal(await grid.getAttribute('aria-label'), 'Entities of the file');
    const storeyRow = dialog.row('B1 Level 1');
    assert.deepEqual([await storeyRow.getAttribute('aria-level'), await storeyRow.getAttribute('aria-expanded')], ['4', 'false']);
    assert.equal(await dialog.frame.locator('.tg-chevron[tabindex]').count(), 0, 'chevrons are no tab stops');
    assert.equal(await (await dialog.cell('B1 Level 1', 'Import')).getByRole('checkbox').getAttribute('aria-checked'), 'true');
    assert.match(await dialog.page.locator('#qor-title').textContent(), /tower\.ifc/);
    await dialog.setOpen('B1 Level 1', true);
    assert.equal(await (await dialog.cell(storeyOf('B1 Level 1')[0].label, 'To import')).textContent(), '', 'no "1 / 1" on a leaf');

    // The context menu from the keyboard, and back.
    await (await dialog.cell('B1 Level 1', 'Import')).click({ position: { x: 2, y: 2 } }); // beside the tick, not on it
    await grid.press('Shift+F10');
    const menu = dialog.frame.getByRole('menu');
    await menu.getByRole('menuitem', { name: 'Untick for the whole subtree' }).waitFor();
    await dialog.frame.locator('.context-item:focus').waitFor();
    await menu.press('Escape');
    await menu.waitFor({ state: 'detached' });
    assert.equal(await dialog.frame.locator('.tg:focus').count(), 1, 'the focus went back to the grid');

    // A value that is no number is said in words beside the field, not only by its border.
    await (await dialog.cell('B1 Level 1', 'Elevation')).dblclick();
    const field = dialog.frame.locator('input.cell-editor');
    await field.fill('three metres');
    await field.press('Enter');
    await dialog.frame.getByRole('alert').filter({ hasText: 'Enter a number, e.g. 3.25' }).waitFor();
    assert.equal(await field.getAttribute('aria-invalid'), 'true');
    await field.press('Escape');
    await dialog.frame.locator('.cell-problem').waitFor({ state: 'detached' });

    assert.deepEqual(await axeViolations(dialog), []);
    // Without edits the window's close control ends the dialog at once, as Cancel: nothing written.
    await dialog.page.locator('#qor-close').click();
    const result = await session.finished();
    assert.deepEqual([result.code, result.stdout, fs.existsSync(output)], [3, '', false], ended(result));
    assert.match(result.stderr, /cancelled, nothing written/);
  });
});
