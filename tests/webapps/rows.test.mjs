// The document read from its text without a full parse, the rows shown from it, and
// what the page does across many entities at once: cascades, types, renames, the
// record of the user's edits.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';
import { house, houseText, columns, entity } from './fixtures.mjs';

const [FilterModel, FilterState, RowModel, DocumentIndex] = await load('FilterModel', 'FilterState', 'RowModel', 'DocumentIndex');

const find = (model, label) => {
  for (let i = 0; i < model.size; i++) if (model.label(i) === label) return i;
  throw new Error(`no entity ${label}`);
};
const col = (model, name) => model.column(name);
const labels = (model, rows) => Array.from(rows.rows.subarray(0, rows.count), (id) => (id < 0 ? `[${rows.group(id).type}]` : model.label(id)));

describe('the document read from its text', () => {
  test('an indented document, or one with its columns after the roots, reads as the compact one', () => {
    const compact = new FilterModel(houseText());
    const doc = house();
    const reordered = JSON.stringify({ roots: doc.roots, columns: doc.columns, data: doc.data });
    for (const text of [JSON.stringify(doc, null, 2), reordered]) {
      const model = new FilterModel(text);
      assert.equal(model.size, compact.size);
      for (let i = 0; i < model.size; i++) {
        assert.equal(model.label(i), compact.label(i));
        for (const column of model.columns) assert.equal(model.cellText(i, column), compact.cellText(i, column), `${i} ${column.name}`);
      }
      assert.deepEqual(model.summary(), compact.summary());
    }
  });

  test('a preview of the first nodes is the whole in pre-order, with the nodes it cut open counting nothing and nothing editable', () => {
    const whole = new FilterModel(houseText());
    const storey1 = find(whole, 'Storey 1');
    const cutAt = storey1 + 2; // inside Storey 1's first room
    const preview = new FilterModel(houseText(), { limit: cutAt });
    assert.equal(preview.partial, true);
    assert.equal(preview.size, cutAt);
    for (let i = 0; i < cutAt; i++) {
      assert.equal(preview.label(i), whole.label(i));
      assert.equal(preview.parent[i], whole.parent[i]);
      const open = preview.end[i] !== whole.end[i];
      assert.equal(preview.end[i], open ? cutAt : whole.end[i], preview.label(i));
      assert.equal(preview.runtimeText(i), open ? '…' : whole.runtimeText(i), preview.label(i));
    }
    const name = col(preview, 'Name');
    assert.equal(preview.runtimeText(storey1), '…');
    assert.equal(preview.canEdit(find(preview, 'Door 0.1'), name), false);
    assert.equal(preview.applyEdits([{ index: 0, column: name, value: 'x' }]), null);
    assert.equal(preview.serialize(), houseText(), 'a preview answers the document as it came');
    // The rows shown from it are the whole's first rows.
    const rowsOf = (model) => {
      const state = new FilterState(model);
      state.expandToLevel(3);
      const rows = new RowModel(model, state);
      rows.rebuild();
      return labels(model, rows);
    };
    const first = rowsOf(preview);
    assert.deepEqual(first, rowsOf(whole).slice(0, first.length));
    assert.equal(new FilterModel(houseText(), { limit: whole.size }).partial, false, 'a limit it does not reach reads the whole');
  });

  test('a malformed document is refused with where it goes wrong', () => {
    const text = houseText();
    const cases = [
      text.slice(0, text.length - 40), // cut short
      text.replace('"label":"Site","data"', '"label":"Site""data"'), // a missing comma
      `${text} {}`, // text after the document
      text.replace('"roots":[', '"roots":[tru,'), // a bad token where a node is
      text.replace('"Import":"true"', '"Import":"tr\u001fue"'), // a raw control character in a value read at once
    ];
    for (const bad of cases) assert.throws(() => new FilterModel(bad), /at (line|character)/, bad.slice(0, 60));
  });

  test('a node whose data does not parse shows its values as none and cannot be edited; the others are untouched', () => {
    const house = houseText();
    const text = house.replace(/("label":"Site","data":\{"uid":\["\w+"\],"instance":)"(#\d+)"/, '$1$2');
    assert.notEqual(text, house);
    const model = new FilterModel(text);
    const site = model.children(model.roots[0])[0];
    assert.equal(model.label(site), 'Site');
    assert.equal(model.cellText(site, col(model, 'ImportMode')), '');
    assert.equal(model.canEdit(site, col(model, 'Name')), false);
    assert.equal(model.applyEdits([{ index: site, column: col(model, 'Name'), value: 'x' }]), null);
    assert.equal(model.cellText(find(model, 'House'), col(model, 'Type')), 'IfcBuilding');
  });

  test('the values wanted for every entity are picked from the grids, escaped keys and values included', () => {
    const text = JSON.stringify({ columns: columns(), roots: [{ label: 'a', data: {}, grid: { Import: 'fa\\lse', Type: 'IfcWall' } }] })
      .replace('"Type"', '"\\u0054ype"');
    const index = DocumentIndex.build(text, ['Import', 'Type']);
    assert.deepEqual(index.values.map((v) => v[0]), ['fa\\lse', 'IfcWall']);
  });
});

describe('rows shown', () => {
  test('rows follow the expansion in pre-order; a closed entity hides its subtree', () => {
    const model = new FilterModel(houseText());
    const state = new FilterState(model);
    const rows = new RowModel(model, state);
    state.expandToLevel(3);
    rows.rebuild();
    assert.deepEqual(labels(model, rows), ['Sample house project', 'Site', 'House', 'Storey 0', 'Storey 1', 'Unplaced', '']);
    state.setExpanded(find(model, 'Storey 1'), true);
    rows.rebuild();
    assert.deepEqual(labels(model, rows).slice(4, 7), ['Storey 1', 'Living room 1', 'Kitchen 1']);
    for (let row = 0; row < rows.count; row++) if (rows.rows[row] >= 0) assert.equal(rows.rowOf(rows.rows[row]), row);
    assert.equal(rows.rowOf(find(model, 'Kitchen 0')), -1, 'a hidden entity has no row');
  });

  test('grouped, leaves gather under one row per type after the containers; a group stands for its members', () => {
    const doc = house();
    const storey = doc.roots[0].children[0].children[0].children[0];
    storey.children.push(entity('Wall X', 'IfcWallStandardCase'), entity('Wall Y', 'IfcWallStandardCase'), entity('Slab Z', 'IfcSlab'));
    const model = new FilterModel(JSON.stringify(doc));
    const state = new FilterState(model);
    const rows = new RowModel(model, state);
    rows.setGrouping(true);
    state.expandToLevel(4);
    rows.rebuild();
    const shown = labels(model, rows);
    const at = shown.indexOf('Storey 0');
    assert.deepEqual(shown.slice(at + 1, at + 6), ['Living room 0', '[IfcSlab]', '[IfcSpace]', '[IfcWallStandardCase]', 'Storey 1']);
    const walls = rows.rows[at + 4];
    assert.equal(rows.levels[at + 4], rows.levels[at] + 1);
    assert.deepEqual(rows.groupEntities(walls).map((i) => model.label(i)), ['Wall X', 'Wall Y']);
    rows.setGroupOpen(walls, true);
    rows.rebuild();
    assert.deepEqual(labels(model, rows).slice(at + 4, at + 7), ['[IfcWallStandardCase]', 'Wall X', 'Wall Y']);
    assert.equal(rows.rowOfGroup(`${find(model, 'Storey 0')} IfcWallStandardCase`), at + 4);

    // A filter shows what passes inside the groups without a click.
    state.setType('IfcSlab');
    state.recompute();
    rows.rebuild();
    assert.ok(labels(model, rows).includes('Slab Z'));
  });
});

describe('many entities at once', () => {
  test('a subtree shows mixed while part of it is imported, and whole again once set', () => {
    const model = new FilterModel(houseText());
    const storey = find(model, 'Storey 0');
    const site = find(model, 'Site');
    assert.equal(model.subtreeImport(storey), -1, 'Kitchen 0 is not imported');
    model.applyEdits(model.subtreeEdits(storey, col(model, 'Import'), 'true'));
    assert.equal(model.subtreeImport(storey), 1);
    assert.equal(model.subtreeImport(site), -1, 'Kitchen 1 still is not');
    model.applyEdits(model.subtreeEdits(site, col(model, 'Import'), 'false'));
    assert.equal(model.subtreeImport(site), 0);
    model.undo();
    assert.equal(model.subtreeImport(storey), 1);
  });

  test('every boolean column shows a parent mixed, not only the import column', () => {
    // A property column "External": true on Wall 0.1 (held in its NLS_grid, read the slow
    // way) and Door 0.1, false on Wall 0.2, absent elsewhere (counted in neither).
    const doc = house();
    doc.columns.splice(2, 0, { dataIndex: 'External', editableFlag: true, typeRepresentation: 'boolean', data: {} });
    const room = doc.roots[0].children[0].children[0].children[0].children[0];
    room.children[0].data.NLS_grid.External = 'true';
    room.children[0].children[0].grid.External = 'true';
    room.children[1].grid.External = 'false';
    const model = new FilterModel(JSON.stringify(doc));
    const external = col(model, 'External');
    const [storey, living, wall1, wall2, door] = ['Storey 0', 'Living room 0', 'Wall 0.1', 'Wall 0.2', 'Door 0.1'].map((l) => find(model, l));
    assert.ok(model.index.wanted.includes('External'), 'read in the first pass');
    assert.equal(model.subtreeState(wall1, external), 1, 'the wall holds true in NLS_grid, its door in grid');
    assert.equal(model.subtreeState(living, external), -1);
    assert.equal(model.subtreeState(storey, external), -1);
    assert.equal(model.subtreeState(find(model, 'Storey 1'), external), 0, 'no values: no tick, not mixed');

    model.applyEdits([{ index: wall2, column: external, value: 'true' }]);
    assert.equal(model.subtreeState(living, external), 1, 'an edit moves the counts of every ancestor');
    assert.equal(model.subtreeState(storey, external), 1);
    model.applyEdits(model.subtreeEdits(wall1, external, 'false'));
    assert.equal(model.subtreeState(living, external), -1);
    assert.equal(model.subtreeImport(living), 1, 'the import column is another count');
    model.undo();
    model.undo();
    assert.equal(model.subtreeState(living, external), -1, 'undo gives the first counts back');
    assert.equal(model.subtreeState(wall1, external), 1);
    model.applyEdits([{ index: wall1, column: external, value: 'false' }]);
    assert.equal(model.subtreeState(wall1, external), -1, 'an edit of an NLS cell counts too');

    // A group's box sums its members' subtrees (Wall 0.1 holds children: no member);
    // a group without values shows none.
    const state = new FilterState(model);
    const rows = new RowModel(model, state);
    rows.setGrouping(true);
    state.expandToLevel(6);
    rows.rebuild();
    const groupOf = (parent, type) => rows.rows.find((id) => id < 0 && rows.group(id).parent === parent && rows.group(id).type === type);
    assert.equal(rows.groupState(groupOf(living, 'IfcWall'), external), 0);
    assert.equal(rows.groupState(groupOf(wall1, 'IfcDoor'), external), 1);
    model.applyEdits([{ index: wall2, column: external, value: 'true' }]);
    assert.equal(rows.groupState(groupOf(living, 'IfcWall'), external), 1);
    model.applyEdits([{ index: door, column: external, value: 'false' }]);
    assert.equal(rows.groupState(groupOf(wall1, 'IfcDoor'), external), 0);
    assert.equal(rows.groupState(groupOf(storey, 'IfcSpace'), external), null);
  });

  test('a type counts its subtypes, from the supertypes the provider gives', () => {
    const doc = house();
    const walls = doc.roots[0].children[0].children[0].children[1].children;
    walls.push(entity('Wall SC', 'IfcWallStandardCase'));
    walls.at(-1).data.supertypes = 'IfcWall IfcBuildingElement';
    const model = new FilterModel(JSON.stringify(doc));
    const counts = model.typeCounts();
    assert.equal(counts.get('IfcWallStandardCase').count, 1);
    assert.equal(counts.get('IfcWall').count, counts.get('IfcWall').own + 1);
    assert.ok(model.isOfType(find(model, 'Wall SC'), 'IfcWall'));
    assert.ok(!model.isOfType(find(model, 'Kitchen 1'), 'IfcWall'));
  });

  test('a rename shows as the label where the label was the name, and the search finds it', () => {
    const doc = house();
    doc.roots[0].children[0].children[0].children[0].children[1].grid.Name = 'Kitchen 0'; // labelled by its name
    const model = new FilterModel(JSON.stringify(doc));
    const state = new FilterState(model);
    state.lowerLabels();
    const kitchen = find(model, 'Kitchen 0');
    const room = find(model, 'Living room 0'); // its name is "Room 0.1": not its label
    model.applyEdits([{ index: kitchen, column: col(model, 'Name'), value: 'Scullery' }, { index: room, column: col(model, 'Name'), value: 'Lounge' }]);
    assert.equal(model.label(kitchen), 'Scullery');
    assert.equal(model.label(room), 'Living room 0');
    state.refreshLabel(kitchen);
    state.setQuery('scull');
    state.recompute();
    assert.equal(state.matchCount, 1);
    model.undo();
    assert.equal(model.label(kitchen), 'Kitchen 0');
  });

  test('the answer records edits not undone, the last value of a cell, over those a carried document holds', () => {
    const doc = house();
    doc.data.userEdits = { keep: { Name: 'from before' }, [doc.roots[0].data.uid[0]]: { Import: 'old', Name: 'kept' } };
    const model = new FilterModel(JSON.stringify(doc));
    const project = model.roots[0];
    const site = find(model, 'Site');
    model.applyEdits([{ index: project, column: col(model, 'Import'), value: 'false' }]);
    model.applyEdits([{ index: project, column: col(model, 'Import'), value: 'maybe' }]);
    model.applyEdits([{ index: site, column: col(model, 'Name'), value: 'Plot' }]);
    model.undo();
    const written = JSON.parse(model.serialize()).data.userEdits;
    assert.deepEqual(written, { keep: { Name: 'from before' }, [model.firstUid(project)]: { Import: 'maybe', Name: 'kept' } });
    model.undo();
    model.undo();
    assert.equal(model.serialize(), model.text, 'everything undone: the document as it came');
  });
});
