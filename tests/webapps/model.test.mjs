import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';
import { house, houseText, columns, entity } from './fixtures.mjs';

const [FilterModel, Nls] = await load('FilterModel', 'Nls');

const catalogs = {
  DXIfcProvider: {
    Column_Import: 'Import',
    Column_Name: 'Name',
    IfcWall: 'Wall',
    UnplacedElements: 'Elements outside the spatial structure',
  },
};
const withCatalogs = (text) => new FilterModel(text, { resolver: new Nls.Resolver(catalogs) });
const find = (model, label) => {
  for (let i = 0; i < model.size; i++) if (model.label(i) === label) return i;
  throw new Error(`no entity ${label}`);
};
const col = (model, name) => model.column(name);

describe('rows from the document', () => {
  const model = withCatalogs(houseText());

  test('entities are numbered in pre-order with parents and depths', () => {
    const labels = [];
    for (let i = 0; i < model.size; i++) labels.push(`${'  '.repeat(model.depth[i])}${model.label(i)}`);
    assert.deepEqual(labels.slice(0, 8), [
      'Sample house project', '  Site', '    House', '      Storey 0', '        Living room 0',
      '          Wall 0.1', '            Door 0.1', '            Window 0.1',
    ]);
    const door = find(model, 'Door 0.1');
    assert.equal(model.label(model.parent[door]), 'Wall 0.1');
    assert.deepEqual(model.children(find(model, 'Wall 0.1')).map((i) => model.label(i)), ['Door 0.1', 'Window 0.1']);
    assert.equal(model.hasChildren(door), false);
  });

  test('columns get their kind, editability and options', () => {
    const kinds = model.columns.map((c) => [c.name, c.kind, c.editable]);
    assert.deepEqual(kinds, [
      ['tree', 'tree', false], ['Import', 'boolean', true], ['ImportMode', 'enum', true], ['Type', 'string', false],
      ['Name', 'string', true], ['Elevation', 'number', true], ['Imported', 'runtime', false],
    ]);
    assert.deepEqual(col(model, 'ImportMode').options, ['NoImport', 'ForLifecycle', 'ForCoordination', 'ForDesign']);
    assert.equal(model.columnTitle(col(model, 'Import')), 'Import');
    assert.equal(model.columnTitle(col(model, 'Elevation')), 'DXIfcProvider.Column_Elevation', 'a missing message shows the NLS text');
  });

  test('an editable column with no representation and no type is text', () => {
    const doc = house();
    doc.columns.push({ dataIndex: 'Note', editableFlag: true, editionPolicy: 'EditionInPlace', data: { NLS_text: 'Note' } });
    const m = new FilterModel(JSON.stringify(doc));
    assert.equal(m.column('Note').kind, 'text');
    assert.equal(m.column('Note').editable, true);
  });

  test('cell values come from grid or NLS_grid, resolved only from NLS_grid', () => {
    const wall = find(model, 'Wall 0.1');
    assert.deepEqual(model.cellSource(wall, col(model, 'Type')), { text: 'DXIfcProvider.IfcWall', nls: true });
    assert.equal(model.cellText(wall, col(model, 'Type')), 'Wall');
    assert.equal(model.cellText(wall, col(model, 'Name')), 'Basic Wall:Exterior');
    assert.equal(model.cellText(find(model, 'Storey 1'), col(model, 'Elevation')), '3000');
    assert.equal(model.cellSource(find(model, 'Site'), col(model, 'Name')), null);
  });

  test('a label is literal, or the resolved data.NLS_label', () => {
    const doc = house();
    delete doc.roots[1].label;
    const m = withCatalogs(JSON.stringify(doc));
    const unplaced = m.roots[1];
    assert.deepEqual(m.labelSource(unplaced), { text: 'DXIfcProvider.UnplacedElements', nls: true });
    assert.equal(m.label(unplaced), 'Elements outside the spatial structure');
    const literal = new FilterModel(JSON.stringify({ columns: columns(), roots: [{ label: 'DXIfcProvider.IfcWall', data: {}, grid: {} }] }),
      { resolver: new Nls.Resolver(catalogs) });
    assert.equal(literal.label(0), 'DXIfcProvider.IfcWall', 'a literal label is never resolved');
  });

  test('an empty node is no entity: not counted, not editable', () => {
    const empty = model.roots[2];
    assert.equal(model.isEntity(empty), false);
    assert.equal(model.canEdit(empty, col(model, 'Name')), false);
    assert.equal(model.runtimeText(empty), '');
    assert.equal(model.applyEdits([{ index: empty, column: col(model, 'Name'), value: 'x' }]), null);
  });

  test('catalog names are collected from every NLS text', () => {
    const doc = house();
    doc.roots[0].data.NLS_label = 'Other-Cat_1.Key';
    doc.roots[1].data.NLS_grid = { Name: 'Third.Key.With.Dots' };
    assert.deepEqual(new FilterModel(JSON.stringify(doc)).catalogNames().sort(), ['DXIfcProvider', 'Third']);
    delete doc.roots[0].label;
    assert.deepEqual(new FilterModel(JSON.stringify(doc)).catalogNames().sort(), ['DXIfcProvider', 'Other-Cat_1', 'Third']);
  });

  test('paths name entities and come back to them', () => {
    for (let i = 0; i < model.size; i++) assert.equal(model.indexOf(model.pathOf(i)), i);
    assert.deepEqual(model.pathOf(find(model, 'Window 0.1')), [0, 0, 0, 0, 0, 0, 1]);
    assert.equal(model.indexOf([0, 9]), -1);
    assert.equal(model.indexOf([]), -1);
    assert.equal(model.indexOf([0.5]), -1);
  });

  test('a document that is not an object is refused', () => {
    assert.throws(() => new FilterModel('[1,2]'), SyntaxError);
    assert.throws(() => new FilterModel('{"roots":['), SyntaxError);
  });
});

