import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';
import { house, houseText, trickyText, columns, find } from './fixtures.mjs';

const [FilterModel, Nls] = await load('FilterModel', 'Nls');

const catalogs = { DXIfcProvider: { Column_Import: 'Import', IfcWall: 'Wall', UnplacedElements: 'Elements outside the spatial structure' } };
const withCatalogs = (text) => new FilterModel(text, { resolver: new Nls.Resolver(catalogs) });
// The house's nodes in the parsed document text.
const storeyOf = (doc, n) => doc.roots[0].children[0].children[0].children[n];
const wallOf = (doc) => storeyOf(doc, 0).children[0].children[0];

describe('the document as rows', () => {
  test('entities in pre-order with parents and depths; columns, cells and labels from grid or NLS', () => {
    const doc = house();
    delete doc.roots[1].label;
    doc.columns.push({ dataIndex: 'Note', editableFlag: true, editionPolicy: 'EditionInPlace', data: { NLS_text: 'Note' } });
    const model = withCatalogs(JSON.stringify(doc));
    assert.deepEqual([...Array(8).keys()].map((i) => `${model.depth[i]} ${model.label(i)}`), ['0 Sample house project', '1 Site', '2 House',
      '3 Storey 0', '4 Living room 0', '5 Wall 0.1', '6 Door 0.1', '6 Window 0.1']);
    const [wall, door] = [find(model, 'Wall 0.1'), find(model, 'Door 0.1')];
    assert.deepEqual([model.parent[door], model.children(wall).map((i) => model.label(i))], [wall, ['Door 0.1', 'Window 0.1']]);

    assert.deepEqual(model.columns.map((c) => [c.name, c.kind, c.editable]), [
      ['tree', 'tree', false], ['Import', 'boolean', true], ['ImportMode', 'enum', true], ['Type', 'string', false],
      ['Name', 'string', true], ['Elevation', 'number', true], ['Imported', 'runtime', false], ['Note', 'text', true]]);
    assert.deepEqual(model.column('ImportMode').options, ['NoImport', 'ForLifecycle', 'ForCoordination', 'ForDesign']);
    assert.equal(model.columnTitle(model.column('Elevation')), 'DXIfcProvider.Column_Elevation', 'a missing message shows the NLS text');

    assert.deepEqual([model.cellSource(wall, model.column('Type')), model.cellSource(find(model, 'Site'), model.column('Name')), model.labelSource(model.roots[1])],
      [{ text: 'DXIfcProvider.IfcWall', nls: true }, null, { text: 'DXIfcProvider.UnplacedElements', nls: true }]);
    assert.deepEqual([model.cellText(wall, model.column('Type')), model.cellText(find(model, 'Storey 1'), model.column('Elevation')), model.label(model.roots[1])],
      ['Wall', '3000', 'Elements outside the spatial structure']);
    const literal = withCatalogs(JSON.stringify({ columns: columns(), roots: [{ label: 'DXIfcProvider.IfcWall', data: {}, grid: {} }] }));
    assert.equal(literal.label(0), 'DXIfcProvider.IfcWall', 'a literal label is never resolved');

    const empty = model.roots[2];
    assert.deepEqual([model.isEntity(empty), model.canEdit(empty, model.column('Name')), model.runtimeText(empty)], [false, false, '']);
    assert.equal(model.applyEdits([{ index: empty, column: model.column('Name'), value: 'x' }]), null);
  });

  test('catalog names come from every NLS text; a path to nothing is none; a non-object is refused', () => {
    const doc = house();
    doc.roots[0].data.NLS_label = 'Other-Cat_1.Key';
    doc.roots[1].data.NLS_grid = { Name: 'Third.Key.With.Dots' };
    assert.deepEqual(new FilterModel(JSON.stringify(doc)).catalogNames().sort(), ['DXIfcProvider', 'Third']);
    delete doc.roots[0].label;
    const model = new FilterModel(JSON.stringify(doc));
    assert.deepEqual(model.catalogNames().sort(), ['DXIfcProvider', 'Other-Cat_1', 'Third']);
    for (const path of [[0, 9], [], [0.5]]) assert.equal(model.indexOf(path), -1);
    assert.throws(() => new FilterModel('[1,2]'), SyntaxError);
  });
});

