// The document read from its text without a full parse, the rows shown from it, and
// what the page does across many entities at once.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';
import { house, houseText, columns, entity, find } from './fixtures.mjs';

const [FilterModel, FilterState, RowModel, DocumentIndex] = await load('FilterModel', 'FilterState', 'RowModel', 'DocumentIndex');

const labels = (model, rows) => Array.from(rows.rows.subarray(0, rows.count), (id) => (id < 0 ? `[${rows.group(id).type}]` : model.label(id)));
function rowsOf(model, level, grouped = false) {
  const state = new FilterState(model);
  const rows = new RowModel(model, state);
  rows.setGrouping(grouped);
  state.expandToLevel(level);
  rows.rebuild();
  return { state, rows };
}

describe('the document read from its text', () => {
  test('an indented or reordered document reads as the compact one; a malformed one is refused with where', () => {
    const compact = new FilterModel(houseText());
    const doc = house();
    for (const text of [JSON.stringify(doc, null, 2), JSON.stringify({ roots: doc.roots, columns: doc.columns, data: doc.data })]) {
      const model = new FilterModel(text);
      assert.equal(model.size, compact.size);
      for (let i = 0; i < model.size; i++) {
        for (const column of model.columns) assert.equal(model.cellText(i, column), compact.cellText(i, column), `${i} ${column.name}`);
      }
      assert.deepEqual(model.summary(), compact.summary());
    }
    const text = houseText();
    for (const bad of [text.slice(0, text.length - 40), text.replace('"label":"Site","data"', '"label":"Site""data"'), `${text} {}`,
      text.replace('"roots":[', '"roots":[tru,'), text.replace('"Import":"true"', '"Import":"tr\u001fue"')]) {
      assert.throws(() => new FilterModel(bad), /at (line|character)/, bad.slice(0, 60));
    }
    // Escaped keys and values are picked as the reader takes them.
    const escaped = JSON.stringify({ columns: columns(), roots: [{ label: 'a', data: {}, grid: { Import: 'fa\\lse', Type: 'IfcWall' } }] })
      .replace('"Type"', '"\\u0054ype"');
    assert.deepEqual(DocumentIndex.build(escaped, ['Import', 'Type']).values.map((v) => v[0]), ['fa\\lse', 'IfcWall']);
  });

  test('read in slices of any size, the document is the one read in one block; a preview of its first nodes edits as the whole does', () => {
    const text = houseText();
    const whole = new FilterModel(text);
    for (let slice = 1; slice <= whole.size + 1; slice++) {
      const model = new FilterModel(text, { sliced: true });
      let steps = 0;
      while (!model.readSome(slice)) steps++;
      assert.ok(steps >= Math.ceil(whole.size / slice) - 1, `slice ${slice}`);
      assert.deepEqual(model, whole, `slice ${slice}`);
    }
    // Megabytes before the nodes: their NLS texts are searched for a window at a time.
    const padded = text.replace('{', `{"pad":"${'x'.repeat(3 << 20)}",`);
    const sliced = new FilterModel(padded, { sliced: true });
    while (!sliced.readSome(64));
    for (const model of [new FilterModel(padded), sliced]) assert.deepEqual(Array.from(model.nls), Array.from(whole.nls));
    assert.ok(whole.nls.includes(1));
    const storey1 = find(whole, 'Storey 1');
    const cutAt = storey1 + 2; // inside Storey 1's first room
    const preview = new FilterModel(houseText(), { limit: cutAt });
    assert.deepEqual([preview.partial, preview.size], [true, cutAt]);
    for (let i = 0; i < cutAt; i++) {
      assert.deepEqual([preview.label(i), preview.parent[i]], [whole.label(i), whole.parent[i]]);
      const open = preview.end[i] !== whole.end[i];
      assert.equal(preview.end[i], open ? cutAt : whole.end[i], preview.label(i));
      assert.equal(preview.runtimeText(i), open ? '…' : whole.runtimeText(i), preview.label(i));
    }
    const first = labels(preview, rowsOf(preview, 3).rows);
    assert.deepEqual(first, labels(whole, rowsOf(whole, 3).rows).slice(0, first.length));
    const door = find(preview, 'Door 0.1');
    for (const model of [preview, whole]) assert.ok(model.applyEdits([{ index: door, column: model.column('Name'), value: 'x' }]));
    assert.equal(preview.serialize(), whole.serialize(), 'an edit on a preview writes what it writes on the whole');
    assert.equal(new FilterModel(houseText(), { limit: whole.size }).partial, false);
    const bad = new FilterModel(text.replace('"label":"Kitchen 1"', '"label":"Kitchen 1",,'), { sliced: true });
    assert.equal(bad.readSome(3), false);
    for (let k = 0; k < 2; k++) assert.throws(() => bad.readSome(), /expected a key at line 1/);
    // Nesting deeper than the call stack is walked, not recursed.
    const deep = `{"roots":${'[{"children":'.repeat(100000)}[]${'}]'.repeat(100000)}}`;
    assert.equal(DocumentIndex.build(deep).maxDepth, 99999);
  });
});

