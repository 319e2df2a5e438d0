// The page loads RequireJS and its modules from FilterBundle.js, made at build time: it
// must run on its own in a page and find every module by the name the dialog asks for.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import vm from 'node:vm';
import { makeBundle, modules } from '../../cmake/PageBundle.mjs';

test('every module of the bundle is named and found by the name the dialog asks for', { timeout: 20000 }, async () => {
  // A page's globals, with a document that has no DOM yet.
  const started = [];
  const sandbox = {
    navigator: {}, setTimeout, clearTimeout, console, URL, Promise,
    location: { href: 'http://127.0.0.1/t/webapps/DXInputFilterDisplay/FilterJS.html', pathname: '/t/' },
    document: {
      currentScript: { src: 'http://127.0.0.1/t/webapps/DXInputFilterDisplay/FilterBundle.js' },
      getElementsByTagName: () => [],
      createElement: () => ({ setAttribute() {}, addEventListener() {} }),
      getElementById: (id) => { started.push(id); return {}; },
    },
  };
  sandbox.window = sandbox;
  sandbox.self = sandbox;
  vm.createContext(sandbox);
  // boot.js at the bundle's end starts the page (without a DOM here the view says why
  // it cannot show, into the stand-in elements).
  vm.runInContext(makeBundle(), sandbox);
  const names = modules().map((f) => `ZQ/DXInputFilterDisplay/${f.replace(/\.js$/, '')}`);
  const loaded = await new Promise((resolve, reject) => sandbox.require(names, (...m) => resolve(m), reject));
  assert.equal(loaded.length, names.length);
  for (const [k, m] of loaded.entries()) assert.ok(m && (typeof m === 'object' || typeof m === 'function'), names[k]);
  assert.equal(typeof loaded[names.indexOf('ZQ/DXInputFilterDisplay/Filter')].init, 'function');
  assert.ok(started.includes('app'), 'the page starts from the bundle');
});
