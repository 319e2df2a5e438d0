// Running dxfilter from the tests: one-shot commands, and interactive sessions whose
// dialog address is read from standard error.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const repo = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../..');
export const buildDir = path.resolve(process.env.DX_BUILD_DIR || path.join(repo, 'build/release'));
export const dxfilter = path.join(buildDir, 'bin/dxfilter');
export const sampleHouse = path.join(repo, 'samples/SampleHouse.ifc');

// Why the tests cannot run here, or null.
export function missingBuild() {
  try {
    fs.accessSync(dxfilter, fs.constants.X_OK);
    return null;
  } catch {
    return `dxfilter is not built (${dxfilter}); run ./dx setup or set DX_BUILD_DIR`;
  }
}

// The same messages and no browser of the user's, whatever the caller's environment.
function childEnv() {
  const env = { ...process.env, LC_ALL: 'C.UTF-8' };
  for (const name of ['QOR_BROWSER', 'DXWebViewerForKWT', 'QORDX_SAVEANDUSE_JSONFILTER', 'MDW_KWT_TMP',
    'KWT_DUMP_QORResolvedFilter', 'QOR_DIALOG_BACKEND']) delete env[name];
  return env;
}

function withTimeout(promise, ms, what) {
  let timer;
  const timeout = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`${what}: no answer within ${ms} ms`)), ms);
  });
  return Promise.race([promise, timeout]).finally(() => clearTimeout(timer));
}

// An interactive session (edit, record, replay): the child and its dialog's address.
export class Session {
  // program, env: another build's dxfilter and what it needs (the page benchmark's --vs).
  constructor(args, { program = dxfilter, env = {} } = {}) {
    this.args = args;
    this.child = spawn(program, args, { cwd: repo, env: { ...childEnv(), ...env }, stdio: ['ignore', 'pipe', 'pipe'] });
    this.out = { stdout: '', stderr: '' };
    for (const name of ['stdout', 'stderr']) this.child[name].setEncoding('utf8').on('data', (d) => { this.out[name] += d; });
    this.exited = new Promise((resolve, reject) => {
      this.child.on('error', reject);
      this.child.on('close', (code, signal) => resolve({ code, signal, ...this.out }));
    });
  }

  // The address the kit announces on standard error.
  address(timeoutMs = 30000) {
    const found = new Promise((resolve, reject) => {
      const look = () => {
        const m = /^dialog: (http:\/\/127\.0\.0\.1:\d+\/[0-9a-f]{32}\/)$/m.exec(this.out.stderr);
        if (m) resolve(m[1]);
      };
      look();
      this.child.stderr.on('data', () => setImmediate(look));
      this.exited.then((r) => reject(new Error(`dxfilter exited ${r.code} before showing the dialog: ${r.stderr.trim()}`)));
    });
    return withTimeout(found, timeoutMs, 'the dialog address');
  }

  // The exit, within a time: { code, signal, stdout, stderr }.
  finished(timeoutMs = 30000) {
    return withTimeout(this.exited, timeoutMs, `dxfilter ${this.args[0]} to exit`);
  }

  // Ends a session a failed test left open.
  async stop() {
    if (this.child.exitCode !== null || this.child.signalCode !== null) return;
    this.child.kill('SIGTERM');
    try {
      await withTimeout(this.exited, 5000, 'dxfilter to stop');
    } catch {
      this.child.kill('SIGKILL');
    }
  }
}

// How a session ended, for a failed assertion on its exit.
export const ended = (result) => `${result.signal ? `killed by ${result.signal}` : `exit ${result.code}`}: ${result.stderr.trim()}`;

// Runs dxfilter to its end: { code, stdout, stderr }; a non-zero exit is an error
// carrying what dxfilter said.
export async function runOk(args, timeoutMs = 60000) {
  const session = new Session(args);
  const result = await session.finished(timeoutMs).finally(() => session.stop());
  if (result.code !== 0) throw new Error(`dxfilter ${args.join(' ')} exited ${result.code}: ${result.stderr.trim()}`);
  return result;
}

// Every entity's answers: uid -> { label, depth, values }, from `resolve --json`.
export async function answers(filterFile) {
  const { stdout } = await runOk(['resolve', filterFile, '--json']);
  const document = JSON.parse(stdout);
  const byUid = new Map();
  for (const entity of document.entities) {
    if (byUid.has(entity.uid)) throw new Error(`uid ${entity.uid} twice in ${filterFile}`);
    byUid.set(entity.uid, entity);
  }
  return byUid;
}

// What changed between two answer maps: "uid attr" -> [before, after], for every
// entity of both; undefined stands for no answer.
export function changes(before, after) {
  const out = new Map();
  for (const [uid, a] of before) {
    const b = after.get(uid);
    for (const name of new Set(b ? [...Object.keys(a.values), ...Object.keys(b.values)] : [])) {
      if (a.values[name] !== b.values[name]) out.set(`${uid} ${name}`, [a.values[name], b.values[name]]);
    }
  }
  return out;
}

// The uid of the one entity with that label.
export function uidOf(answerMap, label) {
  const found = [...answerMap.values()].filter((e) => e.label === label);
  if (found.length !== 1) throw new Error(`${found.length} entities labelled ${JSON.stringify(label)}`);
  return found[0].uid;
}

export function tempDir(prefix = 'dx-e2e-') {
  return fs.mkdtempSync(path.join(os.tmpdir(), prefix));
}