describe('edits', () => {
  test('write grid as strings and drop the NLS_grid entry, then NLS_grid itself; the shown value changes nothing', () => {
    const doc = house();
    wallOf(doc).data.NLS_grid.Name = 'DXIfcProvider.SomeName';
    delete wallOf(doc).grid.Name;
    const model = withCatalogs(JSON.stringify(doc));
    const wall = find(model, 'Wall 0.1');
    const typeColumn = { ...model.column('Type'), editable: true };
    // The same as the resolved NLS value, or a read-only column: no edit.
    assert.deepEqual([model.applyEdits([{ index: wall, column: typeColumn, value: 'Wall' }]),
      model.applyEdits([{ index: wall, column: model.column('Type'), value: 'read-only' }]), model.isDirty()], [null, null, false]);
    model.applyEdits([{ index: wall, column: model.column('Name'), value: 'Edited' }]);
    assert.deepEqual(wallOf(JSON.parse(model.serialize())).data.NLS_grid, { Type: 'DXIfcProvider.IfcWall' });
    model.applyEdits([{ index: wall, column: typeColumn, value: 'IfcWallStandardCase' }, { index: wall, column: model.column('Elevation'), value: '2750.5' }]);
    const node = wallOf(JSON.parse(model.serialize()));
    assert.deepEqual(node.grid, { Import: 'true', ImportMode: 'ForDesign', Name: 'Edited', Type: 'IfcWallStandardCase', Elevation: '2750.5' });
    assert.deepEqual(Object.keys(node.data), ['uid', 'instance'], 'an emptied NLS_grid goes away');

    const text = JSON.stringify({ columns: columns(), roots: [{ label: 'p', data: { uid: ['u'] }, children: [{ label: 'c', data: {}, grid: {} }] }] });
    const bare = new FilterModel(text);
    bare.applyEdits([{ index: 0, column: bare.column('Name'), value: 'N' }]);
    assert.equal(bare.serialize(), text.replace('"data":{"uid":["u"]},', '"data":{"uid":["u"]},"grid":{"Name":"N"},'), 'grid before children');
  });

  test('counts of imported entities follow edits, subtree edits and undo, one step each', () => {
    const model = new FilterModel(houseText());
    const [project, storey0, storey1, kitchen] = ['Sample house project', 'Storey 0', 'Storey 1', 'Kitchen 0'].map((l) => find(model, l));
    const counts = () => [project, storey0, storey1, kitchen].map((i) => model.runtimeText(i));
    assert.deepEqual(counts(), ['15 / 17', '6 / 7', '6 / 7', '0 / 1']);
    assert.deepEqual(model.summary(), { total: 18, imported: 15, hasImportColumn: true });
    const changed = model.applyEdits([{ index: kitchen, column: model.column('Import'), value: 'true' }]);
    assert.deepEqual(changed.sort((a, b) => a - b), [0, 1, 2, 3, kitchen], 'the entity and its ancestors');
    model.applySubtree(storey1, model.column('Import'), 'false');
    assert.deepEqual([...counts(), model.summary().imported], ['10 / 17', '7 / 7', '0 / 7', '1 / 1', 10]);
    // The record of edits: each cell once, its value now, in the order first edited (Wall 1.1 is parsed on its way).
    model.applyEdits([{ index: find(model, 'Site'), column: model.column('Name'), value: 'S' }]);
    model.applySubtree(project, model.column('Import'), 'true');
    const edits = model.userEdits();
    assert.deepEqual(edits.uids.map((uid, k) => `${model.label(model.indexOfUid(uid))} ${edits.cells[k].filter((_, m) => m % 2)}`),
      ['Kitchen 0', 'Storey 1', 'Living room 1', 'Wall 1.1', 'Door 1.1', 'Window 1.1', 'Wall 1.2', 'Site', 'Kitchen 1']
        .map((l) => `${l} ${l === 'Site' ? 'S' : 'true'}`));
    assert.deepEqual([model.undo().length, ...counts()], [model.end[project] - project, '10 / 17', '7 / 7', '0 / 7', '1 / 1']);
    model.undo();
    model.undo();
    model.undo();
    assert.deepEqual(counts(), ['15 / 17', '6 / 7', '6 / 7', '0 / 1']);

    // Only "true" imports, on either side; without a boolean column entities are counted.
    const doc = house();
    doc.roots[0].grid.Import = 'TRUE';
    doc.roots[0].children[0].data.NLS_grid = { Import: 'true' };
    delete doc.roots[0].children[0].grid.Import;
    assert.deepEqual(Array.from(new FilterModel(JSON.stringify(doc)).importFlag.subarray(0, 2)), [0, 1]);
    doc.columns = doc.columns.filter((c) => c.dataIndex !== 'Import');
    const uncounted = new FilterModel(JSON.stringify(doc));
    assert.deepEqual([uncounted.runtimeText(storey0), uncounted.summary().hasImportColumn], ['7', false]);
  });

  test('a subtree edit sets the entity and its subtree only; several rows are one step; undo and dirty step back', () => {
    const model = new FilterModel(houseText());
    const [storey, site] = [find(model, 'Storey 0'), find(model, 'Site')];
    const [mode, name] = [model.column('ImportMode'), model.column('Name')];
    model.applySubtree(storey, mode, 'ForCoordination');
    for (let i = 0; i < model.size; i++) {
      if (!model.isEntity(i)) continue;
      const before = { 'Kitchen 1': 'NoImport', Unplaced: '' }[model.label(i)] ?? 'ForDesign';
      assert.equal(model.cellText(i, mode), i >= storey && i < model.end[storey] ? 'ForCoordination' : before, model.label(i));
    }
    const rows = ['Door 0.1', 'Door 1.1', 'Site'].map((l) => find(model, l));
    model.applyEdits(rows.map((index) => ({ index, column: name, value: 'one' })));
    model.markSent();
    assert.equal(model.isDirty(), false);
    model.applyEdits([{ index: site, column: name, value: 'two' }]);
    assert.equal(model.editCount(), 3);
    model.undo();
    assert.deepEqual([...rows.map((i) => model.cellText(i, name)), model.isDirty()], ['one', 'one', 'one', false], 'back at what was sent');
    model.undo();
    assert.deepEqual([...rows.map((i) => model.cellText(i, name)), model.isEdited(site, name), model.isDirty()],
      ['Single-Flush 0915 x 2134mm', 'Single-Flush 0915 x 2134mm', '', false, true], 'undone past what was sent');
    model.undo();
    assert.equal(model.undo(), null);
  });
});

