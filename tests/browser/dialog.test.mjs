// The dialog toolkit's web backend in a real browser: the kit's test program, run as a
// browser host, shows a dialog whose content is a web viewer on a test page; headless
// Chromium opens the announced address, and the program must see what the user does.
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
const hostProgram = [process.env.DX_BUILD_DIR, path.join(root, 'build/release')].filter(Boolean)
  .map((build) => path.join(build, 'bin/test_DialogToolkit')).find((p) => fs.existsSync(p));

async function unavailable() {
  if (!fs.existsSync(chromiumPath)) return `no Chromium at ${chromiumPath}`;
  if (!hostProgram) return 'test_DialogToolkit is not built (build/release, or set DX_BUILD_DIR)';
  return import('playwright-core').then(() => null, () => 'playwright-core is not installed (npm ci)');
}

// The host program's report lines; waitFor resolves once a line matches.
function startHost(args) {
  const child = spawn(hostProgram, args, { stdio: ['ignore', 'pipe', 'inherit'] });
  const lines = [];
  let changed = () => {};
  readline.createInterface({ input: child.stdout }).on('line', (line) => { lines.push(line); changed(); });
  const exited = new Promise((resolve) => child.on('exit', resolve));
  const waitFor = (match, what, timeout = 20000) => new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`the host never reported ${what}:\n${lines.join('\n')}`)), timeout);
    const check = () => {
      const found = lines.find(match);
      if (found !== undefined) { clearTimeout(timer); resolve(found); } else changed = check;
    };
    check();
  });
  const count = (line) => lines.filter((l) => l === line).length;
  return { child, exited, waitFor, count };
}

const skip = await unavailable();

test('a kit dialog in Chromium runs pushed scripts, carries messages, OK and closing to the program',
  { skip: skip ?? false, timeout: 120000 }, async (t) => {
    const { chromium } = await import('playwright-core');
    const host = startHost(['--browser-host']);
    t.after(() => host.child.exitCode === null && host.child.kill('SIGTERM'));
    const address = (await host.waitFor((l) => l.startsWith('address '), 'its address')).slice(8);
    assert.match(address, /^http:\/\/127\.0\.0\.1:\d+\/[0-9a-f]{32}\/$/);

    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'dialog-test-profile-'));
    const context = await chromium.launchPersistentContext(profile, {
      executablePath: chromiumPath, headless: true,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking'],
    });
    // The profile goes only once the browser has let go of it.
    t.after(async () => {
      await context.close().catch(() => {});
      fs.rmSync(profile, { recursive: true, force: true, maxRetries: 5, retryDelay: 100 });
    });
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (e) => errors.push(e.message));
    await page.goto(address);
    const buttons = page.locator('#qor-buttons button');
    await buttons.first().waitFor();
    assert.equal(await page.locator('#qor-title').textContent(), 'Filter <import> & "check"');
    assert.deepEqual(await buttons.evaluateAll((bs) => bs.map((b) => b.dataset.name)), ['OK', 'Cancel']);

    // The viewer loaded its home page by itself; the program pushed a script on LoadStart.
    const viewerTitle = (title) => page.waitForFunction(
      (t) => document.querySelector('#qor-viewer')?.contentDocument?.title.includes(t), title, { timeout: 15000 });
    const pushed = () => viewerTitle('| loadstart TestViewer');
    await pushed();
    await host.waitFor((l) => l === 'loadstart TestViewer', 'LoadStart');

    // A message posted with the bridge reaches the program with its strings; anything
    // but an array of strings is refused in the page already.
    const frame = page.frames().find((f) => f.url().endsWith('/webapps/DialogToolkitTests/viewer.html'));
    await frame.evaluate(() => window.qor.post(['fromPage', 'h\u00e9llo "world"\n']));
    const message = await host.waitFor((l) => l.startsWith('message '), 'the message');
    assert.deepEqual(JSON.parse(message.slice(8)), ['fromPage', 'h\u00e9llo "world"\n']);
    assert.equal(await frame.evaluate(() => window.qor.post(['a', 1]).then(() => 'sent', (e) => e.name)),
      'TypeError');

    // OK in the window page raises the dialog's accept event; the program answers.
    await buttons.first().click();
    await host.waitFor((l) => l === 'accept 2', 'the OK click');
    await viewerTitle('| accept 2');

    // A reload is the same page coming back: the script runs again, no second LoadStart,
    // the window stays open. On the window page, Escape is Cancel and Enter is OK.
    // Each script address is served once; a browser that asks twice (a preload it did
    // not reuse) gets it refused, and the bridge asks the program for it anew.
    const refused = [];
    await page.route('**/__qor/script/*', (route) => {
      if (refused.length) return route.continue();
      refused.push(route.request().url());
      return route.fulfill({ status: 404, body: 'not found\n' });
    });
    await page.reload();
    await pushed();
    assert.equal(refused.length, 1);
    await page.unrouteAll();
    await page.locator('#qor-title').click();
    await page.keyboard.press('Escape');
    await host.waitFor((l) => l === 'reject 16', 'Escape as Cancel');
    await page.keyboard.press('Enter');
    await host.waitFor(() => host.count('accept 2') === 2, 'Enter as OK');
    assert.equal(host.count('loadstart TestViewer'), 1);
    assert.equal(host.count('closed TestDialog'), 0);

    // Closing the tab closes the window once the grace is over.
    await page.close();
    await host.waitFor((l) => l === 'closed TestDialog', 'the window closing', 15000);
    assert.equal(await host.exited, 0);
    assert.deepEqual(errors, []);
  });
