// Headless Chromium for the browser tests and the page benchmark.
import fs from 'node:fs';
import path from 'node:path';

export const chromiumPath = process.env.DX_CHROMIUM || '/usr/bin/chromium';

export const chromiumArgs = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// Why no browser can be started here, or null.
export async function missingBrowser() {
  try {
    fs.accessSync(chromiumPath, fs.constants.X_OK);
  } catch {
    return `no Chromium at ${chromiumPath} (set DX_CHROMIUM)`;
  }
  try {
    await import('playwright-core');
  } catch {
    return 'playwright-core is not installed (npm ci)';
  }
  return null;
}

// Playwright gives every launch a fresh profile folder of its own.
export async function launch(extraArgs = []) {
  const { chromium } = await import('playwright-core');
  return chromium.launch({ executablePath: chromiumPath, args: [...chromiumArgs, ...extraArgs] });
}

// A browser command for dxfilter's --browser: a script that starts headless Chromium
// with a profile of its own and notes its process id, so that the test can end the
// browser the program leaves running.
export function browserCommand(dir, name = 'browser') {
  const script = path.join(dir, `${name}.sh`);
  const pidFile = path.join(dir, `${name}.pid`);
  const quote = (s) => `'${s.replace(/'/g, `'\\''`)}'`;
  fs.writeFileSync(script, [
    '#!/bin/sh',
    `echo $$ > ${quote(pidFile)}`,
    `exec ${quote(chromiumPath)} ${chromiumArgs.join(' ')} --user-data-dir=${quote(path.join(dir, `${name}-profile`))} "$@"`,
    '',
  ].join('\n'), { mode: 0o755 });
  return {
    command: script,
    stop() {
      try {
        process.kill(Number(fs.readFileSync(pidFile, 'utf8')), 'SIGTERM');
      } catch {
        // not started, or already gone
      }
    },
  };
}
