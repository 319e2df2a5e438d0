import { test } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';

const [RawJson] = await load('RawJson');
const roundTrip = (text) => RawJson.stringify(RawJson.parse(text));

test('RawJson keeps what JSON.parse loses: number spelling, key order, keys held twice; a __proto__ key is data', () => {
  const text = '{"big":123456789012345678901234567890,"money":1.50,"10":"x","a":"first","a":"second","__proto__":{"polluted":true}}';
  assert.equal(roundTrip(text), text);
  const doc = RawJson.parse('{"e":"\\u00e9\\/","astral":"\\ud83c\\udfe0","n":1.50,"__proto__":{"polluted":true}}');
  assert.deepEqual([doc.e, doc.astral, doc.n.raw], ['é/', '\u{1F3E0}', '1.50']);
  assert.equal(Object.getPrototypeOf(doc), Object.prototype, 'a __proto__ member is data');
  assert.equal({}.polluted, undefined);
  assert.equal(RawJson.stringify(RawJson.parse(' { "a" : [ 1 , "x" ] ,\n"b":{ } } ')), '{"a":[1,"x"],"b":{}}');
});

test('RawJson rejects what is not JSON', () => {
  const bad = ['', '{', '{"a":1,}', '[1,]', '{"a" 1}', '{a:1}', "{'a':1}", '01', '1.', '.5', '-', '1e', '+1', 'tru', 'nul',
    '"unterminated', '"bad \\x escape"', '"bad \\u12 escape"', '"raw \u0001 control"', '{"a":1} x', 'NaN', '[1 2]'];
  for (const text of bad) assert.throws(() => RawJson.parse(text), SyntaxError, JSON.stringify(text));
});

test('RawJson edits keep the rest as it was, and a snapshot brings it all back', () => {
  const text = '{"x":"\\u0058","2":"two","x":"again","y":1.0}';
  const doc = RawJson.parse(text);
  const snap = RawJson.snapshot(doc);
  RawJson.setMember(doc, 'y', 'new "quoted" \\ \n \u0007 \u2028');
  RawJson.setMember(doc, '7', 'last');
  assert.equal(RawJson.stringify(doc), '{"x":"\\u0058","2":"two","x":"again","y":"new \\"quoted\\" \\\\ \\n \\u0007 \u2028","7":"last"}');
  RawJson.deleteMember(doc, 'x');
  assert.equal(RawJson.stringify(doc), '{"2":"two","y":"new \\"quoted\\" \\\\ \\n \\u0007 \u2028","7":"last"}');
  RawJson.restore(doc, snap);
  assert.equal(RawJson.stringify(doc), text);

  // With spans, untouched nodes are copied and touched ones written anew.
  const spanned = '{"roots":[{"label":"a","n":1.0},{"label":"b","n":2.50}]}';
  const tree = RawJson.parse(spanned, true);
  RawJson.setMember(tree.roots[1], 'label', 'B');
  assert.equal(RawJson.stringify(tree), spanned, 'not seen until the node is touched');
  RawJson.touch(tree.roots[1]);
  assert.equal(RawJson.stringify(tree), spanned.replace('"b"', '"B"'));
});
