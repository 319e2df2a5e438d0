// The filter dialog as a user sees it in the browser: the kit's window page (title,
// OK/Cancel) around the filter page in its iframe. Actions go through the mouse and
// keyboard, as a user's would, and each waits until the page shows its effect.

export const VIEWPORT = { width: 1280, height: 840 };

const exactly = (text) => new RegExp(`^${text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')}$`);

export class FilterDialog {
  constructor(page) {
    this.page = page;
    this.frame = page.frameLocator('#qor-viewer');
    this.alerts = []; // dialogs the page opened (alert, confirm, prompt, beforeunload)
    this.errors = []; // uncaught errors of the page
    this.fields = null; // promise of column title -> Tabulator field
    page.on('dialog', (dialog) => {
      this.alerts.push(`${dialog.type()}: ${dialog.message()}`);
      // A reload over unsent edits asks first; the user goes on.
      if (dialog.type() === 'beforeunload') dialog.accept().catch(() => {});
      else dialog.dismiss().catch(() => {});
    });
    page.on('pageerror', (error) => this.errors.push(String(error)));
  }

  static async open(browser, address) {
    const context = await browser.newContext({ viewport: VIEWPORT });
    const dialog = new FilterDialog(await context.newPage());
    await dialog.page.goto(address);
    await dialog.ready();
    return dialog;
  }

  async close() {
    await this.page.context().close().catch(() => {});
  }

  // The rows are shown and the grid is built.
  async ready() {
    await this.frame.locator('#app:not(.is-loading) .tabulator-row').first().waitFor({ timeout: 20000 });
    await this.page.locator('#qor-buttons button').first().waitFor();
    this.fields = null;
  }

  async field(title) {
    // One look at the headers, shared by callers that ask at once.
    this.fields ??= this.frame.locator('.tabulator-col[tabulator-field]').evaluateAll((cols) =>
      cols.map((col) => [col.querySelector('.col-title-text')?.textContent ?? '', col.getAttribute('tabulator-field')]))
      .then((pairs) => new Map(pairs));
    const fields = await this.fields;
    const field = fields.get(title);
    if (!field) throw new Error(`no column titled ${title} (${[...fields.keys()].join(', ')})`);
    return field;
  }

  row(label) {
    return this.frame.locator('.tabulator-row').filter({
      has: this.frame.locator('.kind-tree .cell-label', { hasText: exactly(label) }),
    });
  }

  async cell(label, title) {
    return this.row(label).locator(`.tabulator-cell[tabulator-field="${await this.field(title)}"]`);
  }

  // Labels of the rows shown, in order.
  labels() {
    return this.frame.locator('.tabulator-row .kind-tree .cell-label').evaluateAll((nodes) => nodes.map((n) => n.textContent));
  }

  // The text of the given columns' cells, row by row, as the rows are shown.
  async texts(titles) {
    const fields = await Promise.all(titles.map((title) => this.field(title)));
    return this.frame.locator('.tabulator-row').evaluateAll((rows, wanted) => rows.map((row) => wanted.map((field) =>
      row.querySelector(`.tabulator-cell[tabulator-field="${field}"]`)?.textContent ?? null)), fields);
  }

  async expand(label) {
    const row = this.row(label);
    await row.locator('.tabulator-data-tree-control').click();
    await row.locator('.tabulator-data-tree-control-collapse').waitFor();
  }

  async collapse(label) {
    const row = this.row(label);
    await row.locator('.tabulator-data-tree-control').click();
    await row.locator('.tabulator-data-tree-control-expand').waitFor();
  }

  // Clicks the tick of a boolean cell; the tick shows the new value.
  async toggle(label, title) {
    const cell = await this.cell(label, title);
    const before = await cell.locator('.tick').getAttribute('class');
    const after = before.includes('tick-on') ? 'tick-off' : 'tick-on';
    await cell.locator('.tick').click();
    await cell.locator(`.tick.${after}`).waitFor();
  }

  // Opens the list of an enumeration cell; the list stays open for the caller.
  async openList(label, title) {
    const cell = await this.cell(label, title);
    await cell.dblclick();
    const list = this.frame.locator('.list-popup');
    await list.waitFor();
    return list;
  }

  async choose(label, title, value) {
    const list = await this.openList(label, title);
    await list.locator('.list-item', { hasText: exactly(value) }).click();
    await (await this.cell(label, title)).locator('.chip', { hasText: exactly(value) }).waitFor();
  }

  async type(label, title, value) {
    const cell = await this.cell(label, title);
    await cell.dblclick();
    const input = cell.locator('input.cell-editor');
    await input.fill(value);
    await input.press('Enter');
    await cell.locator('.cell-text', { hasText: exactly(value) }).waitFor();
  }

  // An entry of a cell's context menu (the subtree and selection actions).
  async menu(label, title, entry) {
    const cell = await this.cell(label, title);
    await cell.click({ button: 'right' });
    await this.frame.locator('.tabulator-menu .tabulator-menu-item', { hasText: entry }).click();
  }

  summary() {
    return this.frame.locator('#summary').textContent();
  }

  async button(name) {
    await this.page.locator(`#qor-buttons button[data-name="${name}"]`).click();
  }

  buttonNames() {
    return this.page.locator('#qor-buttons button').evaluateAll((buttons) => buttons.map((b) => b.dataset.name));
  }
}
