import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { load } from './amd.mjs';

const [CellUI, Texts] = await load('CellUI', 'Texts');

// Just enough DOM to build cells; markup cannot get in: innerHTML and friends throw.
class FakeNode {
  constructor(doc) { this.ownerDocument = doc; this.parentNode = null; this.childNodes = []; }
  appendChild(child) {
    if (child.parentNode) child.parentNode.removeChild(child);
    child.parentNode = this;
    this.childNodes.push(child);
    return child;
  }
  removeChild(child) {
    this.childNodes.splice(this.childNodes.indexOf(child), 1);
    child.parentNode = null;
    return child;
  }
  get firstChild() { return this.childNodes[0] || null; }
  get textContent() { return this.childNodes.map((c) => c.textContent).join(''); }
}
class FakeText extends FakeNode {
  constructor(doc, data) { super(doc); this.data = String(data); }
  get textContent() { return this.data; }
}
class FakeElement extends FakeNode {
  constructor(doc, tag) {
    super(doc);
    this.tagName = tag.toUpperCase();
    this.attributes = {};
    this.listeners = {};
    this.style = {};
    this.value = '';
    const classes = new Set();
    this.classList = {
      add: (...c) => c.forEach((x) => classes.add(x)),
      remove: (...c) => c.forEach((x) => classes.delete(x)),
      toggle: (c, on) => ((on ?? !classes.has(c)) ? classes.add(c) : classes.delete(c)),
      contains: (c) => classes.has(c),
    };
    Object.defineProperty(this, 'className', {
      get: () => [...classes].join(' '),
      set: (v) => { classes.clear(); String(v).split(/\s+/).filter(Boolean).forEach((x) => classes.add(x)); },
    });
  }
  set textContent(v) { this.childNodes = []; if (v !== '') this.appendChild(new FakeText(this.ownerDocument, v)); }
  get textContent() { return super.textContent; }
  set innerHTML(v) { throw new Error(`innerHTML used with ${v}`); }
  set outerHTML(v) { throw new Error('outerHTML used'); }
  insertAdjacentHTML() { throw new Error('insertAdjacentHTML used'); }
  setAttribute(k, v) {
    if (/^on/i.test(k) || k === 'style') throw new Error(`attribute ${k} set`);
    this.attributes[k] = String(v);
  }
  getAttribute(k) { return this.attributes[k] ?? null; }
  addEventListener(type, fn) { (this.listeners[type] ||= []).push(fn); }
  fire(type, props = {}) {
    const event = { type, target: this, defaultPrevented: false, preventDefault() { this.defaultPrevented = true; }, stopPropagation() {}, ...props };
    (this.listeners[type] || []).forEach((fn) => fn(event));
    return event;
  }
  focus() { this.ownerDocument.activeElement = this; }
  select() {}
  getBoundingClientRect() { return { left: 10, top: 100, bottom: 130, width: 150 }; }
}
class FakeDocument {
  constructor() {
    this.body = new FakeElement(this, 'body');
    this.documentElement = { clientHeight: 800 };
  }
  createElement(tag) { return new FakeElement(this, tag); }
  createTextNode(text) { return new FakeText(this, text); }
}

const texts = (node) => (node instanceof FakeText ? [node.data] : node.childNodes.flatMap(texts));
const elements = (node) => (node instanceof FakeText ? [] : [node, ...node.childNodes.flatMap(elements)]);

