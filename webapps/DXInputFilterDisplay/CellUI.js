/*
 * CellUI - what a cell shows and how it is edited, by column kind. Document content
 * only ever reaches the page as text (textContent, input values): a label such as
 * <img src=x onerror=...> shows as written.
 */
define(['./Texts'], function (Texts) {
  'use strict';

  // Colour texts a swatch takes: hex, names, rgb()/hsl(); nothing that could be more.
  var COLOR_TEXT = /^(?:#(?:[0-9a-fA-F]{3,4}|[0-9a-fA-F]{6}|[0-9a-fA-F]{8})|[a-zA-Z]{3,20}|(?:rgb|hsl)a?\([0-9.,%\s/+-]*(?:deg)?[0-9.,%\s/+-]*\))$/;
  var LINE_BREAK = /\r\n|\r|\n/g;
  var SHORT_DATE = /^\d{4}-\d{2}-\d{2}$/;
  var NUMBER_TEXT = /^[+-]?(?:\d+(?:[.,]\d*)?|[.,]\d+)(?:[eE][+-]?\d+)?$/;

  function el(doc, tag, className, text) {
    var node = doc.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined && text !== null) node.textContent = String(text);
    return node;
  }

  // ------------------------------------------------------------ showing

  // A number as far as it means something: 3.1000000000000001 shows as 3.1. The value
  // itself is left as the document has it.
  function shortNumber(text) {
    if (!NUMBER_TEXT.test(text) || text.indexOf(',') >= 0) return text;
    var n = Number(text);
    if (!isFinite(n)) return text;
    var short = String(Number(n.toPrecision(12)));
    return short.length < text.length ? short : text;
  }

  // kind: tree, boolean, enum, number, date, color, runtime, string, text.
  // extra: { options } for enum, { empty: true } for a tree row without entity.
  function render(doc, kind, value, extra) {
    var text = value === undefined || value === null ? '' : String(value);
    extra = extra || {};
    switch (kind) {
      case 'tree':
        if (extra.empty) return el(doc, 'span', 'cell-text cell-placeholder', Texts.format('EmptyEntity'));
        return el(doc, 'span', 'cell-text cell-label', text);
      case 'boolean': {
        var box = el(doc, 'span', 'tick');
        var state = extra.mixed ? 'mixed' : text === 'true' ? 'on' : text === 'false' ? 'off' : text === '' ? 'none' : 'other';
        box.className = 'tick tick-' + state;
        if (state === 'other') {
          box.textContent = text; // neither true nor false: show what is there
        } else if (state !== 'none') {
          box.setAttribute('role', 'checkbox');
          box.setAttribute('aria-checked', state === 'mixed' ? 'mixed' : state === 'on' ? 'true' : 'false');
          box.setAttribute('aria-label', Texts.format(state === 'mixed' ? 'Mixed' : state === 'on' ? 'Yes' : 'No'));
          box.title = Texts.format(state === 'mixed' ? 'MixedTooltip' : 'TickTooltip');
        }
        return box;
      }
      case 'enum': {
        if (text === '') return el(doc, 'span', 'cell-text');
        var index = (extra.options || []).indexOf(text);
        return el(doc, 'span', 'chip ' + (index >= 0 ? 'chip-' + (index % 6) : 'chip-unknown'), text);
      }
      case 'color': {
        var wrap = el(doc, 'span', 'color-cell');
        if (text !== '') {
          var swatch = el(doc, 'span', 'swatch');
          if (COLOR_TEXT.test(text)) swatch.style.backgroundColor = text;
          // A name the browser does not know leaves the style empty.
          if (!swatch.style.backgroundColor) swatch.classList.add('swatch-unknown');
          wrap.appendChild(swatch);
        }
        wrap.appendChild(el(doc, 'span', 'cell-text', text));
        return wrap;
      }
      case 'runtime': {
        var outer = el(doc, 'span', 'runtime');
        var parts = /^(\d+) \/ (\d+)$/.exec(text);
        var fmt = extra.formatNumber;
        var shown = fmt && parts ? fmt(+parts[1]) + ' / ' + fmt(+parts[2]) : fmt && /^\d+$/.test(text) ? fmt(+text) : text;
        outer.appendChild(el(doc, 'span', 'runtime-text', shown));
        if (parts && +parts[2] > 1) {
          var bar = el(doc, 'span', 'runtime-bar');
          var fill = el(doc, 'span', 'runtime-fill');
          fill.style.width = Math.round((100 * +parts[1]) / +parts[2]) + '%';
          bar.appendChild(fill);
          outer.appendChild(bar);
        }
        return outer;
      }
      case 'number':
        return el(doc, 'span', 'cell-text cell-number', shortNumber(text));
      case 'date':
        return el(doc, 'span', 'cell-text cell-date', text);
      default:
        // One line a row: line breaks show as a mark, the value keeps them.
        return el(doc, 'span', 'cell-text', text.replace(LINE_BREAK, ' \u21b5 '));
    }
  }

  // A column header: its title and a mark of its kind.
  function renderTitle(doc, kind, title, editable) {
    var wrap = el(doc, 'span', 'col-title kind-' + kind + (editable ? ' is-editable' : ''));
    wrap.title = title; // the whole title when the column is narrow
    if (kind !== 'tree') {
      var mark = el(doc, 'span', 'kind-mark');
      mark.title = Texts.format('Kind_' + kind) + (editable ? '' : ' · ' + Texts.format('ReadOnly'));
      wrap.appendChild(mark);
    }
    wrap.appendChild(el(doc, 'span', 'col-title-text', title));
    return wrap;
  }

  // ------------------------------------------------------------ editing

  function normalizeNumber(text) {
    var t = text.trim();
    if (t === '') return '';
    if (!NUMBER_TEXT.test(t)) return null;
    // Written as a number's text: "3,5" -> "3.5", "+.5" -> "0.5", "3." -> "3".
    t = t.replace(',', '.').replace(/^\+/, '');
    t = t.replace(/^(-?)\./, '$10.').replace(/\.(?=$|[eE])/, '');
    return t;
  }

  function validate(kind, text) {
    if (kind === 'number') return normalizeNumber(text);
    return text;
  }

  // An editor for text-like kinds. done(value) commits, cancel() gives up; both once.
  // The returned element is what the cell holds; commit() commits from outside.
  function textEditor(doc, kind, value, handlers) {
    var initial = value === undefined || value === null ? '' : String(value);
    // A field of one line would drop the line breaks of a value that has some.
    var multiline = /[\r\n]/.test(initial);
    var input = el(doc, multiline ? 'textarea' : 'input', 'cell-editor' + (multiline ? ' cell-editor-lines' : ''));
    if (!multiline) input.type = kind === 'date' && (initial === '' || SHORT_DATE.test(initial)) ? 'date' : 'text';
    if (kind === 'number') input.inputMode = 'decimal';
    input.value = handlers.startText !== undefined ? handlers.startText : initial;
    input.spellcheck = false;
    input.autocomplete = 'off';
    var finished = false;
    var problem = el(doc, 'span', 'cell-problem', Texts.format('InvalidNumber'));
    problem.id = 'cell-problem';
    problem.setAttribute('role', 'alert');

    function finish(commit) {
      if (finished) return true;
      if (commit) {
        var checked = validate(kind, input.value);
        if (checked === null) {
          input.classList.add('is-invalid');
          input.title = Texts.format('InvalidNumber');
          input.setAttribute('aria-invalid', 'true');
          // Said in words beside the field, not only by its red border.
          if (!problem.parentNode && holder.parentNode) holder.parentNode.appendChild(problem);
          input.setAttribute('aria-describedby', problem.id);
          return false;
        }
        finished = true;
        handlers.done(checked);
      } else {
        finished = true;
        handlers.cancel();
      }
      return true;
    }

    input.addEventListener('keydown', function (e) {
      if (e.key === 'Enter' && multiline && e.shiftKey) {
        e.stopPropagation(); // a new line in the text
      } else if (e.key === 'Enter') {
        e.preventDefault();
        e.stopPropagation();
        if (finish(true) && handlers.after) handlers.after('down');
      } else if (e.key === 'Escape') {
        e.preventDefault();
        e.stopPropagation();
        finish(false);
        if (handlers.after) handlers.after(null);
      } else if (e.key === 'Tab') {
        e.preventDefault();
        e.stopPropagation();
        if (finish(true) && handlers.after) handlers.after(e.shiftKey ? 'left' : 'right');
      } else {
        e.stopPropagation(); // the grid's keys are not for a field being typed in
        input.classList.remove('is-invalid');
        if (problem.parentNode) problem.parentNode.removeChild(problem);
      }
    });
    input.addEventListener('blur', function () {
      if (!finish(true)) finish(false);
    });

    var holder = input;
    if (kind === 'color') {
      holder = el(doc, 'span', 'color-editor');
      var picker = el(doc, 'input', 'color-picker');
      picker.type = 'color';
      picker.tabIndex = -1;
      if (/^#[0-9a-fA-F]{6}$/.test(initial)) picker.value = initial.toLowerCase();
      picker.addEventListener('mousedown', function (e) { e.preventDefault(); picker.click(); });
      picker.addEventListener('input', function () {
        input.value = picker.value.toUpperCase();
      });
      picker.addEventListener('change', function () {
        input.value = picker.value.toUpperCase();
        input.focus();
      });
      holder.appendChild(picker);
      holder.appendChild(input);
    }
    return {
      element: holder,
      focus: function () {
        input.focus();
        if (handlers.startText === undefined && input.select) input.select();
      },
      commit: function () { if (!finish(true)) finish(false); }
    };
  }

  // The values of an enumeration in a list under the cell: arrows, Enter, a click, or
  // the first letters of a value choose; Escape leaves the value as it was.
  function listEditor(doc, value, options, handlers) {
    var current = value === undefined || value === null ? '' : String(value);
    var field = el(doc, 'input', 'cell-editor list-field');
    field.readOnly = true;
    field.value = current;
    field.setAttribute('role', 'combobox');
    field.setAttribute('aria-expanded', 'true');
    var list = el(doc, 'ul', 'list-popup');
    list.setAttribute('role', 'listbox');
    var items = options.map(function (option, k) {
      var item = el(doc, 'li', 'list-item chip-' + (k % 6), option);
      item.setAttribute('role', 'option');
      item.addEventListener('mousedown', function (e) {
        e.preventDefault();
        choose(k);
      });
      list.appendChild(item);
      return item;
    });
    var active = Math.max(0, options.indexOf(current));
    var finished = false;
    var typed = '';
    var typedAt = 0;

    function highlight(k) {
      if (!items.length) return;
      active = (k + items.length) % items.length;
      items.forEach(function (item, j) {
        item.classList.toggle('is-active', j === active);
        item.setAttribute('aria-selected', j === active ? 'true' : 'false');
      });
      field.value = options[active];
      if (items[active].scrollIntoView) items[active].scrollIntoView({ block: 'nearest' });
    }

    function close() {
      if (list.parentNode) list.parentNode.removeChild(list);
    }

    function choose(k) {
      if (finished) return;
      finished = true;
      close();
      handlers.done(options[k]);
      if (handlers.after) handlers.after(null);
    }

    function cancel() {
      if (finished) return;
      finished = true;
      close();
      handlers.cancel();
    }

    field.addEventListener('keydown', function (e) {
      e.stopPropagation();
      switch (e.key) {
        case 'ArrowDown': e.preventDefault(); highlight(active + 1); break;
        case 'ArrowUp': e.preventDefault(); highlight(active - 1); break;
        case 'Home': e.preventDefault(); highlight(0); break;
        case 'End': e.preventDefault(); highlight(items.length - 1); break;
        case 'Enter':
        case 'Tab':
          e.preventDefault();
          if (items.length) choose(active);
          else cancel();
          break;
        case 'Escape':
          e.preventDefault();
          cancel();
          if (handlers.after) handlers.after(null);
          break;
        default:
          if (e.key.length === 1) {
            var now = Date.now();
            typed = now - typedAt > 800 ? e.key.toLowerCase() : typed + e.key.toLowerCase();
            typedAt = now;
            for (var k = 0; k < options.length; k++) {
              if (options[k].toLowerCase().indexOf(typed) === 0) {
                highlight(k);
                break;
              }
            }
          }
      }
    });
    field.addEventListener('blur', cancel);

    return {
      element: field,
      focus: function () {
        var box = handlers.anchor ? handlers.anchor.getBoundingClientRect() : null;
        doc.body.appendChild(list);
        if (box) {
          list.style.minWidth = Math.max(140, box.width) + 'px';
          var below = doc.documentElement.clientHeight - box.bottom;
          var height = Math.min(items.length * 30 + 8, 260);
          list.style.left = Math.round(box.left) + 'px';
          list.style.top = Math.round(below >= height || below > box.top ? box.bottom + 2 : box.top - height - 2) + 'px';
        }
        highlight(active);
        field.focus();
      },
      commit: function () { if (items.length && options[active] !== current) choose(active); else cancel(); }
    };
  }

  function editor(doc, kind, value, options, handlers) {
    if (kind === 'enum') return listEditor(doc, value, options, handlers);
    return textEditor(doc, kind, value, handlers);
  }

  return {
    render: render,
    renderTitle: renderTitle,
    editor: editor,
    normalizeNumber: normalizeNumber
  };
});
