import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { load, loader } from './amd.mjs';

const [Interaction] = await load('Interaction');

// What the dialog does with a recorded text: paste it, as it is, between single quotes.
function pastedIntoScript(text) {
   
  return new Function(`return '${text}';`)();
}

describe('interaction texts', () => {
  const awkward = [
    "it's",
    'back\\slash',
    "both ' and \\ and \\'",
    'line\nbreak\r\u2028\u2029',
    '\ud83c\udfe0 house \u{1F9F1}',
    '</script><img src=x onerror=alert(1)>',
    '"double" `back` ${x}',
    '',
    '\u0000\u001f',
  ];

  test('values with quotes, backslashes and characters outside the BMP come back exactly', () => {
    for (const v of awkward) {
      const action = { t: 'edit', n: [0, 2, 1], c: "Col'\\", v };
      const text = Interaction.encode(action);
      assert.deepEqual(Interaction.decode(text), action, JSON.stringify(v));
      assert.deepEqual(Interaction.decode(pastedIntoScript(text)), action, 'survives the script string');
    }
  });

  test('texts use only letters, digits, "-" and "_"', () => {
    let state = 7;
    const rnd = (n) => ((state = (state * 1103515245 + 12345) >>> 0) % n);
    for (let k = 0; k < 300; k++) {
      let v = '';
      for (let j = rnd(20); j > 0; j--) v += String.fromCodePoint(rnd(5) ? rnd(0x800) : 0x10000 + rnd(0x1000));
      const text = Interaction.encode({ t: 'subtree', n: [rnd(9)], c: 'Name', v });
      assert.match(text, /^[A-Za-z0-9_-]*$/);
      assert.equal(Interaction.isSafe(text), true);
      assert.equal(Interaction.decode(text).v, v);
    }
  });

  test('every kind of interaction encodes and decodes', () => {
    const actions = [
      { t: 'edit', n: [0], c: 'Import', v: 'false' },
      { t: 'subtree', n: [0, 1], c: 'ImportMode', v: 'ForDesign' },
      { t: 'rows', n: [[0, 1], [0, 2, 3]], c: 'Name', v: 'x' },
      { t: 'expand', n: [0, 0] },
      { t: 'collapse', n: [1] },
      { t: 'expand', n: [2], s: true },
      { t: 'level', d: 3 },
      { t: 'level', d: -1 },
      { t: 'undo' },
      { t: 'edit', n: [0, 2], c: 'Name', v: 'x', u: '1bxU1GImlSzKa_Mw2vWUz6' },
      { t: 'rows', n: [[0, 1], [3]], c: 'Import', v: 'false', u: ['0Pf4XRwzAASndhpAtQD6xu', null] },
      { t: 'collapse', n: [1], s: true, u: '28vMhEUz86rwnc6WW6Y_QQ' },
    ];
    for (const a of actions) assert.deepEqual(Interaction.decode(Interaction.encode(a)), a);
  });

  test('what is not an interaction text is refused', () => {
    const alphabet = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_';
    const withLeftoverBits = (text) => {
      assert.notEqual(text.length % 4, 0, 'needs a text with unused bits at the end');
      return text.slice(0, -1) + alphabet[alphabet.indexOf(text.at(-1)) | 1];
    };
    const json = (o) => Interaction.encode(o);
    const bad = [
      "eyJ0IjoidW5kbyJ9'", // a quote
      'eyJ0Ijoid W5kbyJ9', // a space
      'eyJ0IjoidW5kbyJ9=', // padding
      'eyJ0IjoidW5kbyJ9+/', // the other base64 alphabet
      'e', // a length no encoding has
      withLeftoverBits(Interaction.encode({ t: 'level', d: 3 })), // a second spelling of a valid text
      '_-8', // not UTF-8
      json({ t: 'delete' }),
      json({ t: 'edit', n: [0], c: 'Name' }),
      json({ t: 'edit', n: [-1], c: 'Name', v: 'x' }),
      json({ t: 'edit', n: [], c: 'Name', v: 'x' }),
      json({ t: 'rows', n: [0], c: 'Name', v: 'x' }),
      json({ t: 'level', d: 1.5 }),
      json({ t: 'expand', n: [0], s: 'yes' }),
      json({ t: 'edit', n: [0], c: 'Name', v: 'x', u: '' }),
      json({ t: 'subtree', n: [0], c: 'Name', v: 'x', u: ['a'] }),
      json({ t: 'rows', n: [[0], [1]], c: 'Name', v: 'x', u: ['a'] }),
      json({ t: 'rows', n: [[0]], c: 'Name', v: 'x', u: [7] }),
      json({ t: 'expand', n: [0], u: null }),
      json([1, 2]),
    ];
    for (const text of bad) assert.throws(() => Interaction.decode(text), undefined, text);
    assert.equal(Interaction.isSafe("a'b"), false);
    assert.equal(Interaction.isSafe('a\\b'), false);
  });
});

describe('simulation services of test mode', () => {
  test('report posts registerInteraction with the text, and refuses unsafe texts', async () => {
    const posted = [];
    globalThis.window = { qor: { post: (m) => posted.push(m) } };
    try {
      const [services] = await loader()(['ZQ/SelectiveWebUI_TST/InputFilteringSimulateScenario']);
      const text = services.encode({ t: 'undo' });
      services.report(text);
      assert.deepEqual(posted, [['registerInteraction', text]]);
      assert.throws(() => services.report("x'); alert(1); ('"));
      assert.equal(posted.length, 1);
      assert.deepEqual(services.decode(text), { t: 'undo' });
    } finally {
      delete globalThis.window;
    }
  });
});