describe('edits go where the reader looks', () => {
  test('an edit writes grid and drops the NLS_grid entry, then NLS_grid itself', () => {
    const doc = house();
    const wallNode = doc.roots[0].children[0].children[0].children[0].children[0].children[0];
    wallNode.data.NLS_grid.Name = 'DXIfcProvider.SomeName';
    delete wallNode.grid.Name;
    const model = withCatalogs(JSON.stringify(doc));
    const wall = find(model, 'Wall 0.1');

    model.applyEdits([{ index: wall, column: col(model, 'Name'), value: 'Edited' }]);
    let node = JSON.parse(model.serialize()).roots[0].children[0].children[0].children[0].children[0].children[0];
    assert.equal(node.grid.Name, 'Edited');
    assert.deepEqual(node.data.NLS_grid, { Type: 'DXIfcProvider.IfcWall' });

    model.applyEdits([{ index: wall, column: col(model, 'Type'), value: 'would be refused: read-only' }]);
    assert.ok(JSON.parse(model.serialize()).roots[0].children[0].children[0].children[0].children[0].children[0].data.NLS_grid);

    const typeColumn = { ...col(model, 'Type'), editable: true };
    model.applyEdits([{ index: wall, column: typeColumn, value: 'IfcWallStandardCase' }]);
    node = JSON.parse(model.serialize()).roots[0].children[0].children[0].children[0].children[0].children[0];
    assert.equal(node.grid.Type, 'IfcWallStandardCase');
    assert.equal('NLS_grid' in node.data, false, 'an emptied NLS_grid goes away');
    assert.deepEqual(Object.keys(node.data), ['uid', 'instance']);
  });

  test('a node without grid gets one before its children', () => {
    const text = JSON.stringify({ columns: columns(), roots: [{ label: 'p', data: { uid: ['u'] }, children: [{ label: 'c', data: {}, grid: {} }] }] });
    const model = new FilterModel(text);
    model.applyEdits([{ index: 0, column: col(model, 'Name'), value: 'N' }]);
    assert.equal(model.serialize(), text.replace('"data":{"uid":["u"]},', '"data":{"uid":["u"]},"grid":{"Name":"N"},'));
  });

  test('values are written as strings whatever the column kind', () => {
    const model = new FilterModel(houseText());
    const storey = find(model, 'Storey 0');
    model.applyEdits([{ index: storey, column: col(model, 'Elevation'), value: '2750.5' }, { index: storey, column: col(model, 'Import'), value: 'false' }]);
    const node = JSON.parse(model.serialize()).roots[0].children[0].children[0].children[0];
    assert.equal(node.grid.Elevation, '2750.5');
    assert.equal(node.grid.Import, 'false');
  });

  test('an edit to the value already shown changes nothing', () => {
    const model = withCatalogs(houseText());
    const wall = find(model, 'Wall 0.1');
    assert.equal(model.applyEdits([{ index: wall, column: col(model, 'Name'), value: 'Basic Wall:Exterior' }]), null);
    const typeColumn = { ...col(model, 'Type'), editable: true };
    assert.equal(model.applyEdits([{ index: wall, column: typeColumn, value: 'Wall' }]), null, 'same as the resolved NLS value');
    assert.equal(model.canUndo(), false);
    assert.equal(model.isDirty(), false);
  });
});

