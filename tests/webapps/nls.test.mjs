import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { load } from './amd.mjs';

const [Nls, Texts, CarryMarks] = await load('Nls', 'Texts', 'CarryMarks');

test('an NLS text is "<Catalog>.<Key>" split at the first dot, resolved from the catalog, or shown as it is', () => {
  assert.deepEqual(Nls.split('Data_Exchange-2.Key.With.Dots'), { catalog: 'Data_Exchange-2', key: 'Key.With.Dots' });
  for (const text of ['IfcWall', '.Key', 'Cat.', 'Two words.Key', 'Caté.Key', 42]) assert.equal(Nls.split(text), null, String(text));
  const resolver = new Nls.Resolver({ DXIfcProvider: { IfcWall: 'Wall', Empty: '', NotText: 12 } });
  assert.deepEqual(['DXIfcProvider.IfcWall', 'DXIfcProvider.Empty', 'DXIfcProvider.IfcDoor', 'DXIfcProvider.NotText', 'DXIfcProvider.toString']
    .map((text) => resolver.resolve(text)), ['Wall', '', 'DXIfcProvider.IfcDoor', 'DXIfcProvider.NotText', 'DXIfcProvider.toString']);
});

test('catalogs are asked once each; failing, malformed or silent ones count as empty', async () => {
  const asked = [];
  const bridge = {
    catalog(name) {
      asked.push(name);
      if (name === 'Broken') return Promise.reject(new Error('no such catalog'));
      if (name === 'Throws') throw new Error('bridge failure');
      if (name === 'Slow') return new Promise(() => {});
      return Promise.resolve(name === 'NotAnObject' ? 'text' : { Key: `${name} text` });
    },
  };
  const names = ['A', 'Broken', 'Throws', 'NotAnObject', 'Slow', 'B'];
  assert.deepEqual(await Nls.loadCatalogs(names, bridge, 30), { A: { Key: 'A text' }, B: { Key: 'B text' } });
  assert.deepEqual(asked, names);
  assert.deepEqual(await Nls.loadCatalogs(['A'], null, 10), {});
});

test('the page\'s own texts: the English file matches the code, and a catalog overrides known keys only', async () => {
  const file = JSON.parse(await readFile(new URL('../../catalogs/en/DXInputFilterDisplay.json', import.meta.url), 'utf8'));
  for (const key of Object.keys(CarryMarks.ENGLISH)) if (key in Texts.ENGLISH) assert.equal(CarryMarks.ENGLISH[key], Texts.ENGLISH[key], key);
  assert.deepEqual(file, { ...Texts.ENGLISH, ...CarryMarks.ENGLISH });
  Texts.use({ SummaryImport: '{1} entités, {0} importées', Unknown: 'x', Undo: 7 });
  assert.equal(Texts.format('SummaryImport', 3, 40), '40 entités, 3 importées');
  assert.equal(Texts.format('Undo'), 'Undo', 'a message that is not text is ignored');
  assert.equal(Texts.format('Unknown'), 'Unknown');
  assert.equal(Texts.format('Branch', '$& $1 {0}'), 'Branch: $& $1 {0}', 'arguments are taken as they are');
  Texts.reset();
  assert.equal(Texts.format('SummaryImport', 3, 40), '3 of 40 entities will be imported');
  // The carry marks take their catalog the same way.
  const marks = new CarryMarks({ carry: { carried: 3, new: ['a'], gone: [], dropped: 1 } });
  CarryMarks.use({ NewBadge: 'Neu', Edits: '{0} Änderungen', NewFilter: 42 });
  assert.deepEqual([marks.badge(), marks.summary(), marks.filterLabel()], ['Neu', '3 Änderungen carried, 1 new, 0 gone, 1 dropped', 'New since the last filter']);
  CarryMarks.reset();
  assert.equal(marks.badge(), 'New');
});
