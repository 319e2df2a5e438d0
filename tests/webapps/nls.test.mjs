import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';

const [Nls, Texts] = await load('Nls', 'Texts');

describe('NLS texts', () => {
  const resolver = new Nls.Resolver({
    DXIfcProvider: { IfcWall: 'Wall', 'Key.With.Dots': 'dotted', Empty: '', NotText: 12 },
    'Data_Exchange-2': { Column_Import: 'Import' },
  });

  test('"<Catalog>.<Key>" splits at the first dot', () => {
    assert.deepEqual(Nls.split('DXIfcProvider.IfcWall'), { catalog: 'DXIfcProvider', key: 'IfcWall' });
    assert.deepEqual(Nls.split('Cat.Key.With.Dots'), { catalog: 'Cat', key: 'Key.With.Dots' });
    assert.deepEqual(Nls.split('Data_Exchange-2.Column_Import'), { catalog: 'Data_Exchange-2', key: 'Column_Import' });
  });

  test('texts of another shape are not NLS texts', () => {
    for (const text of ['IfcWall', '.Key', 'Cat.', 'Two words.Key', 'Cat/x.Key', 'Caté.Key', '', 42]) {
      assert.equal(Nls.split(text), null, String(text));
    }
    assert.deepEqual(Nls.split('Cat..'), { catalog: 'Cat', key: '.' }, 'the key is whatever follows the first dot');
  });

  test('a message of the catalog replaces the text; without one the text shows as it is', () => {
    for (const [text, shown] of [
      ['DXIfcProvider.IfcWall', 'Wall'], ['DXIfcProvider.Key.With.Dots', 'dotted'],
      ['Data_Exchange-2.Column_Import', 'Import'], ['DXIfcProvider.Empty', ''],
      ['DXIfcProvider.IfcDoor', 'DXIfcProvider.IfcDoor'], ['Unknown.IfcWall', 'Unknown.IfcWall'],
      ['DXIfcProvider.NotText', 'DXIfcProvider.NotText'], ['DXIfcProvider.toString', 'DXIfcProvider.toString'],
      ['IfcWall', 'IfcWall'],
    ]) assert.equal(resolver.resolve(text), shown, text);
    assert.equal(new Nls.Resolver().resolve('DXIfcProvider.IfcWall'), 'DXIfcProvider.IfcWall');
  });
});

describe('catalog loading through the bridge', () => {
  test('each catalog is asked once; failing ones count as empty', async () => {
    const asked = [];
    const bridge = {
      catalog(name) {
        asked.push(name);
        if (name === 'Broken') return Promise.reject(new Error('no such catalog'));
        if (name === 'Throws') throw new Error('bridge failure');
        if (name === 'NotAnObject') return Promise.resolve('text');
        return Promise.resolve({ Key: `${name} text` });
      },
    };
    const catalogs = await Nls.loadCatalogs(['A', 'Broken', 'Throws', 'NotAnObject', 'B'], bridge, 0);
    assert.deepEqual(asked, ['A', 'Broken', 'Throws', 'NotAnObject', 'B']);
    assert.deepEqual(catalogs, { A: { Key: 'A text' }, B: { Key: 'B text' } });
  });

  test('a catalog that never answers does not hold the page', async () => {
    const bridge = { catalog: (name) => (name === 'Slow' ? new Promise(() => {}) : Promise.resolve({ K: 'v' })) };
    const catalogs = await Nls.loadCatalogs(['Slow', 'Fast'], bridge, 30);
    assert.deepEqual(catalogs, { Fast: { K: 'v' } });
  });

  test('no bridge, no catalogs', async () => {
    assert.deepEqual(await Nls.loadCatalogs(['A'], null, 10), {});
  });
});

describe('the page\'s own texts', () => {
  test('the English catalog file and the fallbacks in code agree', async () => {
    const { readFile } = await import('node:fs/promises');
    const [CarryMarks] = await load('CarryMarks');
    const file = JSON.parse(await readFile(new URL('../../catalogs/en/DXInputFilterDisplay.json', import.meta.url), 'utf8'));
    // Both modules read the one catalog: a key they share means the same text.
    for (const key of Object.keys(CarryMarks.ENGLISH)) {
      if (key in Texts.ENGLISH) assert.equal(CarryMarks.ENGLISH[key], Texts.ENGLISH[key], key);
    }
    assert.deepEqual(file, { ...Texts.ENGLISH, ...CarryMarks.ENGLISH });
  });

  test('a catalog overrides known keys only, and arguments fill the placeholders', () => {
    Texts.reset();
    assert.equal(Texts.format('SummaryImport', 3, 40), '3 of 40 entities will be imported');
    Texts.use({ SummaryImport: '{1} entités, {0} importées', Unknown: 'x', Undo: 7 });
    assert.equal(Texts.format('SummaryImport', 3, 40), '40 entités, 3 importées');
    assert.equal(Texts.format('Undo'), 'Undo', 'a message that is not text is ignored');
    assert.equal(Texts.format('Unknown'), 'Unknown');
    assert.equal(Texts.format('Branch', '$& $1 {0}'), 'Branch: $& $1 {0}', 'arguments are taken as they are');
    Texts.reset();
  });
});
