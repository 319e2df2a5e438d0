import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';

const [RawJson] = await load('RawJson');
const roundTrip = (text) => RawJson.stringify(RawJson.parse(text));

describe('RawJson writes back exactly what it read', () => {
  const cases = {
    'numbers JSON.parse would change': '{"big":123456789012345678901234567890,"money":1.50,"huge":1e400,"negZero":-0,"exp":2.5E-3,"neg":-12,"zero":0}',
    'integer-like keys keep their place': '{"b":1,"10":"x","a":2,"2":"y","0":null}',
    'duplicate keys keep both members': '{"a":"first","b":1,"a":"second"}',
    'escapes another writer chose': '{"e":"\\u00e9\\/\\u0041","t":"tab\\u0009","q":"\\"","nl":"\\n\\r\\b\\f\\t"}',
    'characters that need no escape': '{"ls":"\u2028\u2029","astral":"\ud83c\udfe0 house","script":"</script><!--","quote":"it\'s","bs":"C:\\\\dir\\\\x"}',
    'lone surrogate written as an escape': '{"s":"\\ud800x"}',
    'control characters in lower-case hex': '{"c":"\\u0001\\u001f"}',
    '__proto__ and prototype-like keys': '{"__proto__":{"polluted":true},"constructor":"c","toString":"t","hasOwnProperty":1}',
    'nested settings with every kind of value': '{"data":{"settings":{"a":[1,2.0,{"b":[true,false,null]},[]],"c":{},"d":"x"}}}',
    'empty containers and top-level array': '[{},[],"",0,[[[]]]]',
    'top-level scalars': '"just a string"',
  };
  for (const [name, text] of Object.entries(cases)) {
    test(name, () => assert.equal(roundTrip(text), text));
  }

  test('strings decode to their values', () => {
    const doc = RawJson.parse('{"e":"\\u00e9\\/","astral":"\\ud83c\\udfe0","bs":"a\\\\b","q":"\\""}');
    assert.equal(doc.e, 'é/');
    assert.equal(doc.astral, '\u{1F3E0}');
    assert.equal(doc.bs, 'a\\b');
    assert.equal(doc.q, '"');
  });

  test('number tokens are kept as text, not converted', () => {
    const doc = RawJson.parse('{"n":1.50,"big":9007199254740993}');
    assert.ok(doc.n instanceof RawJson.RawNumber);
    assert.equal(doc.n.raw, '1.50');
    assert.equal(doc.big.raw, '9007199254740993');
  });

  test('a __proto__ member is data, not the object prototype', () => {
    const doc = RawJson.parse('{"__proto__":{"polluted":true}}');
    assert.equal(Object.getPrototypeOf(doc), Object.prototype);
    assert.equal({}.polluted, undefined);
    assert.deepEqual(Object.keys(doc), ['__proto__']);
  });

  test('whitespace between tokens is accepted; the values are the same', () => {
    const doc = RawJson.parse(' { "a" : [ 1 , "x" ] ,\n"b":{ } } ');
    assert.equal(RawJson.stringify(doc), '{"a":[1,"x"],"b":{}}');
  });
});

describe('RawJson rejects what is not JSON', () => {
  const bad = ['', '{', '{"a":1,}', '[1,]', '{"a" 1}', '{a:1}', "{'a':1}", '01', '1.', '.5', '-', '1e', '+1', 'tru', 'nul',
    '"unterminated', '"bad \\x escape"', '"bad \\u12 escape"', '"raw \u0001 control"', '{"a":1} x', 'NaN', '[1 2]'];
  for (const text of bad) {
    test(JSON.stringify(text), () => assert.throws(() => RawJson.parse(text), SyntaxError));
  }
});

