import { test } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';
import { houseText, find as findIn } from './fixtures.mjs';

const [FilterModel, FilterState] = await load('FilterModel', 'FilterState');

function setup() {
  const model = new FilterModel(houseText());
  const state = new FilterState(model);
  const find = (label) => findIn(model, label);
  // The rows as the grid shows them: visible entities under expanded parents, context marked "~".
  const shown = () => {
    const out = [];
    const walk = (ids) => ids.forEach((i) => {
      out.push((state.isContext(i) ? '~' : '') + model.label(i));
      if (state.isExpanded(i)) walk(state.visibleChildren(i));
    });
    walk(state.visibleRoots());
    return out;
  };
  return { model, state, find, shown, col: (name) => model.column(name) };
}

test('expansion to a level, all, none and a whole subtree; a branch narrows the view to one storey', () => {
  const { model, state, shown, find } = setup();
  state.expandToLevel(3);
  assert.deepEqual(shown(), ['Sample house project', 'Site', 'House', 'Storey 0', 'Storey 1', 'Unplaced', '']);
  state.expandToLevel(0);
  assert.deepEqual(shown(), ['Sample house project', 'Unplaced', '']);
  state.expandToLevel(model.maxDepth + 1);
  assert.equal(shown().length, model.size);
  state.expandToLevel(3);
  state.setSubtreeExpanded(find('Storey 1'), true);
  assert.ok(shown().includes('Door 1.1') && !shown().includes('Door 0.1'));
  state.expandToLevel(5);
  state.setBranch(find('Storey 0'));
  state.recompute();
  assert.deepEqual(shown(), ['~Sample house project', '~Site', '~House', 'Storey 0', 'Living room 0', 'Wall 0.1', 'Wall 0.2', 'Kitchen 0']);
});

test('a search shows the matches, their ancestors as context and what lies under a match; filters narrow the count', () => {
  const { model, state, shown, find, col } = setup();
  state.expandToLevel(0);
  state.setQuery('DOOR');
  state.recompute();
  assert.equal(state.matchCount, 2);
  assert.deepEqual(shown(), ['~Sample house project', '~Site', '~House', '~Storey 0', '~Living room 0', '~Wall 0.1', 'Door 0.1',
    '~Storey 1', '~Living room 1', '~Wall 1.1', 'Door 1.1']);
  state.setQuery('storey 1');
  state.recompute();
  const storey = find('Storey 1');
  for (let i = storey; i < model.end[storey]; i++) assert.equal(state.isVisible(i) && !state.isContext(i), true, model.label(i));
  assert.equal(state.isVisible(find('Storey 0')), false);
  state.setQuery('wall');
  state.addFilter(col('Name'), 'contains', 'interior');
  state.recompute();
  assert.equal(state.matchCount, 2, 'only matches that pass the filters count');
  state.setQuery('');
  state.clearFilters();
  assert.deepEqual([state.recompute(), state.passingCount()], [true, -1], 'no criterion: everything shows');
});

test('value filters combine, keep hidden types with shown children as context, and read values after edits', () => {
  const { model, state, shown, find, col } = setup();
  state.expandToLevel(model.maxDepth + 1);
  state.addFilter(col('Type'), 'isNot', 'IfcSpace');
  state.recompute();
  const rows = shown();
  assert.ok(!rows.includes('Kitchen 0') && rows.includes('~Living room 0') && rows.includes('Wall 0.2') && rows.includes('Storey 1'));
  // An unknown operator, a duplicate.
  assert.deepEqual([state.addFilter(col('Name'), 'matches', 'x'), state.addFilter(col('Type'), 'isNot', 'IfcSpace')], [false, false]);
  state.clearFilters();
  state.addFilter(col('Name'), 'contains', 'flush');
  state.addFilter(col('Import'), 'is', 'true');
  state.recompute();
  assert.deepEqual([state.passingCount(), state.isContext(find('Storey 0'))], [2, true]);
  state.clearFilters();
  state.addFilter(col('ImportMode'), 'is', 'NoImport');
  state.recompute();
  assert.equal(state.passingCount(), 2);
  model.applyEdits([{ index: find('Door 0.1'), column: col('ImportMode'), value: 'NoImport' }]);
  state.recompute();
  assert.equal(state.passingCount(), 3);
});
