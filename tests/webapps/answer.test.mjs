// The answer message made from kept escaped chunks must be exactly what the page would
// post as one string, wherever the changes fall against the chunks.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';
import { house, find } from './fixtures.mjs';

const [AnswerBody, FilterModel] = await load('AnswerBody', 'FilterModel');

const expected = (tag, text) => JSON.stringify([tag, text]);
const bodyText = (body, tag, pieces) => body.body(tag, pieces).text();

// A document with what escaping changes: quotes, backslashes, control characters, line
// separators and characters outside the BMP (surrogate pairs), labels long enough to
// cross many small chunks.
function trickyText() {
  const doc = house();
  doc.roots[0].label = '\ud83c\udfe0'.repeat(40) + ' "q" \\ \t\n\u2028 é';
  doc.roots[0].children[0].label = 'x\ud83d\ude00'.repeat(25);
  return JSON.stringify(doc);
}

describe('the answer message from kept chunks', () => {
  test('unchanged, edited in place, edited by a full parse, renamed across chunks: the same bytes as one string', async () => {
    const text = trickyText();
    for (const chunk of [1, 2, 3, 7, 64, 1000, 1 << 20]) {
      const model = new FilterModel(text);
      const body = new AnswerBody(text, chunk);
      assert.equal(await bodyText(body, 'onOkClick', model.answerPieces()), expected('onOkClick', text), `unchanged, chunk ${chunk}`);
      model.applyEdits(model.subtreeEdits(find(model, 'Storey 0'), model.column('Import'), 'false'));
      model.applyEdits([{ index: find(model, 'x\ud83d\ude00'.repeat(25)), column: model.column('Name'), value: '\ud83d\ude00 "renamed" \\' }]);
      model.applyEdits([{ index: 0, column: model.column('Name'), value: 'a long name '.repeat(30) }]);
      // Half of the chunks escaped beforehand, the rest when asked.
      let budget = Math.floor(body.starts.length / 2);
      body.prepare(() => budget-- > 0);
      const written = model.write();
      assert.notEqual(written, text);
      assert.equal(await bodyText(body, 'onSaveClick', model.answerPieces()), expected('onSaveClick', written), `edited, chunk ${chunk}`);
      assert.equal(JSON.parse(await bodyText(body, 'onOkClick', model.answerPieces()))[1], written);
    }
  });

  test('changes at the very start and end, on an empty text, and chunks never splitting a surrogate pair', async () => {
    const pair = 'a\ud83c\udfe0b\ud83c\udfe0';
    for (const start of new AnswerBody(pair, 2).starts) assert.ok(!/[\udc00-\udfff]/.test(pair[start]), `chunk at ${start} starts inside a pair`);
    const text = '{"a":"b"}';
    const body = new AnswerBody(text, 4);
    const pieces = [[0, 0, '\n'], [5, 8, '"\u0001"'], [9, 9, '\ud83c\udfe0']];
    const written = '\n{"a":"\u0001"}\ud83c\udfe0';
    assert.equal(await bodyText(body, 't', pieces), expected('t', written));
    assert.deepEqual([await bodyText(new AnswerBody('', 4), 't', [[0, 0, 'x']]), await bodyText(new AnswerBody('', 4), 't', [])], [expected('t', 'x'), expected('t', '')]);
  });
});