describe('cells show document content as text', () => {
  const hostile = '<img src=x onerror=alert(1)>';
  const kinds = ['tree', 'boolean', 'enum', 'number', 'date', 'color', 'runtime', 'string', 'text'];

  test('a hostile value is one text node in every kind of cell', () => {
    for (const kind of kinds) {
      const doc = new FakeDocument();
      const node = CellUI.render(doc, kind, hostile, { options: [hostile] });
      assert.deepEqual(texts(node), [hostile], kind);
      assert.ok(elements(node).every((e) => e.tagName === 'SPAN'), `${kind}: no other element is made`);
    }
  });

  test('column titles are text too', () => {
    const node = CellUI.renderTitle(new FakeDocument(), 'enum', hostile, true);
    assert.deepEqual(texts(node), [hostile]);
  });

  test('a colour swatch takes only colour texts', () => {
    const doc = new FakeDocument();
    for (const good of ['#1A2b3C', 'teal', 'rgb(10, 20, 30)', 'hsla(120deg 50% 50% / 0.5)']) {
      assert.equal(elements(CellUI.render(doc, 'color', good)).find((e) => e.classList.contains('swatch')).style.backgroundColor, good);
    }
    for (const bad of ['red;background:url(http://x)', 'url(x)', '#12345', 'expression(alert(1))', 'rgb(1,2,3);x:url(y)', 'var(--x)']) {
      const swatch = elements(CellUI.render(doc, 'color', bad)).find((e) => e.classList.contains('swatch'));
      assert.equal(swatch.style.backgroundColor, undefined, bad);
      assert.ok(swatch.classList.contains('swatch-unknown'));
    }
  });

  test('booleans show ticked, unticked, empty, or the odd value as written', () => {
    const doc = new FakeDocument();
    const cls = (v) => CellUI.render(doc, 'boolean', v).className;
    assert.equal(cls('true'), 'tick tick-on');
    assert.equal(cls('false'), 'tick tick-off');
    assert.equal(cls(''), 'tick tick-none');
    const odd = CellUI.render(doc, 'boolean', 'yes');
    assert.equal(odd.className, 'tick tick-other');
    assert.equal(odd.textContent, 'yes');
    assert.equal(CellUI.render(doc, 'boolean', 'true').getAttribute('aria-label'), Texts.format('Yes'));
  });

  test('the runtime cell shows its count and a bar of the imported share', () => {
    const doc = new FakeDocument();
    const node = CellUI.render(doc, 'runtime', '12 / 40', { formatNumber: (n) => n.toLocaleString('en') });
    assert.equal(node.textContent, '12 / 40');
    assert.equal(elements(node).find((e) => e.classList.contains('runtime-fill')).style.width, '30%');
    assert.equal(CellUI.render(doc, 'runtime', '1234 / 5000', { formatNumber: (n) => n.toLocaleString('en') }).textContent, '1,234 / 5,000');
    assert.equal(elements(CellUI.render(doc, 'runtime', '7')).some((e) => e.classList.contains('runtime-bar')), false);
  });

  test('an enum value outside its list is marked', () => {
    const doc = new FakeDocument();
    assert.ok(CellUI.render(doc, 'enum', 'Other', { options: ['A', 'B'] }).classList.contains('chip-unknown'));
    assert.ok(CellUI.render(doc, 'enum', 'B', { options: ['A', 'B'] }).classList.contains('chip-1'));
  });

  test('a text with line breaks shows on one line, marked', () => {
    const node = CellUI.render(new FakeDocument(), 'text', 'one\ntwo\r\nthree');
    assert.equal(node.textContent, 'one \u21b5 two \u21b5 three');
  });

  test('an empty tree row shows the placeholder', () => {
    const node = CellUI.render(new FakeDocument(), 'tree', '', { empty: true });
    assert.equal(node.textContent, Texts.format('EmptyEntity'));
  });
});

