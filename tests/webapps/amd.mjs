// Loads the page's AMD modules in Node, each caller in a context of its own so that
// module state (the Filter singleton) starts fresh.
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const require = createRequire(import.meta.url);
const requirejs = require('requirejs');
export const webapps = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../webapps');

let contexts = 0;

export function loader(extraPaths = {}) {
  const context = requirejs.config({
    context: `webapps${++contexts}`,
    baseUrl: webapps,
    paths: { ZQ: webapps, ...extraPaths },
    nodeRequire: require,
  });
  return (ids) => new Promise((resolve, reject) => context(ids, (...modules) => resolve(modules), reject));
}

export async function load(...ids) {
  return loader()(ids.map((id) => `ZQ/DXInputFilterDisplay/${id}`));
}