describe('exact round trip', () => {
  test('an unedited document comes back byte for byte; an edited one differs in the edited cells and the record of edits only', () => {
    const text = trickyText();
    const model = new FilterModel(text);
    assert.equal(model.serialize(), text);
    assert.equal(model.write(), text);
    const storey = find(model, `Storey 0 \u2028\u2029 \ud83c\udfe0 </script> it's \\ "q"`);
    model.applyEdits([{ index: storey, column: model.column('Name'), value: "Level 0 it's \\ \"new\" <img src=x onerror=alert(1)>" }]);
    model.applyEdits([{ index: find(model, 'Kitchen 1'), column: model.column('Import'), value: 'true' }]);
    const name = '"Level 0 it\'s \\\\ \\"new\\" <img src=x onerror=alert(1)>"';
    const expected = text
      .replace('"Name":"Level 0"', `"Name":${name}`)
      .replace(/("label":"Kitchen 1","data":\{[^}]*\},"grid":\{"Import":)"false"/, '$1"true"')
      .replace('}}},"columns"', `}},"userEdits":{"2000000000000000000007":{"Name":${name}},"200000000000000000000d":{"Import":"true"}}},"columns"`);
    assert.equal(model.serialize(), expected);
    while (model.canUndo()) model.undo();
    assert.equal(model.write(), text, 'every edit undone: the tree itself is back');

    // A record that came with the document: its entries merged in place, new ones after them.
    const plain = new FilterModel(houseText());
    const [k0, k1, w11] = ['Kitchen 0', 'Kitchen 1', 'Wall 1.1'].map((l) => plain.firstUid(find(plain, l)));
    const record = (entries) => houseText().replace('"formatUsage":"IFC"}', `"formatUsage":"IFC","userEdits":{${entries}}}`);
    const merged = new FilterModel(record(`"${k1}":{"Name":"n","Import":"false"},"${w11}":5`));
    merged.applyEdits(['Wall 1.1', 'Kitchen 0', 'Kitchen 1'].map((l, k) => ({ index: find(merged, l), column: merged.column('Import'), value: String(k > 0) })));
    assert.equal(merged.serialize().match(/"userEdits":(\{.*?\}\})\}/)[1],
      `{"${k1}":{"Name":"n","Import":"true"},"${w11}":{"Import":"false"},"${k0}":{"Import":"true"}}`);
  });

  test('ticks are written in place, token by token, as the reader takes them', () => {
    // Kitchen 0's Import spelled with an escape; Wall 1.2's data and Door 1.1's grid not parsable; Kitchen 1's key twice.
    const text = houseText()
      .replace(/("label":"Door 1\.1","data":\{[^}]*\},"grid":\{"Import":"true","ImportMode":"ForDesign","Type":"IfcDoor","Name":")/, '$1\u0001')
      .replace(/("label":"Kitchen 0","data":\{[^}]*\},"grid":\{"Import":)"false"/, '$1"f\\u0061lse"')
      .replace(/("label":"Wall 1\.2","data":\{"uid":\["\w+"\],"instance":)"(#\d+)"/, '$1$2')
      .replace(/("label":"Kitchen 1","data":\{[^}]*\},"grid":\{)"Import":"false"/, '$1"Import":"true","Import":"false"');
    const model = new FilterModel(text);
    const importColumn = model.column('Import');
    const [kitchen0, wall12, kitchen1, door11] = ['Kitchen 0', 'Wall 1.2', 'Kitchen 1', 'Door 1.1'].map((l) => find(model, l));
    assert.equal(model.cellText(kitchen1, importColumn), 'false', 'the last of a key held twice');
    model.applyEdits([kitchen0, wall12, door11].map((index, k) => ({ index, column: importColumn, value: k ? 'false' : 'true' })));
    // No node parsed; Wall 1.2's other values cannot be read: none shown, none editable.
    assert.deepEqual([model.pinned.size, model.subtreeImport(find(model, 'Storey 1')), model.cellText(wall12, model.column('ImportMode')),
      model.applyEdits([{ index: wall12, column: model.column('Name'), value: 'x' }])], [0, -1, '', null]);
    assert.equal(model.serialize(), text
      .replace('"f\\u0061lse"', '"true"')
      .replace(/("label":"Wall 1\.2","data":\{[^}]*\},"grid":\{"Import":)"true"/, '$1"false"')
      .replace(/("label":"Door 1\.1","data":\{[^}]*\},"grid":\{"Import":)"true"/, '$1"false"')
      .replace('"formatUsage":"IFC"}', `"formatUsage":"IFC","userEdits":{"${model.firstUid(kitchen0)}":{"Import":"true"}}}`));
    model.undo();
    model.applyEdits([{ index: kitchen1, column: importColumn, value: 'true' }]);
    const grid = /"label":"Kitchen 1","data":\{[^}]*\},"grid":(\{[^}]*\})/.exec(model.serialize())[1];
    assert.equal(JSON.parse(grid).Import, 'true');
    model.undo();
    assert.equal(model.serialize(), text, 'undone, the text that came');

    // A subtree's undo puts back values of many kinds (more than a byte's worth of codes).
    const kinds = JSON.stringify({ columns: columns(), roots: [{ label: 'p', data: {}, grid: { Type: 'p' },
      children: Array.from({ length: 300 }, (_, k) => ({ label: `c${k}`, data: {}, grid: { Type: `t${k % 280}` } })) }] });
    const many = new FilterModel(kinds);
    const types = () => Array.from({ length: many.size }, (_, k) => many.cellText(k, many.column('Type')));
    const before = types();
    many.applySubtree(0, { ...many.column('Type'), editable: true }, 'x');
    assert.equal(many.cellText(299, many.column('Type')), 'x');
    many.undo();
    assert.deepEqual(types(), before);
  });

  test('a value edited in place, then its node parsed for another edit, keeps both through undo', () => {
    const text = houseText();
    const model = new FilterModel(text);
    const wall = find(model, 'Wall 1.2');
    const node = () => storeyOf(JSON.parse(model.serialize()), 1).children[0].children[1];
    model.applyEdits([{ index: wall, column: model.column('Import'), value: 'false' }]);
    model.applyEdits([{ index: wall, column: model.column('Name'), value: 'Renamed' }]);
    assert.deepEqual([node().label, node().grid.Import, node().grid.Name], ['Wall 1.2', 'false', 'Renamed']);
    // A subtree tick over it: the parsed node takes the tick; its undo, the tick only.
    model.applySubtree(find(model, 'Storey 1'), model.column('Import'), 'true');
    assert.deepEqual([node().grid.Import, node().grid.Name, model.importFlag[wall]], ['true', 'Renamed', 1]);
    model.undo();
    assert.deepEqual([node().grid.Import, node().grid.Name, model.importFlag[wall]], ['false', 'Renamed', 0]);
    model.undo();
    assert.deepEqual([node().grid.Import, node().grid.Name, model.importFlag[wall]], ['false', 'Basic Wall:Interior', 0]);
    model.undo();
    assert.equal(model.serialize(), text);
    // A subtree's tick in place, then a node of it parsed: undone, the parsed node is back too.
    const door = find(model, 'Door 1.1');
    model.applySubtree(find(model, 'Storey 1'), model.column('Import'), 'false');
    model.applyEdits([{ index: door, column: model.column('Name'), value: 'Renamed' }]);
    model.undo();
    model.undo();
    assert.deepEqual([model.serialize(), model.cellText(door, model.column('Import')), model.isEdited(door, model.column('Import'))], [text, 'true', false]);
  });
});
