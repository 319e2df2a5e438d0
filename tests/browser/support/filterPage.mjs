// The filter dialog as a user sees it in the browser: the kit's window page (title,
// OK/Cancel) around the filter page in its iframe. Actions go through the mouse and
// keyboard, as a user's would, and each waits until the page shows its effect.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import { after, before } from 'node:test';
import { launch } from './browser.mjs';
import { Session, ended, tempDir } from './dxfilter.mjs';

export const VIEWPORT = { width: 1280, height: 840 };

const exactly = (text) => new RegExp(`^${text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')}$`);

export class FilterDialog {
  constructor(page) {
    this.page = page;
    this.frame = page.frameLocator('#qor-viewer');
    this.alerts = []; // dialogs the page opened (alert, confirm, prompt, beforeunload)
    this.errors = []; // uncaught errors of the page, and what its policy refused
    page.on('dialog', (dialog) => {
      this.alerts.push(`${dialog.type()}: ${dialog.message()}`);
      // A reload over unsent edits asks first; the user goes on.
      if (dialog.type() === 'beforeunload') dialog.accept().catch(() => {});
      else dialog.dismiss().catch(() => {});
    });
    page.on('pageerror', (error) => this.errors.push(String(error)));
    page.on('console', (m) => { if (m.type() === 'error' && /Content Security Policy/.test(m.text())) this.errors.push(m.text()); });
  }

  static async open(browser, address, contextOptions = {}) {
    const context = await browser.newContext({ viewport: VIEWPORT, ...contextOptions });
    const dialog = new FilterDialog(await context.newPage());
    await dialog.page.goto(address);
    await dialog.ready();
    return dialog;
  }

  // The rows are shown and the grid is built.
  async ready() {
    await this.frame.locator('#app:not(.is-loading) .tg-body .tg-row').first().waitFor({ timeout: 20000 });
    await this.page.locator('#qor-buttons button').first().waitFor();
  }

  // The column's index, from the header's titles.
  async field(title) {
    const titles = await this.frame.locator('.tg-header .tg-cell').evaluateAll((cols) => cols.map((col) => col.querySelector('.col-title-text')?.textContent ?? ''));
    if (!titles.includes(title)) throw new Error(`no column titled ${title} (${titles.join(', ')})`);
    return titles.indexOf(title);
  }

  row(label) {
    return this.frame.locator('.tg-body .tg-row').filter({
      has: this.frame.locator('.kind-tree .cell-label', { hasText: exactly(label) }),
    });
  }

  async cell(label, title) {
    return this.row(label).locator(`.tg-cell[data-col="${await this.field(title)}"]`);
  }

  // Labels of the rows shown, in order.
  labels() {
    return this.frame.locator('.tg-body .tg-row').evaluateAll((rows) => rows
      .sort((a, b) => Number(a.dataset.row) - Number(b.dataset.row))
      .map((row) => row.querySelector('.kind-tree .cell-label')?.textContent ?? ''));
  }

  // Opens or closes a row with its chevron.
  async setOpen(label, open) {
    await this.row(label).locator('.tg-chevron').click();
    await this.frame.locator(`.tg-body .tg-row[aria-expanded="${open}"]`, {
      has: this.frame.locator('.kind-tree .cell-label', { hasText: exactly(label) }),
    }).waitFor();
  }

  // Clicks the tick of a boolean cell (with Alt: the entity alone); the tick shows the new value.
  async toggle(label, title, { alone = false } = {}) {
    const cell = await this.cell(label, title);
    const before = await cell.locator('.tick').getAttribute('class');
    await cell.locator('.tick').click({ modifiers: alone ? ['Alt'] : [] });
    await cell.locator('.tick').and(this.frame.locator(`:not([class="${before}"])`)).waitFor();
  }

  // The tick's state as assistive technology reads it: "true", "false" or "mixed".
  async checked(label, title) {
    return (await this.cell(label, title)).locator('.tick').getAttribute('aria-checked');
  }

  // Chooses from the list of an enumeration cell.
  async choose(label, title, value) {
    await (await this.cell(label, title)).dblclick();
    await this.frame.locator('.list-popup .list-item', { hasText: exactly(value) }).click();
    await (await this.cell(label, title)).locator('.chip', { hasText: exactly(value) }).waitFor();
  }

  // Types a value into a cell. A rename may rename the row too (its label was its name),
  // so the value is looked for in the column, whichever row now holds it.
  async type(label, title, value) {
    const cell = await this.cell(label, title);
    await cell.dblclick();
    const input = cell.locator('input.cell-editor');
    await input.fill(value);
    await input.press('Enter');
    const column = `.tg-body .tg-cell[data-col="${await this.field(title)}"]`;
    await this.frame.locator(`${column} .cell-text`, { hasText: exactly(value) })
      .or(this.frame.locator(`${column} .cell-same[aria-label="${value.replace(/["\\]/g, '\\$&')}"]`)).first().waitFor();
  }

  // An entry of a cell's context menu (the subtree and selection actions).
  async menu(label, title, entry) {
    const cell = await this.cell(label, title);
    await cell.click({ button: 'right' });
    await this.frame.locator('.context-menu .context-item', { hasText: entry }).click();
  }

  summary() {
    return this.frame.locator('#summary').textContent();
  }

  async button(name) {
    await this.page.locator(`#qor-buttons button[data-name="${name}"]`).click();
  }
}

// The serious and critical findings of an accessibility scan of the filter page as shown.
export async function axeViolations(dialog) {
  const frame = dialog.page.frames().find((f) => f.url().includes('FilterJS.html'));
  await frame.evaluate(fs.readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8'));
  return frame.evaluate(async () => {
    const result = await window.axe.run(document, { resultTypes: ['violations'] });
    return result.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical')
      .map((v) => `${v.id}: ${v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join(' | ')}`);
  });
}

// A browser and a scratch folder for the suite it is called in: { browser, dir }.
export function browserSuite(prefix) {
  const suite = {};
  before(async () => {
    suite.browser = await launch();
    suite.dir = tempDir(prefix);
  });
  after(async () => {
    await suite.browser?.close();
    if (suite.dir) fs.rmSync(suite.dir, { recursive: true, force: true });
  });
  return suite;
}

// dxfilter with `args` showing its dialog in the browser; both end with the test.
export async function openDialog(t, browser, args, contextOptions) {
  const session = new Session([...args, '--no-browser']);
  t.after(() => session.stop());
  const dialog = await FilterDialog.open(browser, await session.address(), contextOptions);
  t.after(() => dialog.page.context().close().catch(() => {}));
  return { session, dialog };
}

// OK, then dxfilter's clean exit with nothing asked or thrown on the way.
export async function finishOk(session, dialog) {
  await dialog.button('OK');
  const result = await session.finished();
  assert.equal(result.code, 0, ended(result));
  assert.deepEqual([dialog.alerts, dialog.errors], [[], []]);
  return result;
}
