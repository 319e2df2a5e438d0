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

// Random documents written with random choices of escapes, numbers and key orders.
function randomText(seed) {
  let state = seed >>> 0;
  const rnd = (n) => (state = (state * 1664525 + 1013904223) >>> 0) % n;
  const alphabet = ['a', 'Z', '0', ' ', '"', '\\', '/', '\n', '\u0001', '\u007f', 'é', '\u2028', '\ud83c\udfe0', '<', "'"];
  const hex = (code) => '\\u' + code.toString(16)[rnd(2) ? 'toUpperCase' : 'toLowerCase']().padStart(4, '0');
  const str = () => {
    let out = '"';
    for (let k = rnd(8); k > 0; k--) {
      const ch = alphabet[rnd(alphabet.length)];
      const code = ch.charCodeAt(0);
      if (ch === '"' || ch === '\\') out += rnd(2) ? '\\' + ch : hex(code);
      else if (code < 0x20) out += rnd(2) ? hex(code) : ch === '\n' ? '\\n' : '\\u0001';
      else if (rnd(5) === 0 && ch.length === 1) out += hex(code);
      else out += ch === '/' && rnd(2) ? '\\/' : ch;
    }
    return out + '"';
  };
  const numbers = ['0', '-0', '1.50', '1e400', '-2.5E-3', '123456789012345678901234567890', '7', '0.0'];
  const keys = ['"a"', '"b"', '"10"', '"2"', '"__proto__"', '"\\u0061"'];
  const value = (depth) => {
    const kind = rnd(depth > 3 ? 3 : 5);
    if (kind === 0) return str();
    if (kind === 1) return numbers[rnd(numbers.length)];
    if (kind === 2) return ['true', 'false', 'null'][rnd(3)];
    const items = [];
    for (let k = rnd(5); k > 0; k--) items.push(kind === 3 ? value(depth + 1) : `${rnd(2) ? keys[rnd(keys.length)] : str()}:${value(depth + 1)}`);
    return kind === 3 ? `[${items.join(',')}]` : `{${items.join(',')}}`;
  };
  return `[${value(0)}]`;
}

test('random documents come back byte for byte, and decode as JSON.parse does', () => {
  for (let seed = 1; seed <= 400; seed++) {
    const text = randomText(seed);
    assert.equal(roundTrip(text), text, `seed ${seed}: ${text}`);
    const ours = JSON.parse(JSON.stringify(RawJson.parse(text), (k, v) => (v instanceof RawJson.RawNumber ? Number(v.raw) : v)));
    const theirs = JSON.parse(text, (k, v) => (typeof v === 'number' && !Number.isFinite(v) ? null : v));
    assert.deepEqual(ours, JSON.parse(JSON.stringify(theirs)), `seed ${seed}`);
  }
});
