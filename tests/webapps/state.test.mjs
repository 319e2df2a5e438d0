import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';
import { houseText } from './fixtures.mjs';

const [FilterModel, FilterState] = await load('FilterModel', 'FilterState');

function setup() {
  const model = new FilterModel(houseText());
  const state = new FilterState(model);
  const find = (label) => {
    for (let i = 0; i < model.size; i++) if (model.label(i) === label) return i;
    throw new Error(label);
  };
  // The rows as the grid shows them: visible entities under expanded parents.
  const shown = () => {
    const out = [];
    const walk = (ids) => ids.forEach((i) => {
      out.push((state.isContext(i) ? '~' : '') + model.label(i));
      if (state.isExpanded(i)) walk(state.visibleChildren(i));
    });
    walk(state.visibleRoots());
    return out;
  };
  return { model, state, find, shown };
}

describe('expansion', () => {
  test('level 3 shows the storeys, closed', () => {
    const { state, shown } = setup();
    state.expandToLevel(3);
    assert.deepEqual(shown(), ['Sample house project', 'Site', 'House', 'Storey 0', 'Storey 1', 'Unplaced', '']);
  });

  test('collapse all, expand all, and a whole subtree', () => {
    const { model, state, shown, find } = setup();
    state.expandToLevel(0);
    assert.deepEqual(shown(), ['Sample house project', 'Unplaced', '']);
    state.expandToLevel(model.maxDepth + 1);
    assert.equal(shown().length, model.size);
    state.expandToLevel(3);
    state.setSubtreeExpanded(find('Storey 1'), true);
    assert.ok(shown().includes('Door 1.1'));
    assert.ok(!shown().includes('Door 0.1'));
  });
});

describe('search and filters', () => {
  test('a label search shows the matches, their ancestors as context, and opens the way to them', () => {
    const { state, shown } = setup();
    state.expandToLevel(0);
    state.setQuery('DOOR');
    state.recompute();
    assert.equal(state.matchCount, 2);
    assert.deepEqual(shown(), [
      '~Sample house project', '~Site', '~House', '~Storey 0', '~Living room 0', '~Wall 0.1', 'Door 0.1',
      '~Storey 1', '~Living room 1', '~Wall 1.1', 'Door 1.1',
    ]);
  });

  test('what lies under a match shows too', () => {
    const { state, find, model } = setup();
    state.setQuery('storey 1');
    state.recompute();
    const storey = find('Storey 1');
    for (let i = storey; i < model.end[storey]; i++) assert.equal(state.isVisible(i) && !state.isContext(i), true, model.label(i));
    assert.equal(state.isVisible(find('Storey 0')), false);
  });

  test('a value filter hides a type and keeps the rest', () => {
    const { model, state, shown } = setup();
    state.expandToLevel(model.maxDepth + 1);
    state.addFilter(model.column('Type'), 'isNot', 'IfcSpace');
    state.recompute();
    const rows = shown();
    assert.ok(!rows.includes('Kitchen 0'));
    assert.ok(rows.includes('~Living room 0'), 'a hidden type with shown children stays as context');
    assert.ok(rows.includes('Wall 0.2'));
    assert.ok(rows.includes('Storey 1'));
  });

  test('filters combine, with "contains" ignoring case', () => {
    const { model, state, find } = setup();
    state.addFilter(model.column('Name'), 'contains', 'flush');
    state.addFilter(model.column('Import'), 'is', 'true');
    state.recompute();
    assert.equal(state.passingCount(), 2);
    assert.equal(state.isContext(find('Storey 0')), true);
    assert.equal(state.isVisible(find('Kitchen 0')), false);
  });

  test('a branch narrows the view to one storey', () => {
    const { state, find, shown } = setup();
    state.expandToLevel(5);
    state.setBranch(find('Storey 0'));
    state.recompute();
    assert.deepEqual(shown(), ['~Sample house project', '~Site', '~House', 'Storey 0', 'Living room 0', 'Wall 0.1', 'Wall 0.2', 'Kitchen 0']);
  });

  test('filters read the values after edits', () => {
    const { model, state, find } = setup();
    state.addFilter(model.column('ImportMode'), 'is', 'NoImport');
    state.recompute();
    assert.equal(state.passingCount(), 2);
    model.applyEdits([{ index: find('Door 0.1'), column: model.column('ImportMode'), value: 'NoImport' }]);
    state.recompute();
    assert.equal(state.passingCount(), 3);
  });

  test('clearing every criterion shows everything again', () => {
    const { model, state } = setup();
    state.setQuery('zzz');
    state.recompute();
    assert.equal(state.visibleRoots().length, 0);
    state.setQuery('');
    assert.equal(state.recompute(), true);
    assert.equal(state.visibleRoots().length, model.roots.length);
    assert.equal(state.passingCount(), -1);
  });

  test('an unknown operator or a duplicate filter is not added', () => {
    const { model, state } = setup();
    assert.equal(state.addFilter(model.column('Name'), 'matches', 'x'), false);
    assert.equal(state.addFilter(model.column('Name'), 'is', 'x'), true);
    assert.equal(state.addFilter(model.column('Name'), 'is', 'x'), false);
    assert.equal(state.filters.length, 1);
  });
});

describe('search count', () => {
  test('only matches that also pass the filters are counted', () => {
    const { model, state } = setup();
    state.setQuery('wall');
    state.recompute();
    assert.equal(state.matchCount, 4);
    state.addFilter(model.column('Name'), 'contains', 'interior');
    state.recompute();
    assert.equal(state.matchCount, 2);
  });
});
