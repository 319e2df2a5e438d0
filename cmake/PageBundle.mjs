// PageBundle.mjs - the filter page's modules in one file, FilterBundle.js, made from
// webapps/DXInputFilterDisplay at build time (the CMake step that embeds the page runs
// it), or by hand for page work:
//
//   node cmake/PageBundle.mjs [--out FILE]     (or: npm run bundle-page)
//
// Without --out it writes the copy the Release build serves (build/release/web).
// The page loads that one file, RequireJS first, instead of asking for each module: the
// kit's server answers a few requests at a time, and the page's scripts came in waves.
// Each module is named as RequireJS would name it from its path, so the pushed scripts'
// require(['ZQ/DXInputFilterDisplay/Filter'], ...) and the modules' relative names find it.
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const repo = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
export const pageDir = path.join(repo, 'webapps/DXInputFilterDisplay');
export const BUNDLE_NAME = 'FilterBundle.js';
const NAME_PREFIX = 'ZQ/DXInputFilterDisplay/';
// Not modules: the set-up that runs first and the start that runs last.
const FIRST = 'config.js';
const LAST = 'boot.js';

// Every .js file of the page below its folder, as paths relative to it ("grid/TreeGrid.js").
function walk(dir, rel = '') {
  return fs.readdirSync(path.join(dir, rel), { withFileTypes: true }).flatMap((entry) => {
    const name = rel ? `${rel}/${entry.name}` : entry.name;
    if (entry.isDirectory()) return walk(dir, name);
    return entry.name.endsWith('.js') ? [name] : [];
  });
}

export function modules() {
  return walk(pageDir).filter((f) => f !== FIRST && f !== LAST && f !== BUNDLE_NAME).sort();
}

export function makeBundle() {
  const requirejs = createRequire(path.join(repo, 'package.json')).resolve('requirejs/require.js');
  const parts = [
    `// ${BUNDLE_NAME} - RequireJS and the filter page's modules in one file, made by cmake/PageBundle.mjs.`,
    fs.readFileSync(requirejs, 'utf8'),
    fs.readFileSync(path.join(pageDir, FIRST), 'utf8'),
  ];
  for (const file of modules()) {
    const source = fs.readFileSync(path.join(pageDir, file), 'utf8');
    const defines = source.match(/^define\(/gm) || [];
    if (defines.length !== 1) throw new Error(`${file}: one define( at the start of a line expected, found ${defines.length}`);
    const name = NAME_PREFIX + file.replace(/\.js$/, '');
    parts.push(`// ${file}\n` + source.replace(/^define\(/m, `define(${JSON.stringify(name)}, `));
  }
  parts.push(fs.readFileSync(path.join(pageDir, LAST), 'utf8'));
  return parts.map((p) => (p.endsWith('\n') ? p : p + '\n')).join('');
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const at = process.argv.indexOf('--out');
  if (process.argv.includes('--help')) {
    console.log('usage: node cmake/PageBundle.mjs [--out FILE]');
    process.exit(0);
  }
  const out = at > 0 && process.argv[at + 1] ? path.resolve(process.argv[at + 1]) : path.join(repo, 'build/release/web', BUNDLE_NAME);
  try {
    const text = makeBundle();
    fs.mkdirSync(path.dirname(out), { recursive: true });
    // Written whole then renamed: a build stopped half way leaves no half bundle.
    fs.writeFileSync(`${out}.tmp`, text);
    fs.renameSync(`${out}.tmp`, out);
    console.log(`wrote ${path.relative(process.cwd(), out)} (${modules().length} modules)`);
  } catch (e) {
    console.error(`PageBundle: ${e.message}`);
    process.exit(1);
  }
}
