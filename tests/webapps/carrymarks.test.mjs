import { describe, test, afterEach } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';

const [CarryMarks, RawJson] = await load('CarryMarks', 'RawJson');

// A carried document's data as the carry writes it, before the tree.
const carriedText =
  '{"data":{"filterID":"IFC4:house.ifc","formatUsage":"IFC","userEdits":{"a":{"Import":"false"}},' +
  '"carry":{"from":"IFC4:house-v1.ifc","carried":412,"new":["n1","n2"],"gone":["g1","g2","g3"],"dropped":2}},' +
  '"columns":[],"roots":[]}';

describe('marks of a carried document', () => {
  for (const [how, parse] of [['RawJson', (t) => RawJson.parse(t)], ['JSON.parse', (t) => JSON.parse(t)]]) {
    test(`new, gone and counts (${how})`, () => {
      const marks = new CarryMarks(parse(carriedText).data);
      assert.equal(marks.present, true);
      assert.equal(marks.isNew('n1'), true);
      assert.equal(marks.isNew('n2'), true);
      assert.equal(marks.isNew('a'), false, 'a carried entity is not new');
      assert.equal(marks.isNew('g1'), false, 'a gone entity is not new');
      assert.deepEqual(marks.gone(), ['g1', 'g2', 'g3']);
      assert.deepEqual(marks.counts(), { carried: 412, new: 2, gone: 3, dropped: 2 });
      assert.equal(marks.hasNew(), true);
      // The same line dxfilter prints.
      assert.equal(marks.summary(), '412 edits carried, 2 new, 3 gone, 2 dropped');
      assert.equal(marks.badgeTooltip(), 'Not in the last filter (IFC4:house-v1.ifc)');
      assert.match(marks.droppedText(), /^2 of the last filter's edits could not be carried/);
    });
  }

  test('singulars and empties read as sentences', () => {
    const one = new CarryMarks({ carry: { from: 'f', carried: 1, new: [], gone: ['g'], dropped: 0 } });
    assert.equal(one.summary(), '1 edit carried, 0 new, 1 gone, 0 dropped');
    assert.equal(one.goneText(), '1 entity of the last filter is not in this file');
    assert.equal(one.droppedText(), '');
    assert.equal(one.hasNew(), false);
    const none = new CarryMarks({ carry: { carried: 0, new: [], gone: [], dropped: 0 } });
    assert.equal(none.goneText(), 'No entity of the last filter is gone.');
    const many = new CarryMarks({ carry: { gone: ['a', 'b'] } });
    assert.equal(many.goneText(), '2 entities of the last filter are not in this file');
  });
});

describe('documents without a usable carry', () => {
  test('no carry marks nothing', () => {
    for (const data of [undefined, null, {}, { carry: null }, { carry: [] }, { carry: 'x' }, 'data']) {
      const marks = new CarryMarks(data);
      assert.equal(marks.present, false, JSON.stringify(data));
      assert.equal(marks.isNew('n1'), false);
      assert.deepEqual(marks.gone(), []);
      assert.deepEqual(marks.counts(), { carried: 0, new: 0, gone: 0, dropped: 0 });
      assert.equal(marks.summary(), '');
    }
  });

  test('members of another shape count as absent', () => {
    const marks = new CarryMarks(RawJson.parse(
      '{"carry":{"from":7,"carried":-3,"new":["n",5,null,"n",{"x":1},"m"],"gone":"g","dropped":1.5}}'));
    assert.equal(marks.present, true);
    assert.equal(marks.from, '');
    assert.deepEqual(marks.counts(), { carried: 0, new: 2, gone: 0, dropped: 0 });
    assert.equal(marks.isNew('n'), true);
    assert.equal(marks.isNew('m'), true);
    assert.equal(marks.isNew(5), false, 'only strings are uids');
    assert.deepEqual(new CarryMarks({ carry: { carried: '12', dropped: 2 ** 60 } }).counts(),
      { carried: 0, new: 0, gone: 0, dropped: 0 });
    assert.equal(new CarryMarks(RawJson.parse('{"carry":{"carried":12}}')).counts().carried, 12);
    assert.equal(new CarryMarks(RawJson.parse('{"carry":{"carried":1e3}}')).counts().carried, 0,
      'a count is written as digits');
  });

  test('a uid named like an object property is no new entity', () => {
    const marks = new CarryMarks({ carry: { new: ['n'] } });
    for (const uid of ['constructor', '__proto__', 'toString', 'hasOwnProperty']) assert.equal(marks.isNew(uid), false);
  });
});

describe('texts from a catalog', () => {
  afterEach(() => CarryMarks.reset());

  test('a catalog replaces the English texts it has, and only those', () => {
    CarryMarks.use({ NewBadge: 'Neu', Summary: '{0} übernommen, {1} neu, {2} weg, {3} verworfen', Edits: '{0} Änderungen',
      Unknown: 'ignored', NewFilter: 42 });
    const marks = new CarryMarks({ carry: { carried: 3, new: ['a'], gone: [], dropped: 1 } });
    assert.equal(marks.badge(), 'Neu');
    assert.equal(marks.summary(), '3 Änderungen übernommen, 1 neu, 0 weg, 1 verworfen');
    assert.equal(marks.filterLabel(), 'New since the last filter', 'a message that is not text is ignored');
    CarryMarks.reset();
    assert.equal(marks.badge(), 'New');
    CarryMarks.use(null);
    assert.equal(marks.goneTitle(), 'Gone since the last filter');
  });
});

describe('marks on a loaded filter', async () => {
  const [FilterModel, FilterState] = await load('FilterModel', 'FilterState');
  const { house } = await import('./fixtures.mjs');

  // The house with a carry naming two of its entities new, one uid it lacks, and a
  // uid two entities share.
  function carried() {
    const doc = house();
    const building = doc.roots[0].children[0].children[0];
    const door = building.children[0].children[0].children[0].children[0];
    const kitchen1 = building.children[1].children[1];
    const wall02 = building.children[0].children[0].children[1];
    const wall12 = building.children[1].children[0].children[1];
    wall12.data.uid = [wall02.data.uid[0]];
    doc.data.carry = { from: 'IFC4:v1.ifc', carried: 2, new: [door.data.uid[0], kitchen1.data.uid[0], 'not-here', wall02.data.uid[0]],
      gone: ['g1'], dropped: 0 };
    return JSON.stringify(doc);
  }

  function labelsOf(model, test) {
    const out = [];
    for (let i = 0; i < model.size; i++) if (test(i)) out.push(model.label(i));
    return out;
  }

  test('only the entities the carry names new are flagged, each once', () => {
    const model = new FilterModel(carried());
    const marks = new CarryMarks(model.topData);
    model.flags[0] = 1; // a stale flag of an earlier load goes
    assert.equal(marks.markModel(model), 2);
    assert.deepEqual(labelsOf(model, (i) => model.flags[i] === 1), ['Door 0.1', 'Kitchen 1'],
      'a uid two entities carry marks neither; an unknown uid marks nothing');
  });

  test('"new since the last filter" shows the new entities with their ancestors as context', () => {
    const model = new FilterModel(carried());
    new CarryMarks(model.topData).markModel(model);
    const state = new FilterState(model);
    state.setExtra(CarryMarks.newOnly(model));
    state.recompute();
    assert.deepEqual(labelsOf(model, (i) => state.passes[i] === 1), ['Door 0.1', 'Kitchen 1']);
    assert.ok(labelsOf(model, (i) => state.isVisible(i)).includes('Storey 1'), 'the path to a new entity shows');
    assert.ok(!labelsOf(model, (i) => state.isVisible(i)).includes('Window 0.1'));
    state.setExtra(null);
    state.recompute();
    assert.equal(state.hasCriteria(), false);
    assert.ok(labelsOf(model, (i) => state.isVisible(i)).includes('Window 0.1'), 'turned off, everything shows again');
  });

  test('a document without a carry flags nothing', () => {
    const model = new FilterModel(JSON.stringify(house()));
    const marks = new CarryMarks(model.topData);
    assert.equal(marks.present, false);
    assert.equal(marks.markModel(model), 0);
    assert.ok(model.flags.every((f) => f === 0));
  });
});