describe('runtime column counts', () => {
  test('each entity counts the imported entities of its subtree, itself included', () => {
    const model = new FilterModel(houseText());
    assert.equal(model.runtimeText(find(model, 'Sample house project')), '15 / 17');
    assert.equal(model.runtimeText(find(model, 'Storey 0')), '6 / 7');
    assert.equal(model.runtimeText(find(model, 'Kitchen 0')), '0 / 1');
    assert.equal(model.runtimeText(find(model, 'Door 0.1')), '1 / 1');
    assert.deepEqual(model.summary(), { total: 18, imported: 15, hasImportColumn: true });
  });

  test('counts follow edits, subtree edits and undo', () => {
    const model = new FilterModel(houseText());
    const importColumn = col(model, 'Import');
    const project = find(model, 'Sample house project');
    const kitchen = find(model, 'Kitchen 0');
    const changed = model.applyEdits([{ index: kitchen, column: importColumn, value: 'true' }]);
    assert.deepEqual(changed.sort((a, b) => a - b), [0, 1, 2, 3, kitchen], 'the entity and its ancestors');
    assert.equal(model.runtimeText(find(model, 'Storey 0')), '7 / 7');
    assert.equal(model.runtimeText(project), '16 / 17');

    model.applyEdits(model.subtreeEdits(find(model, 'Storey 1'), importColumn, 'false'));
    assert.equal(model.runtimeText(find(model, 'Storey 1')), '0 / 7');
    assert.equal(model.runtimeText(project), '10 / 17', 'Storey 1 had 6 of its 7 imported');
    assert.equal(model.summary().imported, 10);

    model.undo();
    assert.equal(model.runtimeText(project), '16 / 17');
    model.undo();
    assert.equal(model.runtimeText(project), '15 / 17');
  });

  test('a value other than "true" does not import, whichever side it is on', () => {
    const doc = house();
    doc.roots[0].grid.Import = 'TRUE';
    doc.roots[0].children[0].data.NLS_grid = { Import: 'true' };
    delete doc.roots[0].children[0].grid.Import;
    const model = new FilterModel(JSON.stringify(doc));
    assert.equal(model.importFlag[0], 0);
    assert.equal(model.importFlag[1], 1, 'NLS_grid holds the value the reader takes');
  });

  test('without a boolean column the runtime column counts entities', () => {
    const doc = house();
    doc.columns = doc.columns.filter((c) => c.dataIndex !== 'Import');
    const model = new FilterModel(JSON.stringify(doc));
    assert.equal(model.runtimeText(find(model, 'Storey 0')), '7');
    assert.equal(model.summary().hasImportColumn, false);
  });
});

describe('subtree and several-row edits', () => {
  test('a subtree edit sets the entity and every entity below it, nothing else', () => {
    const model = new FilterModel(houseText());
    const storey = find(model, 'Storey 0');
    const mode = col(model, 'ImportMode');
    model.applyEdits(model.subtreeEdits(storey, mode, 'ForCoordination'));
    for (let i = 0; i < model.size; i++) {
      if (!model.isEntity(i)) continue;
      const inside = i >= storey && i < model.end[storey];
      const before = { 'Kitchen 1': 'NoImport', Unplaced: '' };
      const expected = inside ? 'ForCoordination' : before[model.label(i)] ?? 'ForDesign';
      assert.equal(model.cellText(i, mode), expected, model.label(i));
    }
    assert.equal(model.editCount(), 1, 'one step to undo');
  });

  test('edits of several rows are one step', () => {
    const model = new FilterModel(houseText());
    const name = col(model, 'Name');
    const rows = ['Door 0.1', 'Door 1.1', 'Wall 1.2'].map((l) => find(model, l));
    model.applyEdits(rows.map((index) => ({ index, column: name, value: 'Same' })));
    assert.deepEqual(rows.map((i) => model.cellText(i, name)), ['Same', 'Same', 'Same']);
    model.undo();
    assert.deepEqual(rows.map((i) => model.cellText(i, name)), ['Single-Flush 0915 x 2134mm', 'Single-Flush 0915 x 2134mm', 'Basic Wall:Interior']);
  });
});

