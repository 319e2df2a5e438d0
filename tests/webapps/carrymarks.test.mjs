import { describe, test, afterEach } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';
import { house } from './fixtures.mjs';

const [CarryMarks, RawJson, FilterModel, FilterState] = await load('CarryMarks', 'RawJson', 'FilterModel', 'FilterState');

const carriedText =
  '{"data":{"filterID":"IFC4:house.ifc","formatUsage":"IFC","userEdits":{"a":{"Import":"false"}},' +
  '"carry":{"from":"IFC4:house-v1.ifc","carried":412,"new":["n1","n2"],"gone":["g1","g2","g3"],"dropped":2}},' +
  '"columns":[],"roots":[]}';
const NONE = { carried: 0, new: 0, gone: 0, dropped: 0 };

describe('carry marks', () => {
  afterEach(() => CarryMarks.reset());

  test('read the same from RawJson and JSON.parse, and word the line dxfilter prints', () => {
    for (const parse of [RawJson.parse, JSON.parse]) {
      const marks = new CarryMarks(parse(carriedText).data);
      assert.deepEqual(['n1', 'n2', 'a', 'g1', 'constructor', '__proto__'].map((uid) => marks.isNew(uid)), [true, true, false, false, false, false]);
      assert.deepEqual([marks.present, marks.gone(), marks.counts(), marks.summary(), marks.badgeTooltip()], [true, ['g1', 'g2', 'g3'],
        { carried: 412, new: 2, gone: 3, dropped: 2 }, '412 edits carried, 2 new, 3 gone, 2 dropped', 'Not in the last filter (IFC4:house-v1.ifc)']);
      assert.match(marks.droppedText(), /^2 of the last filter's edits could not be carried/);
    }
    const one = new CarryMarks({ carry: { from: 'f', carried: 1, new: [], gone: ['g'], dropped: 0 } });
    assert.deepEqual([one.summary(), one.goneText(), one.droppedText(), one.hasNew()],
      ['1 edit carried, 0 new, 1 gone, 0 dropped', '1 entity of the last filter is not in this file', '', false]);
  });

  test('a missing carry, or members of another shape, count as absent', () => {
    for (const data of [undefined, null, {}, { carry: null }, { carry: [] }, { carry: 'x' }, 'data']) {
      const marks = new CarryMarks(data);
      assert.deepEqual([marks.present, marks.isNew('n1'), marks.gone(), marks.counts(), marks.summary()], [false, false, [], NONE, ''], JSON.stringify(data));
    }
    const marks = new CarryMarks(RawJson.parse('{"carry":{"from":7,"carried":-3,"new":["n",5,null,"n",{"x":1},"m"],"gone":"g","dropped":1.5}}'));
    assert.equal(marks.from, '');
    assert.deepEqual(marks.counts(), { ...NONE, new: 2 });
    assert.deepEqual([marks.isNew('n'), marks.isNew('m'), marks.isNew(5)], [true, true, false]);
    assert.deepEqual(new CarryMarks({ carry: { carried: '12', dropped: 2 ** 60 } }).counts(), NONE);
    assert.equal(new CarryMarks(RawJson.parse('{"carry":{"carried":12}}')).counts().carried, 12);
    assert.equal(new CarryMarks(RawJson.parse('{"carry":{"carried":1e3}}')).counts().carried, 0, 'a count is written as digits');
  });

  test('on a loaded filter, only the entities named new are flagged, and the filter shows them with their path', () => {
    // Two entities new, one uid the house lacks, one uid two entities share.
    const doc = house();
    const building = doc.roots[0].children[0].children[0];
    const [door, kitchen1] = [building.children[0].children[0].children[0].children[0], building.children[1].children[1]];
    const wall02 = building.children[0].children[0].children[1];
    building.children[1].children[0].children[1].data.uid = [wall02.data.uid[0]];
    doc.data.carry = { carried: 2, new: [door.data.uid[0], kitchen1.data.uid[0], 'not-here', wall02.data.uid[0]], gone: [], dropped: 0 };
    const model = new FilterModel(JSON.stringify(doc));
    const labels = (keep) => [...Array(model.size).keys()].filter(keep).map((i) => model.label(i));
    model.flags[0] = 1; // a stale flag of an earlier load goes
    assert.equal(new CarryMarks(model.topData).markModel(model), 2);
    assert.deepEqual(labels((i) => model.flags[i] === 1), ['Door 0.1', 'Kitchen 1']);

    const state = new FilterState(model);
    state.setExtra(CarryMarks.newOnly(model));
    state.recompute();
    assert.deepEqual(labels((i) => state.passes[i] === 1), ['Door 0.1', 'Kitchen 1']);
    const visible = labels((i) => state.isVisible(i));
    assert.deepEqual([visible.includes('Storey 1'), visible.includes('Window 0.1')], [true, false], 'the way to them, not their neighbours');

    const plain = new FilterModel(JSON.stringify(house()));
    assert.equal(new CarryMarks(plain.topData).markModel(plain), 0);
  });
});