describe('RawJson edits keep the rest as it was', () => {
  test('setting an existing member keeps its place, a new one goes last', () => {
    const doc = RawJson.parse('{"a":"1","b":"2"}');
    RawJson.setMember(doc, 'a', 'x');
    RawJson.setMember(doc, 'c', 'y');
    assert.equal(RawJson.stringify(doc), '{"a":"x","b":"2","c":"y"}');
  });

  test('an integer-like key added later still goes last', () => {
    const doc = RawJson.parse('{"a":"1"}');
    RawJson.setMember(doc, '7', 'x');
    assert.equal(RawJson.stringify(doc), '{"a":"1","7":"x"}');
  });

  test('deleting removes every occurrence of a duplicated key', () => {
    const doc = RawJson.parse('{"a":1,"b":2,"a":3}');
    RawJson.deleteMember(doc, 'a');
    assert.equal(RawJson.stringify(doc), '{"b":2}');
  });

  test('an edited string is written in the generator\'s escaping, an unedited one as it came', () => {
    const doc = RawJson.parse('{"a":"\\u0041","b":"\\u0042"}');
    RawJson.setMember(doc, 'a', 'new "quoted" \\ \n \u0007 \u2028');
    assert.equal(RawJson.stringify(doc), '{"a":"new \\"quoted\\" \\\\ \\n \\u0007 \u2028","b":"\\u0042"}');
  });

  test('snapshot and restore bring back order, duplicates and raw tokens', () => {
    const text = '{"x":"\\u0058","2":"two","x":"again","y":1.0}';
    const doc = RawJson.parse(text);
    const snap = RawJson.snapshot(doc);
    RawJson.deleteMember(doc, 'x');
    RawJson.setMember(doc, 'y', 'changed');
    RawJson.setMember(doc, 'z', 'new');
    assert.notEqual(RawJson.stringify(doc), text);
    RawJson.restore(doc, snap);
    assert.equal(RawJson.stringify(doc), text);
  });

  test('with spans, untouched nodes are copied and touched ones written anew', () => {
    const text = '{"roots":[{"label":"a","n":1.0},{"label":"b","n":2.50}]}';
    const doc = RawJson.parse(text, true);
    assert.equal(RawJson.stringify(doc), text);
    RawJson.setMember(doc.roots[1], 'label', 'B');
    assert.equal(RawJson.stringify(doc), text, 'a change is not seen until the node is touched');
    RawJson.touch(doc.roots[1]);
    assert.equal(RawJson.stringify(doc), '{"roots":[{"label":"a","n":1.0},{"label":"B","n":2.50}]}');
  });
});

// Random documents written with random choices of escapes, numbers and key orders.
function randomText(seed) {
  let state = seed >>> 0;
  const rnd = (n) => {
    state = (state * 1664525 + 1013904223) >>> 0;
    return state % n;
  };
  const alphabet = ['a', 'Z', '0', ' ', '"', '\\', '/', '\n', '\u0001', '\u007f', 'é', '\u2028', '\ud83c\udfe0', '<', "'"];
  const str = () => {
    let out = '"';
    for (let k = rnd(8); k > 0; k--) {
      const ch = alphabet[rnd(alphabet.length)];
      const code = ch.charCodeAt(0);
      if (ch === '"' || ch === '\\') out += rnd(2) ? '\\' + ch : '\\u' + code.toString(16).padStart(4, '0');
      else if (code < 0x20) out += rnd(2) ? '\\u' + code.toString(16).padStart(4, rnd(2) ? '0' : '0') : ch === '\n' ? '\\n' : '\\u0001';
      else if (rnd(5) === 0 && ch.length === 1) out += '\\u' + code.toString(16).toUpperCase().padStart(4, '0');
      else if (ch === '/' && rnd(2)) out += '\\/';
      else out += ch;
    }
    return out + '"';
  };
  const numbers = ['0', '-0', '1.50', '1e400', '-2.5E-3', '123456789012345678901234567890', '7', '0.0'];
  const value = (depth) => {
    const kind = depth > 3 ? rnd(4) : rnd(7);
    switch (kind) {
      case 0: return str();
      case 1: return numbers[rnd(numbers.length)];
      case 2: return ['true', 'false', 'null'][rnd(3)];
      case 3: return str();
      case 4: {
        const items = [];
        for (let k = rnd(4); k > 0; k--) items.push(value(depth + 1));
        return `[${items.join(',')}]`;
      }
      default: {
        const members = [];
        const keys = ['"a"', '"b"', '"10"', '"2"', '"__proto__"', '"\\u0061"'];
        for (let k = rnd(5); k > 0; k--) members.push(`${rnd(2) ? keys[rnd(keys.length)] : str()}:${value(depth + 1)}`);
        return `{${members.join(',')}}`;
      }
    }
  };
  // Documents are containers; a bare top-level string has nowhere to keep its token.
  return `[${value(0)}]`;
}

describe('RawJson round trip of random documents', () => {
  test('every random document comes back byte for byte, and decodes as JSON.parse does', () => {
    for (let seed = 1; seed <= 400; seed++) {
      const text = randomText(seed);
      assert.equal(roundTrip(text), text, `seed ${seed}: ${text}`);
      // Same values as the platform parser, numbers aside.
      const ours = JSON.parse(JSON.stringify(RawJson.parse(text), (k, v) => (v instanceof RawJson.RawNumber ? Number(v.raw) : v)));
      const theirs = JSON.parse(text, (k, v) => (typeof v === 'number' && !Number.isFinite(v) ? null : v));
      assert.deepEqual(ours, JSON.parse(JSON.stringify(theirs)), `seed ${seed}`);
    }
  });
});