describe('cell editors', () => {
  function open(kind, value, options = []) {
    const doc = new FakeDocument();
    const calls = [];
    const editor = CellUI.editor(doc, kind, value, options, {
      done: (v) => calls.push(['done', v]),
      cancel: () => calls.push(['cancel']),
      after: (move) => calls.push(['after', move]),
      anchor: new FakeElement(doc, 'div'),
    });
    editor.focus();
    const input = editor.element.tagName === 'INPUT' ? editor.element : elements(editor.element).find((e) => e.classList.contains('cell-editor'));
    return { doc, editor, input, calls };
  }

  test('a number is checked and written as a number text', () => {
    const { input, calls } = open('number', '1.50');
    assert.equal(input.value, '1.50');
    input.value = 'abc';
    input.fire('keydown', { key: 'Enter' });
    assert.deepEqual(calls, [], 'not a number: the editor stays open');
    assert.ok(input.classList.contains('is-invalid'));
    input.value = ' 3,25 ';
    input.fire('keydown', { key: 'Enter' });
    assert.deepEqual(calls, [['done', '3.25'], ['after', 'down']]);
    input.fire('blur');
    assert.equal(calls.length, 2, 'one answer only');
  });

  test('number texts are normalized, not rounded', () => {
    const cases = { '1.50': '1.50', '+.5': '0.5', '-.5': '-0.5', '3.': '3', '1e400': '1e400', '12345678901234567890': '12345678901234567890', '': '' };
    for (const [typed, written] of Object.entries(cases)) assert.equal(CellUI.normalizeNumber(typed), written, typed);
    for (const bad of ['1.2.3', '0x10', 'NaN', '1e', '--1']) assert.equal(CellUI.normalizeNumber(bad), null, bad);
  });

  test('text is written as typed; Escape gives up; Tab commits and moves', () => {
    let { input, calls } = open('string', 'old');
    input.value = "it's \\ <b>";
    input.fire('keydown', { key: 'Tab', shiftKey: true });
    assert.deepEqual(calls, [['done', "it's \\ <b>"], ['after', 'left']]);
    ({ input, calls } = open('string', 'old'));
    input.value = 'changed';
    input.fire('keydown', { key: 'Escape' });
    assert.deepEqual(calls, [['cancel'], ['after', null]]);
  });

  test('committing from outside (the OK button) takes the typed value', () => {
    const { editor, input, calls } = open('text', 'a');
    input.value = 'b';
    editor.commit();
    editor.commit();
    assert.deepEqual(calls, [['done', 'b']]);
  });

  test('a value with line breaks is edited in a field that keeps them', () => {
    const { input, calls } = open('text', 'one\ntwo');
    assert.equal(input.tagName, 'TEXTAREA');
    input.fire('keydown', { key: 'Enter', shiftKey: true });
    assert.deepEqual(calls, [], 'Shift+Enter is a new line');
    input.value = 'one\ntwo\nthree';
    input.fire('keydown', { key: 'Enter' });
    assert.deepEqual(calls, [['done', 'one\ntwo\nthree'], ['after', 'down']]);
  });

  test('a date editor is a date field for ISO dates, a text field otherwise', () => {
    assert.equal(open('date', '2024-02-29').input.type, 'date');
    assert.equal(open('date', '2024-02-29T10:00:00Z').input.type, 'text');
  });

  test('an enumeration is chosen from its list with the keyboard', () => {
    const options = ['NoImport', 'ForLifecycle', 'ForCoordination', 'ForDesign'];
    const { doc, input, calls } = open('enum', 'ForLifecycle', options);
    const list = doc.body.childNodes[0];
    assert.deepEqual(texts(list), options);
    input.fire('keydown', { key: 'ArrowDown' });
    assert.equal(input.value, 'ForCoordination');
    input.fire('keydown', { key: 'f' });
    input.fire('keydown', { key: 'o' });
    input.fire('keydown', { key: 'r' });
    input.fire('keydown', { key: 'd' });
    assert.equal(input.value, 'ForDesign');
    input.fire('keydown', { key: 'Enter' });
    assert.deepEqual(calls, [['done', 'ForDesign'], ['after', null]]);
    assert.equal(doc.body.childNodes.length, 0, 'the list is gone');
  });

  test('Escape leaves an enumeration as it was', () => {
    const { doc, input, calls } = open('enum', 'B', ['A', 'B']);
    input.fire('keydown', { key: 'ArrowUp' });
    input.fire('keydown', { key: 'Escape' });
    assert.deepEqual(calls, [['cancel'], ['after', null]]);
    assert.equal(doc.body.childNodes.length, 0);
  });

  test('a click on a value chooses it', () => {
    const { doc, calls } = open('enum', '', ['A', 'B', 'C']);
    doc.body.childNodes[0].childNodes[2].fire('mousedown');
    assert.deepEqual(calls, [['done', 'C'], ['after', null]]);
  });
});
