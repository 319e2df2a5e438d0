// pageBundle.mjs - makes webapps/DXInputFilterDisplay/FilterBundle.js, the page's
// modules in one file, from the modules beside it:
//
//   node tests/webapps/pageBundle.mjs          (or: npm run bundle-page)
//
// The page loads that one file instead of asking for each module: the kit's server
// answers a few requests at a time, and seventeen modules came in three or four waves.
// Each module is named as RequireJS would name it from its path, so the pushed scripts'
// require(['ZQ/DXInputFilterDisplay/Filter'], ...) and the modules' relative names find
// it. The node tests load the modules themselves; bundle.test.mjs checks that the
// committed bundle is what this makes.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const pageDir = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../webapps/DXInputFilterDisplay');
export const bundleFile = path.join(pageDir, 'FilterBundle.js');
const NAME_PREFIX = 'ZQ/DXInputFilterDisplay/';
// Not modules: the set-up that runs first and the start that runs last.
const FIRST = 'config.js';
const LAST = 'boot.js';

export function modules() {
  return fs.readdirSync(pageDir)
    .filter((f) => f.endsWith('.js') && f !== FIRST && f !== LAST && f !== path.basename(bundleFile))
    .sort();
}

export function makeBundle() {
  const parts = [
    '// FilterBundle.js - the filter page\'s modules in one file, made by tests/webapps/pageBundle.mjs',
    '// from the files beside it (npm run bundle-page). Do not edit: edit the modules, then make it again.',
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
  fs.writeFileSync(bundleFile, makeBundle());
  console.log(`wrote ${path.relative(process.cwd(), bundleFile)} (${modules().length} modules)`);
}
