// The filter page on a building of a few thousand entities, as a user works with it:
// ticks that cascade, types grouped, renames, leaving, keyboard and accessibility.
// What the import reads back (dxfilter resolve) is checked where an edit is made.
import { describe, test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { launch, missingBrowser } from './support/browser.mjs';
import { FilterDialog, VIEWPORT } from './support/filterPage.mjs';
import { writeModel } from './support/building.mjs';
import { Session, answers, changes, missingBuild, runOk, tempDir, uidOf } from './support/dxfilter.mjs';

const unavailable = missingBuild() ?? (await missingBrowser());
const require = createRequire(import.meta.url);

const count = (text) => Number(/^([\d,]+) of/.exec(text)[1].replace(/,/g, ''));

describe('the filter page on a building of 3,000 entities', { skip: unavailable ?? false }, () => {
  let browser;
  let dir;
  let model;
  let generated;
  let baseline;
  let document; // the generated filter document, parsed

  before(async () => {
    browser = await launch();
    dir = tempDir();
    model = path.join(dir, 'tower.ifc');
    writeModel(model, 3000);
    generated = path.join(dir, 'generated.json');
    await runOk(['generate', 'IFC', model, '-o', generated]);
    baseline = await answers(generated);
    document = JSON.parse(fs.readFileSync(generated, 'utf8'));
  });

  after(async () => {
    await browser?.close();
    if (dir) fs.rmSync(dir, { recursive: true, force: true });
  });

  async function edit(t, output, contextOptions) {
    const session = new Session(['edit', 'IFC', model, '-o', output, '--no-browser']);
    t.after(() => session.stop());
    const address = await session.address();
    let dialog;
    if (contextOptions) {
      const context = await browser.newContext({ viewport: VIEWPORT, ...contextOptions });
      dialog = new FilterDialog(await context.newPage());
      await dialog.page.goto(address);
      await dialog.ready();
    } else {
      dialog = await FilterDialog.open(browser, address);
    }
    t.after(() => dialog.close());
    return { session, dialog };
  }

  // The storey's node in the generated document, and the types of its elements.
  function storeyNode(label) {
    const find = (nodes) => {
      for (const node of nodes) {
        if (node.label === label) return node;
        const found = find(node.children ?? []);
        if (found) return found;
      }
      return null;
    };
    return find(document.roots);
  }

  test('the document comes whole, and OK without edits answers it byte for byte', async (t) => {
    const output = path.join(dir, 'unedited.json');
    const { session, dialog } = await edit(t, output);
    assert.equal(count(await dialog.summary()), baseline.size);
    await dialog.button('OK');
    const result = await session.finished();
    assert.equal(result.code, 0, result.stderr);
    assert.ok(fs.readFileSync(output).equals(fs.readFileSync(generated)), 'the answer differs from the document');
    assert.deepEqual(dialog.errors, []);
  });

  test('a storey tick sets its subtree in one step, shows mixed above, undoes at once; Alt+click sets the storey alone', async (t) => {
    const output = path.join(dir, 'ticks.json');
    const { session, dialog } = await edit(t, output);
    const storey = storeyNode('B1 Level 1');
    const below = storey.children.length;
    const total = count(await dialog.summary());

    await dialog.toggle('B1 Level 1', 'Import');
    assert.equal(count(await dialog.summary()), total - below - 1);
    assert.equal(await dialog.checked('B1 Level 1', 'Import'), 'false');
    assert.equal(await dialog.checked('Building 1', 'Import'), 'mixed');
    assert.equal(await dialog.checked('Bench Project', 'Import'), 'mixed');

    await dialog.frame.locator('.tg').press('Control+z');
    await dialog.frame.locator('#summary', { hasText: `${total.toLocaleString('en')} of` }).waitFor();
    assert.equal(await dialog.checked('Building 1', 'Import'), 'true');

    await dialog.toggle('B1 Level 1', 'Import', { alone: true });
    assert.equal(count(await dialog.summary()), total - 1);
    assert.equal(await dialog.checked('B1 Level 1', 'Import'), 'mixed', 'unticked itself, its elements are not');

    await dialog.button('OK');
    assert.equal((await session.finished()).code, 0);
    assert.deepEqual(changes(baseline, await answers(output)),
      new Map([[`${uidOf(baseline, 'B1 Level 1')} Import`, ['true', 'false']]]));
    const written = JSON.parse(fs.readFileSync(output, 'utf8'));
    assert.deepEqual(written.data.userEdits, { [storey.data.uid[0]]: { Import: 'false' } });
  });

  test('types group under each storey, a group tick acts on its members, and the type list counts subtypes', async (t) => {
    const output = path.join(dir, 'types.json');
    const { session, dialog } = await edit(t, output);
    const storey = storeyNode('B1 Level 2');
    const walls = storey.children.filter((c) => c.grid.Type === 'IfcWall').length;
    const standardWalls = storey.children.filter((c) => c.grid.Type === 'IfcWallStandardCase').length;
    assert.ok(walls > 0 && standardWalls > 0, `the storey holds both kinds of wall (${walls}, ${standardWalls})`);

    await dialog.frame.locator('#group-types').check();
    await dialog.expand('B1 Level 2');
    const wallGroup = dialog.frame.locator('.tg-row.is-group', { has: dialog.frame.locator('.cell-group', { hasText: `IfcWall (${walls})` }) }).first();
    await wallGroup.waitFor();
    const groups = await dialog.frame.locator('.tg-row.is-group .cell-group').allTextContents();
    assert.ok(groups.includes(`IfcWallStandardCase (${standardWalls})`), `groups: ${groups.join(', ')}`);

    const total = count(await dialog.summary());
    await wallGroup.locator('.tick').click();
    await dialog.frame.locator('#summary', { hasText: `${(total - walls).toLocaleString('en')} of` }).waitFor();

    // The type list: IfcWall counts the standard case walls of the whole model.
    const everywhere = (type) => [...baseline.values()].filter((e) => e.values.Type === type).length;
    await dialog.frame.locator('#types').click();
    const wallRow = dialog.frame.locator('#type-list tr[data-type="IfcWall"]');
    assert.equal(await wallRow.locator('.type-count').textContent(),
      (everywhere('IfcWall') + everywhere('IfcWallStandardCase')).toLocaleString('en'));
    await wallRow.getByRole('button', { name: /^Show only/ }).click();
    await dialog.frame.locator('.filter-chip', { hasText: 'Type: IfcWall' }).waitFor();
    const shownTypes = await dialog.frame.locator('.tg-body .tg-row:not(.is-context):not(.is-group)').evaluateAll((rows) =>
      rows.map((row) => row.children[3].textContent));
    assert.ok(shownTypes.length > 0);
    assert.deepEqual([...new Set(shownTypes)].sort(), ['IfcWall', 'IfcWallStandardCase']);

    await dialog.button('OK');
    assert.equal((await session.finished()).code, 0);
    const changed = changes(baseline, await answers(output));
    assert.equal(changed.size, walls);
    for (const [key, [was, now]] of changed) {
      assert.match(key, / Import$/);
      assert.deepEqual([was, now], ['true', 'false']);
    }
  });

  test('a rename shows in the tree and the search finds it; a bad number is explained in words', async (t) => {
    const output = path.join(dir, 'rename.json');
    const { session, dialog } = await edit(t, output);
    await dialog.expand('B1 Level 3');
    const first = storeyNode('B1 Level 3').children[0].label;
    await dialog.type(first, 'Name', 'Renamed element');
    await dialog.row('Renamed element').waitFor();

    const elevation = await dialog.cell('B1 Level 1', 'Elevation');
    assert.equal(await elevation.textContent(), '3.1', 'shown to its sense, not 3.1000000000000001');
    await elevation.dblclick();
    await elevation.locator('input.cell-editor').fill('three');
    await elevation.locator('input.cell-editor').press('Enter');
    const problem = dialog.frame.getByRole('alert').filter({ hasText: 'Enter a number' });
    await problem.waitFor();
    await elevation.locator('input.cell-editor').press('Escape');

    await dialog.frame.locator('#search').fill('renamed elem');
    await dialog.frame.locator('#search-count', { hasText: '1 found' }).waitFor();

    await dialog.button('OK');
    assert.equal((await session.finished()).code, 0);
    const edited = await answers(output);
    assert.deepEqual(changes(baseline, edited), new Map([[`${uidOf(baseline, first)} Name`, [first, 'Renamed element']]]));
  });

  test('closing the window asks first when edits would be lost, and staying keeps the dialog', async (t) => {
    const output = path.join(dir, 'close.json');
    const { session, dialog } = await edit(t, output);
    await dialog.page.locator('#qor-close').click();
    assert.equal((await session.finished()).code, 3, 'no edits: the close control closes at once');
    assert.deepEqual(dialog.alerts, []);

    const again = await edit(t, path.join(dir, 'close2.json'));
    await again.dialog.toggle('B1 Level 1', 'Import', { alone: true });
    await again.dialog.page.locator('#qor-close').click(); // the test's dialog handler declines
    assert.match(again.dialog.alerts.join('\n'), /^confirm: Your edits have not been applied yet/m);
    assert.equal(await again.dialog.page.locator('#qor-ended').isHidden(), true);
    await again.dialog.button('OK');
    assert.equal((await again.session.finished()).code, 0);
  });

  test('the page reads well to assistive technology, by keyboard, and asks nothing in vain', async (t) => {
    const output = path.join(dir, 'a11y.json');
    const notFound = [];
    const { session, dialog } = await edit(t, output, { bypassCSP: true });
    dialog.page.on('response', (r) => { if (r.status() === 404) notFound.push(r.url()); });
    await dialog.page.reload();
    await dialog.ready();

    const grid = dialog.frame.getByRole('treegrid');
    assert.equal(await grid.getAttribute('aria-label'), 'Entities of the file');
    const storeyRow = dialog.row('B1 Level 1');
    assert.equal(await storeyRow.getAttribute('aria-level'), '4');
    assert.equal(await storeyRow.getAttribute('aria-expanded'), 'false');
    assert.equal(await dialog.frame.locator('.tg-chevron[tabindex]').count(), 0, 'chevrons are no tab stops');
    assert.equal(await (await dialog.cell('B1 Level 1', 'Import')).getByRole('checkbox').getAttribute('aria-checked'), 'true');
    assert.match(await dialog.page.locator('#qor-title').textContent(), /tower\.ifc/);
    const leaf = storeyNode('B1 Level 1').children[0].label;
    await dialog.expand('B1 Level 1');
    assert.equal(await (await dialog.cell(leaf, 'To import')).textContent(), '', 'no "1 / 1" on a leaf');

    // The context menu from the keyboard, and back.
    await (await dialog.cell('B1 Level 1', 'Import')).click();
    await grid.press('Shift+F10');
    const menu = dialog.frame.getByRole('menu');
    await menu.getByRole('menuitem', { name: 'Untick for the whole subtree' }).waitFor();
    await dialog.frame.locator('.context-item:focus').waitFor();
    await menu.press('Escape');
    await menu.waitFor({ state: 'detached' });
    assert.equal(await dialog.frame.locator('.tg:focus').count(), 1, 'the focus went back to the grid');

    const axe = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');
    const frame = dialog.page.frames().find((f) => f.url().includes('FilterJS.html'));
    await frame.evaluate(axe);
    const violations = await frame.evaluate(async () => {
      const result = await window.axe.run(document, { resultTypes: ['violations'] });
      return result.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical')
        .map((v) => `${v.id}: ${v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join(' | ')}`);
    });
    assert.deepEqual(violations, []);
    assert.deepEqual(notFound, []);
    await dialog.button('Cancel');
    assert.equal((await session.finished()).code, 3);
  });
});