describe('undo', () => {
  test('undoing every edit gives the document back byte for byte', () => {
    const doc = house();
    doc.roots[0].children[0].children[0].children[0].data.NLS_grid = { Name: 'DXIfcProvider.Level', Import: 'true' };
    delete doc.roots[0].children[0].children[0].children[0].grid.Import;
    const text = JSON.stringify(doc);
    const model = new FilterModel(text);
    const storey = find(model, 'Storey 0');
    model.applyEdits([{ index: storey, column: col(model, 'Name'), value: 'A' }]);
    model.applyEdits(model.subtreeEdits(storey, col(model, 'Import'), 'false'));
    model.applyEdits([{ index: model.roots[1], column: col(model, 'Name'), value: 'B' }]);
    assert.notEqual(model.serialize(), text);
    while (model.canUndo()) model.undo();
    assert.equal(model.serialize(), text);
    // Not only the shortcut for an unedited document: the tree itself is back.
    assert.equal(model.write(), text);
  });

  test('undo goes back one step at a time', () => {
    const model = new FilterModel(houseText());
    const site = find(model, 'Site');
    const name = col(model, 'Name');
    model.applyEdits([{ index: site, column: name, value: 'one' }]);
    model.applyEdits([{ index: site, column: name, value: 'two' }]);
    model.undo();
    assert.equal(model.cellText(site, name), 'one');
    assert.equal(model.isEdited(site, name), true);
    model.undo();
    assert.equal(model.cellText(site, name), '');
    assert.equal(model.isEdited(site, name), false);
    assert.equal(model.undo(), null);
  });

  test('dirty until sent; undo past what was sent is dirty again', () => {
    const model = new FilterModel(houseText());
    const site = find(model, 'Site');
    const name = col(model, 'Name');
    assert.equal(model.isDirty(), false);
    model.applyEdits([{ index: site, column: name, value: 'one' }]);
    assert.equal(model.isDirty(), true);
    model.markSent();
    assert.equal(model.isDirty(), false);
    model.undo();
    assert.equal(model.isDirty(), true);
    model.applyEdits([{ index: site, column: name, value: 'one' }]);
    assert.equal(model.isDirty(), true, 'the same value again is a new step, not the sent one');
  });
});

