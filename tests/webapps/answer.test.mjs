// The answer message made from kept escaped chunks must be exactly what the page would
// post as one string, wherever the changes fall against the chunks.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';
import { trickyText, find } from './fixtures.mjs';

const [AnswerBody, FilterModel] = await load('AnswerBody', 'FilterModel');

const expected = (tag, text) => JSON.stringify([tag, text]);
const bodyText = (body, tag, pieces) => body.body(tag, pieces).text();

describe('the answer message from kept chunks', () => {
  test('unchanged, edited in place, edited by a full parse, renamed across chunks: the same bytes as one string', async () => {
    const text = trickyText();
    for (const chunk of [1, 2, 3, 7, 64, 1000, 1 << 20]) {
      const model = new FilterModel(text);
      const body = new AnswerBody(text, chunk);
      assert.equal(await bodyText(body, 'onOkClick', model.answerPieces()), expected('onOkClick', text), `unchanged, chunk ${chunk}`);
      model.applySubtree(find(model, 'Storey 1'), model.column('Import'), 'false');
      model.applyEdits([{ index: find(model, 'Site'), column: model.column('Name'), value: '\ud83d\ude00 "renamed" \\' }]);
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
