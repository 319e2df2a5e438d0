import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { JSDOM } from 'jsdom';
import { load } from './amd.mjs';

const [CellUI, Texts] = await load('CellUI', 'Texts');
const { window } = new JSDOM('');
const doc = window.document;

const texts = (node) => (node.nodeType === 3 ? [node.data] : [...node.childNodes].flatMap(texts));
const elements = (node) => [node, ...node.querySelectorAll('*')];
const render = (kind, value, extra) => CellUI.render(doc, kind, value, extra);
const key = (target, k, mods = {}) => target.dispatchEvent(new window.KeyboardEvent('keydown', { key: k, bubbles: true, cancelable: true, ...mods }));

describe('cells show document content as text', () => {
  const hostile = '<img src=x onerror=alert(1)>';

  test('a hostile value is one text node in every kind of cell and in a column title', () => {
    for (const kind of ['tree', 'boolean', 'enum', 'number', 'date', 'color', 'runtime', 'string', 'text']) {
      const node = render(kind, hostile, { options: [hostile] });
      assert.deepEqual(texts(node), [hostile], kind);
      assert.ok(elements(node).every((e) => e.tagName === 'SPAN'), `${kind}: no other element is made`);
    }
    assert.deepEqual(texts(CellUI.renderTitle(doc, 'enum', hostile, true)), [hostile]);
  });

  test('each kind shows its value in its own way', () => {
    const unknownColour = (v) => render('color', v).querySelector('.swatch').classList.contains('swatch-unknown');
    assert.deepEqual(['#1A2b3C', 'red;background:url(http://x)', 'url(x)', '#12345', 'expression(alert(1))', 'var(--x)'].map(unknownColour),
      [false, true, true, true, true, true]);
    assert.deepEqual(['true', 'false', '', 'yes'].map((v) => render('boolean', v).className), ['tick tick-on', 'tick tick-off', 'tick tick-none', 'tick tick-other']);
    assert.deepEqual([render('boolean', 'yes').textContent, render('boolean', 'true').getAttribute('aria-label'),
      render('boolean', 'true', { mixed: true }).getAttribute('aria-checked')], ['yes', Texts.format('Yes'), 'mixed']);
    const runtime = render('runtime', '1234 / 5000', { formatNumber: (n) => n.toLocaleString('en') });
    assert.deepEqual([runtime.textContent, runtime.querySelector('.runtime-fill').style.width, render('runtime', '1 / 1').querySelector('.runtime-bar')],
      ['1,234 / 5,000', '25%', null]);
    assert.deepEqual(['Other', 'B'].map((v) => render('enum', v, { options: ['A', 'B'] }).className.match(/chip-\w+/)[0]), ['chip-unknown', 'chip-1']);
    assert.equal(render('text', 'one\ntwo\r\nthree').textContent, 'one \u21b5 two \u21b5 three');
    assert.equal(render('tree', '', { empty: true }).textContent, Texts.format('EmptyEntity'));
    assert.deepEqual(['3.1000000000000001', '3000', '1,5', '1e400'].map((v) => render('number', v).textContent), ['3.1', '3000', '1,5', '1e400']);
  });
});

describe('cell editors', () => {
  function open(kind, value, options = []) {
    const calls = [];
    const editor = CellUI.editor(doc, kind, value, options, {
      done: (v) => calls.push(['done', v]),
      cancel: () => calls.push(['cancel']),
      after: (move) => calls.push(['after', move]),
      anchor: doc.createElement('div'),
    });
    doc.body.appendChild(editor.element);
    editor.focus();
    const input = editor.element.matches('.cell-editor') ? editor.element : editor.element.querySelector('.cell-editor');
    return { editor, input, calls, list: () => doc.querySelector('.list-popup') };
  }

  test('a number is checked, explained and written as a number text, not rounded', () => {
    const { input, calls } = open('number', '1.50');
    assert.equal(input.value, '1.50');
    input.value = 'abc';
    key(input, 'Enter');
    assert.deepEqual([calls, input.classList.contains('is-invalid')], [[], true], 'not a number: the editor stays open');
    input.value = ' 3,25 ';
    key(input, 'Enter');
    assert.deepEqual(calls, [['done', '3.25'], ['after', 'down']]);
    input.dispatchEvent(new window.FocusEvent('blur'));
    assert.equal(calls.length, 2, 'one answer only');
    const cases = { '+.5': '0.5', '-.5': '-0.5', '3.': '3', '1e400': '1e400', '12345678901234567890': '12345678901234567890', '': '' };
    for (const [typed, written] of Object.entries(cases)) assert.equal(CellUI.normalizeNumber(typed), written, typed);
    for (const bad of ['1.2.3', '0x10', 'NaN', '1e', '--1']) assert.equal(CellUI.normalizeNumber(bad), null, bad);
  });

  test('text is written as typed: Tab commits and moves, Escape gives up, OK commits once, line breaks are kept', () => {
    let { editor, input, calls } = open('string', 'old');
    input.value = "it's \\ <b>";
    key(input, 'Tab', { shiftKey: true });
    assert.deepEqual(calls, [['done', "it's \\ <b>"], ['after', 'left']]);
    ({ input, calls } = open('string', 'old'));
    input.value = 'changed';
    key(input, 'Escape');
    assert.deepEqual(calls, [['cancel'], ['after', null]]);
    ({ editor, input, calls } = open('text', 'one\ntwo'));
    assert.equal(input.tagName, 'TEXTAREA');
    key(input, 'Enter', { shiftKey: true });
    assert.deepEqual(calls, [], 'Shift+Enter is a new line');
    input.value = 'one\ntwo\nthree';
    editor.commit();
    editor.commit();
    assert.deepEqual(calls, [['done', 'one\ntwo\nthree']]);
    assert.equal(open('date', '2024-02-29').input.type, 'date');
    assert.equal(open('date', '2024-02-29T10:00:00Z').input.type, 'text');
  });

  test('an enumeration is chosen from its list by keyboard or click; Escape leaves it as it was', () => {
    const options = ['NoImport', 'ForLifecycle', 'ForCoordination', 'ForDesign'];
    let { input, calls, list } = open('enum', 'ForLifecycle', options);
    assert.deepEqual(texts(list()), options);
    key(input, 'ArrowDown');
    assert.equal(input.value, 'ForCoordination');
    for (const k of 'ford') key(input, k);
    assert.equal(input.value, 'ForDesign');
    key(input, 'Enter');
    assert.deepEqual(calls, [['done', 'ForDesign'], ['after', null]]);
    assert.equal(list(), null, 'the list is gone');
    ({ input, calls, list } = open('enum', 'B', ['A', 'B']));
    key(input, 'ArrowUp');
    key(input, 'Escape');
    assert.deepEqual(calls, [['cancel'], ['after', null]]);
    ({ calls, list } = open('enum', '', ['A', 'B', 'C']));
    list().children[2].dispatchEvent(new window.MouseEvent('mousedown', { bubbles: true, cancelable: true }));
    assert.deepEqual(calls, [['done', 'C'], ['after', null]]);
  });
});