describe('exact round trip', () => {
  const tricky = (extra = {}) => {
    const doc = house();
    const text = JSON.stringify(doc);
    // Spliced as text: what JSON.stringify cannot write (numbers as written, key order).
    return text
      .replace('"data":{"filterID":"IFC4:SampleHouse.ifc","formatUsage":"IFC"}',
        '"data":{"filterID":"IFC4:SampleHouse.ifc","formatUsage":"IFC","settings":{"tolerance":1.50,"max":123456789012345678901234567890,"inf":1e400,"z":-0,"nested":{"list":[1,"\\u00e9",{"2":"b","1":"a"}]}}}')
      .replace('"roots":', `"unknownTop":{"x":[true,null,0.10]},"roots":`)
      .replace('"label":"Storey 0"', `"label":"Storey 0 \u2028\u2029 \ud83c\udfe0 </script> it's \\\\ \\"q\\""`)
      .replace('"instance":"#4"', '"instance":"#4","extra":{"n":2.0},"10":"index-like"')
      + (extra.suffix || '');
  };

  test('an unedited document comes back byte for byte', () => {
    const text = tricky();
    const model = new FilterModel(text);
    assert.equal(model.serialize(), text);
    assert.equal(model.write(), text);
  });

  test('an edited document differs only in the edited cells and the record of the edits', () => {
    const text = tricky();
    const model = new FilterModel(text);
    const storey = find(model, `Storey 0 \u2028\u2029 \ud83c\udfe0 </script> it's \\ "q"`);
    model.applyEdits([{ index: storey, column: col(model, 'Name'), value: "Level 0 it's \\ \"new\"" }]);
    const kitchen = find(model, 'Kitchen 1');
    model.applyEdits([{ index: kitchen, column: col(model, 'Import'), value: 'true' }]);
    const expected = text
      .replace('"Name":"Level 0"', '"Name":"Level 0 it\'s \\\\ \\"new\\""')
      .replace(/("label":"Kitchen 1","data":\{[^}]*\},"grid":\{"Import":)"false"/, '$1"true"')
      .replace('}}},"columns"', '}},"userEdits":{"2000000000000000000007":{"Name":"Level 0 it\'s \\\\ \\"new\\""},' +
        '"200000000000000000000d":{"Import":"true"}}},"columns"');
    assert.notEqual(expected, text);
    assert.equal(model.serialize(), expected);
  });

  test('ticks written in place: only their tokens change, whatever else the node holds', () => {
    // Kitchen 0's Import spelled with an escape; Wall 1.2's data not parsable (its tick
    // still changes, alone).
    const text = houseText()
      .replace(/("label":"Kitchen 0","data":\{[^}]*\},"grid":\{"Import":)"false"/, '$1"f\\u0061lse"')
      .replace(/("label":"Wall 1\.2","data":\{"uid":\["\w+"\],"instance":)"(#\d+)"/, '$1$2');
    const model = new FilterModel(text);
    const importColumn = col(model, 'Import');
    const [kitchen0, wall12, storey1] = ['Kitchen 0', 'Wall 1.2', 'Storey 1'].map((l) => find(model, l));
    model.applyEdits([{ index: kitchen0, column: importColumn, value: 'true' }, { index: wall12, column: importColumn, value: 'false' }]);
    assert.equal(model.pinned.size, 0, 'no node parsed');
    assert.equal(model.subtreeImport(storey1), -1);
    const uid = model.firstUid(kitchen0);
    const expected = text
      .replace('"f\\u0061lse"', '"true"')
      .replace(/("label":"Wall 1\.2","data":\{[^}]*\},"grid":\{"Import":)"true"/, '$1"false"')
      .replace('"formatUsage":"IFC"}', `"formatUsage":"IFC","userEdits":{"${uid}":{"Import":"true"}}}`);
    assert.notEqual(expected, text);
    assert.equal(model.serialize(), expected, 'Wall 1.2 has no readable uid: its edit is not recorded');
    model.undo();
    assert.equal(model.serialize(), text, 'undone, the text that came');
    assert.equal(model.cellText(kitchen0, importColumn), 'false');
  });

  test('a tick whose key a grid holds twice is read and written as the reader takes it', () => {
    const text = houseText().replace(/("label":"Kitchen 1","data":\{[^}]*\},"grid":\{)"Import":"false"/, '$1"Import":"true","Import":"false"');
    const model = new FilterModel(text);
    const kitchen1 = find(model, 'Kitchen 1');
    assert.equal(model.cellText(kitchen1, col(model, 'Import')), 'false', 'the last one');
    model.applyEdits([{ index: kitchen1, column: col(model, 'Import'), value: 'true' }]);
    const grid = /"label":"Kitchen 1","data":\{[^}]*\},"grid":(\{[^}]*\})/.exec(model.serialize())[1];
    assert.equal(JSON.parse(grid).Import, 'true');
    model.undo();
    assert.equal(model.serialize(), text);
  });

  test('a value edited in place, then its node parsed for another edit, keeps both through undo', () => {
    const text = houseText();
    const model = new FilterModel(text);
    const wall = find(model, 'Wall 1.2');
    model.applyEdits([{ index: wall, column: col(model, 'Import'), value: 'false' }]);
    assert.equal(model.pinned.size, 0, 'a tick parses no node');
    model.applyEdits([{ index: wall, column: col(model, 'Name'), value: 'Renamed' }]);
    const bothEdits = JSON.parse(model.serialize());
    const node = (doc) => doc.roots[0].children[0].children[0].children[1].children[0].children[1];
    assert.deepEqual([node(bothEdits).label, node(bothEdits).grid.Import, node(bothEdits).grid.Name], ['Wall 1.2', 'false', 'Renamed']);
    model.undo();
    assert.equal(node(JSON.parse(model.serialize())).grid.Name, 'Basic Wall:Interior');
    assert.equal(node(JSON.parse(model.serialize())).grid.Import, 'false');
    assert.equal(model.importFlag[wall], 0);
    model.undo();
    assert.equal(model.cellText(wall, col(model, 'Import')), 'true');
    assert.equal(model.serialize(), text);
  });

  test('hostile strings stay text in and out', () => {
    const hostile = '<img src=x onerror=alert(1)>';
    const text = JSON.stringify({ columns: columns(), roots: [entity(hostile, 'IfcWall', { name: hostile })] });
    const model = new FilterModel(text);
    assert.equal(model.label(0), hostile);
    assert.equal(model.cellText(0, col(model, 'Name')), hostile);
    model.applyEdits([{ index: 0, column: col(model, 'Name'), value: `${hostile}</script>` }]);
    assert.equal(JSON.parse(model.serialize()).roots[0].grid.Name, `${hostile}</script>`);
  });
});