describe('rows shown', () => {
  test('follow the expansion in pre-order; a closed entity hides its subtree', () => {
    const model = new FilterModel(houseText());
    const { state, rows } = rowsOf(model, 3);
    state.setExpanded(find(model, 'Storey 1'), true);
    rows.rebuild();
    assert.deepEqual(labels(model, rows).slice(4, 7), ['Storey 1', 'Living room 1', 'Kitchen 1']);
    for (let row = 0; row < rows.count; row++) if (rows.rows[row] >= 0) assert.equal(rows.rowOf(rows.rows[row]), row);
    assert.equal(rows.rowOf(find(model, 'Kitchen 0')), -1, 'a hidden entity has no row');
  });

  test('grouped, leaves gather under one row per type after the containers; a filter shows inside the groups', () => {
    const doc = house();
    doc.roots[0].children[0].children[0].children[0].children.push(entity('Wall X', 'IfcWallStandardCase'), entity('Wall Y', 'IfcWallStandardCase'), entity('Slab Z', 'IfcSlab'));
    const model = new FilterModel(JSON.stringify(doc));
    const { state, rows } = rowsOf(model, 4, true);
    const at = labels(model, rows).indexOf('Storey 0');
    assert.deepEqual(labels(model, rows).slice(at + 1, at + 6), ['Living room 0', '[IfcSlab]', '[IfcSpace]', '[IfcWallStandardCase]', 'Storey 1']);
    const walls = rows.rows[at + 4];
    assert.equal(rows.levels[at + 4], rows.levels[at] + 1);
    assert.deepEqual(rows.groupEntities(walls).map((i) => model.label(i)), ['Wall X', 'Wall Y']);
    rows.setGroupOpen(walls, true);
    rows.rebuild();
    assert.deepEqual(labels(model, rows).slice(at + 4, at + 7), ['[IfcWallStandardCase]', 'Wall X', 'Wall Y']);
    assert.equal(rows.rowOfGroup(`${find(model, 'Storey 0')} IfcWallStandardCase`), at + 4);
    state.setType('IfcSlab');
    state.recompute();
    rows.rebuild();
    assert.ok(labels(model, rows).includes('Slab Z'));
  });
});

describe('many entities at once', () => {
  test('every boolean column shows a parent mixed; counts follow edits and undo; a group sums its members', () => {
    // A property column "External": true on Wall 0.1 (in its NLS_grid) and Door 0.1,
    // false on Wall 0.2, absent elsewhere (counted in neither).
    const doc = house();
    doc.columns.splice(2, 0, { dataIndex: 'External', editableFlag: true, typeRepresentation: 'boolean', data: {} });
    const room = doc.roots[0].children[0].children[0].children[0].children[0];
    room.children[0].data.NLS_grid.External = 'true';
    room.children[0].children[0].grid.External = 'true';
    room.children[1].grid.External = 'false';
    const model = new FilterModel(JSON.stringify(doc));
    const external = model.column('External');
    const [storey, living, wall1, wall2, door] = ['Storey 0', 'Living room 0', 'Wall 0.1', 'Wall 0.2', 'Door 0.1'].map((l) => find(model, l));
    const states = () => [wall1, living, storey, find(model, 'Storey 1')].map((i) => model.subtreeState(i, external));
    assert.ok(model.index.wanted.includes('External'), 'read in the first pass');
    assert.deepEqual(states(), [1, -1, -1, 0]);
    model.applyEdits([{ index: wall2, column: external, value: 'true' }]);
    assert.deepEqual(states(), [1, 1, 1, 0]);
    model.applySubtree(wall1, external, 'false');
    assert.deepEqual(states(), [0, -1, -1, 0]);
    model.undo();
    model.undo();
    assert.deepEqual(states(), [1, -1, -1, 0]);
    model.applyEdits([{ index: wall1, column: external, value: 'false' }]);
    assert.equal(model.subtreeState(wall1, external), -1, 'an edit of an NLS cell counts too');

    const { rows } = rowsOf(model, 6, true);
    const groupOf = (parent, type) => rows.rows.find((id) => id < 0 && rows.group(id).parent === parent && rows.group(id).type === type);
    assert.equal(rows.groupState(groupOf(living, 'IfcWall'), external), 0, 'Wall 0.1 holds children: no member');
    assert.equal(rows.groupState(groupOf(wall1, 'IfcDoor'), external), 1);
    model.applyEdits([{ index: wall2, column: external, value: 'true' }, { index: door, column: external, value: 'false' }]);
    assert.equal(rows.groupState(groupOf(living, 'IfcWall'), external), 1);
    assert.equal(rows.groupState(groupOf(wall1, 'IfcDoor'), external), 0);
    assert.equal(rows.groupState(groupOf(storey, 'IfcSpace'), external), null, 'no values: none');
  });

  test('a type counts its subtypes', () => {
    const doc = house();
    const room = doc.roots[0].children[0].children[0].children[0].children[0];
    room.children.push(entity('Wall SC', 'IfcWallStandardCase'));
    room.children.at(-1).data.supertypes = 'IfcWall IfcBuildingElement';
    const model = new FilterModel(JSON.stringify(doc));
    const counts = model.typeCounts();
    assert.equal(counts.get('IfcWallStandardCase').count, 1);
    assert.equal(counts.get('IfcWall').count, counts.get('IfcWall').own + 1);
    assert.ok(model.isOfType(find(model, 'Wall SC'), 'IfcWall') && !model.isOfType(find(model, 'Kitchen 1'), 'IfcWall'));
  });
});
