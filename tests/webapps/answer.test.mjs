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
});
