// The dialog toolkit's web backend in a real browser: a tiny kit program shows a
// dialog whose content is a web viewer on a test page; headless Chromium opens the
// announced address, and the program must see what the user does there.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const chromiumPath = '/usr/bin/chromium';
const chromiumArgs = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

function findHost() {
  const builds = [process.env.DX_BUILD_DIR, path.join(root, 'build/release')].filter(Boolean);
  for (const build of builds) {
    const program = path.join(build, 'bin/dialog_test_host');
    if (fs.existsSync(program)) return program;
  }
  return null;
}

async function unavailable() {
  if (!fs.existsSync(chromiumPath)) return `no Chromium at ${chromiumPath}`;
  try {
    await import('playwright-core');
  } catch {
    return 'playwright-core is not installed (npm ci)';
  }
  if (!findHost()) return 'dialog_test_host is not built (build/release, or set DX_BUILD_DIR)';
  return null;
}

// The host program's report lines, awaited one condition at a time.
class HostProgram {
  constructor(program, args) {
    this.lines = [];
    this.waiters = [];
    this.child = spawn(program, args, { stdio: ['ignore', 'pipe', 'inherit'] });
    this.exited = new Promise((resolve) => this.child.on('exit', (code) => resolve(code)));
    readline.createInterface({ input: this.child.stdout }).on('line', (line) => {
      this.lines.push(line);
      for (const w of [...this.waiters]) w();
    });
  }

  waitFor(match, what, timeout = 20000) {
    return new Promise((resolve, reject) => {
      const check = () => {
        const found = this.lines.find(match);
        if (found === undefined) return false;
        this.waiters = this.waiters.filter((w) => w !== check);
        clearTimeout(timer);
        resolve(found);
        return true;
      };
      const timer = setTimeout(() => {
        this.waiters = this.waiters.filter((w) => w !== check);
        reject(new Error(`the host program never reported ${what}; it said:\n${this.lines.join('\n')}`));
      }, timeout);
      if (!check()) this.waiters.push(check);
    });
  }

  count(line) {
    return this.lines.filter((l) => l === line).length;
  }

  stop() {
    if (this.child.exitCode === null) this.child.kill('SIGTERM');
  }
}

const skip = await unavailable();

test('a kit dialog in Chromium runs pushed scripts, carries messages, OK and closing to the program',
  { skip: skip ?? false, timeout: 120000 }, async (t) => {
    const { chromium } = await import('playwright-core');
    const host = new HostProgram(findHost(), ['--grace-ms', '2500', '--timeout-s', '100']);
    t.after(() => host.stop());
    const address = (await host.waitFor((l) => l.startsWith('address '), 'its address')).slice('address '.length);
    assert.match(address, /^http:\/\/127\.0\.0\.1:\d+\/[0-9a-f]{32}\/$/);

    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'dialog-test-profile-'));
    const context = await chromium.launchPersistentContext(profile, {
      executablePath: chromiumPath, headless: true, args: chromiumArgs,
    });
    // The profile goes only once the browser has let go of it: it writes there until it exits.
    t.after(async () => {
      await context.close().catch(() => {});
      fs.rmSync(profile, { recursive: true, force: true, maxRetries: 5, retryDelay: 100 });
    });
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));

    await page.goto(address);
    await assert.doesNotReject(page.locator('#qor-buttons button[data-name="OK"]').waitFor());
    assert.equal(await page.locator('#qor-title').textContent(), 'Browser test dialog');
    assert.deepEqual(await page.locator('#qor-buttons button').evaluateAll((bs) => bs.map((b) => b.dataset.name)),
      ['OK', 'Cancel']);

    // The viewer loaded its home page by itself; the program pushed a script on LoadStart.
    const viewer = page.frameLocator('#qor-viewer');
    await viewer.locator('#pushed', { hasText: 'pushed script ran' }).waitFor({ timeout: 15000 });
    await host.waitFor((l) => l === 'loadstart', 'LoadStart');

    // A message posted with the bridge reaches the program with its strings.
    const frame = page.frames().find((f) => f.url().endsWith('/webapps/DialogToolkitTests/browser.html'));
    assert.ok(frame, 'the viewer frame is there');
    assert.equal(await frame.evaluate(() => typeof window.qor.post), 'function');
    await frame.evaluate(() => window.qor.post(['fromPage', 'h\u00e9llo "world"\n']));
    await host.waitFor((l) => l === 'message ["fromPage","h\u00e9llo \\"world\\"\\u000a"]', 'the message');
    // Anything but an array of strings is refused in the page already.
    assert.equal(await frame.evaluate(() => window.qor.post(['a', 1]).then(() => 'sent', (e) => e.name)),
      'TypeError');

    // OK in the window page raises the dialog's accept event; the program answers.
    await page.locator('#qor-buttons button[data-name="OK"]').click();
    await host.waitFor((l) => l === 'button 2', 'the OK click');
    await viewer.locator('#ok', { hasText: 'ok seen' }).waitFor({ timeout: 15000 });

    // A reload is the same page coming back: the script runs again, no second LoadStart,
    // and the window stays open.
    await page.reload();
    await page.frameLocator('#qor-viewer').locator('#pushed', { hasText: 'pushed script ran' })
      .waitFor({ timeout: 15000 });
    assert.equal(host.count('loadstart'), 1);

    // The window stayed open through the reload: its buttons still answer. On the
    // window page, Escape is Cancel and Enter is OK.
    await page.locator('#qor-title').click();
    await page.keyboard.press('Escape');
    await host.waitFor((l) => l === 'button 16', 'Escape as Cancel');
    await page.keyboard.press('Enter');
    await host.waitFor(() => host.count('button 2') === 2, 'Enter as OK');
    assert.equal(host.count('closed'), 0);

    // Closing the tab closes the window once the grace is over.
    await page.close();
    await host.waitFor((l) => l === 'closed', 'the window closing', 15000);
    assert.equal(await host.exited, 0);
    assert.deepEqual(errors, []);
  });
