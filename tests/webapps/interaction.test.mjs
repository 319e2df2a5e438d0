import { test } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';

const [Interaction] = await load('Interaction');
// What the dialog does with a recorded text: paste it, as it is, between single quotes.
const pasted = (text) => new Function(`return '${text}';`)();

test('every kind of interaction, with awkward values, comes back exactly, in letters, digits, "-" and "_" only', () => {
  const awkward = ["it's", 'é ß \u07ff', "both ' and \\ and \\'", 'line\nbreak\r\u2028\u2029', '\ud83c\udfe0 \u{1F9F1}', '</script>"`${x}', '', '\u0000\u001f'];
  const actions = [
    ...awkward.map((v) => ({ t: 'edit', n: [0, 2, 1], c: "Col'\\", v })),
    { t: 'subtree', n: [0, 1], c: 'ImportMode', v: 'ForDesign' },
    { t: 'rows', n: [[0, 1], [0, 2, 3]], c: 'Name', v: 'x', u: ['0Pf4XRwzAASndhpAtQD6xu', null] },
    { t: 'expand', n: [2], s: true },
    { t: 'collapse', n: [1], s: true, u: '28vMhEUz86rwnc6WW6Y_QQ' },
    { t: 'level', d: -1 },
    { t: 'undo' },
  ];
  const texts = actions.map((a) => Interaction.encode(a));
  assert.ok(texts.every((text) => /^[A-Za-z0-9_-]*$/.test(text)), texts.join(' '));
  assert.deepEqual(texts.map((text) => Interaction.decode(pasted(text))), actions);
});

test('what is not an interaction text is refused', () => {
  const alphabet = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_';
  const level = Interaction.encode({ t: 'level', d: 3 });
  assert.notEqual(level.length % 4, 0, 'needs a text with unused bits at the end');
  const json = (o) => Interaction.encode(o);
  const bad = [
    "eyJ0IjoidW5kbyJ9'", 'eyJ0Ijoid W5kbyJ9', 'eyJ0IjoidW5kbyJ9=', 'eyJ0IjoidW5kbyJ9+/', 'e', '_-8',
    level.slice(0, -1) + alphabet[alphabet.indexOf(level.at(-1)) | 1], // a second spelling of a valid text
    json({ t: 'delete' }), json({ t: 'edit', n: [0], c: 'Name' }), json({ t: 'edit', n: [-1], c: 'Name', v: 'x' }),
    json({ t: 'edit', n: [], c: 'Name', v: 'x' }), json({ t: 'rows', n: [0], c: 'Name', v: 'x' }), json({ t: 'level', d: 1.5 }),
    json({ t: 'expand', n: [0], s: 'yes' }), json({ t: 'edit', n: [0], c: 'Name', v: 'x', u: '' }),
    json({ t: 'subtree', n: [0], c: 'Name', v: 'x', u: ['a'] }), json({ t: 'rows', n: [[0], [1]], c: 'Name', v: 'x', u: ['a'] }),
    json({ t: 'rows', n: [[0]], c: 'Name', v: 'x', u: [7] }), json({ t: 'expand', n: [0], u: null }), json([1, 2]),
  ];
  for (const text of bad) assert.throws(() => Interaction.decode(text), undefined, text);
  assert.equal(Interaction.isSafe("a'b") || Interaction.isSafe('a\\b'), false);
});
