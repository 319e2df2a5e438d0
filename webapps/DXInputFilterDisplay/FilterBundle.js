// FilterBundle.js - the filter page's modules in one file, made by tests/webapps/pageBundle.mjs
// from the files beside it (npm run bundle-page). Do not edit: edit the modules, then make it again.
// RequireJS set-up of the filter page: the start of FilterBundle.js, which runs right
// after require.js and before any script the dialog pushes into the page.
(function () {
  'use strict';
  var here = document.currentScript ? document.currentScript.src : window.location.href;
  var webapps = new URL('../', here).href.replace(/\/$/, '');
  require.config({
    baseUrl: webapps,
    paths: {
      ZQ: webapps
    },
    waitSeconds: 30
  });
})();
// AnswerBody.js
/*
 * AnswerBody - the answer message ["tag", document] as the bytes the dialog gets, made
 * without writing the document's text anew.
 *
 * Escaping 22 MB into a JSON string and encoding it took a second or more at OK, for
 * a document of which the user changed a few hundred values. So the text as it came is
 * escaped once, in chunks, while the page is idle, and each chunk is kept as a Blob
 * (outside the script's heap). At OK only the chunks that hold a change are escaped
 * again, and the message is a Blob of those and the kept ones: byte for byte what
 * JSON.stringify(["tag", document]) would give.
 */
define("ZQ/DXInputFilterDisplay/AnswerBody", [], function () {
  'use strict';

  // Characters a chunk: small enough to escape within an idle moment (a megabyte took
  // 20-50 ms under load, and delayed the frames of a scroll).
  var CHUNK = 1 << 16;

  function escape(text) {
    return JSON.stringify(text).slice(1, -1);
  }

  // text: the document as it came; chunk: characters a chunk (tests make it small).
  function AnswerBody(text, chunk) {
    this.text = text;
    var size = chunk || CHUNK;
    var starts = [0];
    for (var at = size; at < text.length; at += size) {
      // A surrogate pair stays in one chunk: escaped apart, its halves would read as two.
      var c = text.charCodeAt(at);
      starts.push(c >= 0xdc00 && c <= 0xdfff ? at + 1 : at);
      at = starts[starts.length - 1];
    }
    this.starts = starts;
    this.blobs = new Array(starts.length);
    this.next = 0; // the first chunk not yet escaped by prepare()
  }

  AnswerBody.prototype.chunkEnd = function (c) {
    return c + 1 < this.starts.length ? this.starts[c + 1] : this.text.length;
  };

  AnswerBody.prototype.blob = function (c) {
    if (!this.blobs[c]) this.blobs[c] = new Blob([escape(this.text.slice(this.starts[c], this.chunkEnd(c)))]);
    return this.blobs[c];
  };

  // Escapes chunks while hasTime() says so; true when all are done.
  AnswerBody.prototype.prepare = function (hasTime) {
    while (this.next < this.starts.length && hasTime()) this.blob(this.next++);
    return this.next >= this.starts.length;
  };

  // Escapes everything in the page's idle time, a few chunks at a time.
  AnswerBody.prototype.prepareWhenIdle = function () {
    var self = this;
    var idle = typeof requestIdleCallback === 'function' ? requestIdleCallback : function (f) {
      return setTimeout(function () { f({ timeRemaining: function () { return 8; } }); }, 50);
    };
    function step(deadline) {
      if (!self.prepare(function () { return deadline.timeRemaining() > 6; })) idle(step);
    }
    idle(step);
  };

  // The message for the text with pieces ([start, end, text instead], in order, apart).
  AnswerBody.prototype.body = function (tag, pieces) {
    var t = this.text;
    var n = t.length;
    var parts = ['[' + JSON.stringify(String(tag)) + ',"'];
    var pos = 0;
    var p = 0;
    for (var c = 0; c < this.starts.length && pos < n; c++) {
      var end = this.chunkEnd(c);
      var last = end === n;
      if (p >= pieces.length || pieces[p][0] > end || (pieces[p][0] === end && !last)) {
        parts.push(this.blob(c));
        pos = end;
        continue;
      }
      // This chunk, and any a change runs on into, escaped again with the changes in.
      var out = [];
      while (p < pieces.length && (pieces[p][0] < end || (last && pieces[p][0] <= n))) {
        out.push(t.slice(pos, pieces[p][0]), pieces[p][2]);
        pos = pieces[p][1];
        p++;
        while (pos > end) {
          c++;
          end = this.chunkEnd(c);
          last = end === n;
        }
      }
      out.push(t.slice(pos, end));
      parts.push(escape(out.join('')));
      pos = end;
    }
    // Changes at the very end of an empty text.
    for (; p < pieces.length; p++) parts.push(escape(pieces[p][2]));
    parts.push('"]');
    return new Blob(parts, { type: 'application/json' });
  };

  return AnswerBody;
});
// CarryMarks.js
/*
 * CarryMarks - what the page shows of a carry from the last filter: a badge on the
 * entities that are new, a filter "new since the last filter", a panel listing the
 * entities that are gone, and a line with the counts. No DOM here.
 *
 * It reads the document's data.carry as the carry writes it:
 *   { from: "<old filterID>", carried: 412, new: [uid, ...], gone: [uid, ...], dropped: 0 }
 * where each uid is an entity's first uid. A document without a carry marks nothing.
 * Anything of another shape counts as absent: a count that is not a whole number of
 * zero or more is 0, and list entries that are not strings are skipped. Numbers may come
 * as numbers (JSON.parse) or as RawJson's number tokens.
 */
define("ZQ/DXInputFilterDisplay/CarryMarks", [], function () {
  'use strict';

  var ENGLISH = {
    NewBadge: 'New',
    NewBadgeTooltip: 'Not in the last filter ({0})',
    NewFilter: 'New since the last filter',
    GoneTitle: 'Gone since the last filter',
    GoneButton: 'Gone ({0})',
    GoneClose: 'Close',
    GoneNone: 'No entity of the last filter is gone.',
    GoneCount: '{0} entities of the last filter are not in this file',
    GoneCountOne: '1 entity of the last filter is not in this file',
    Summary: '{0} carried, {1} new, {2} gone, {3} dropped',
    EditsOne: '1 edit',
    Edits: '{0} edits',
    DroppedHint: '{0} of the last filter\'s edits could not be carried: their entity or column is gone, or the value no longer fits'
  };

  var texts = Object.assign({}, ENGLISH);
  var hasOwn = Object.prototype.hasOwnProperty;

  function format(key) {
    var args = Array.prototype.slice.call(arguments, 1);
    var template = hasOwn.call(texts, key) ? texts[key] : key;
    return template.replace(/\{(\d+)\}/g, function (whole, k) {
      return k < args.length ? String(args[k]) : whole;
    });
  }

  function isObject(v) {
    return v !== null && typeof v === 'object' && !Array.isArray(v);
  }

  function member(obj, key) {
    return isObject(obj) && hasOwn.call(obj, key) ? obj[key] : undefined;
  }

  // A whole number of zero or more, else 0.
  function count(v) {
    var n;
    if (typeof v === 'number') n = v;
    else if (v !== null && typeof v === 'object' && typeof v.raw === 'string' && /^[0-9]+$/.test(v.raw)) n = Number(v.raw);
    else return 0;
    return Number.isSafeInteger(n) && n >= 0 ? n : 0;
  }

  // The strings of a list, each once, in order.
  function uids(v) {
    if (!Array.isArray(v)) return [];
    var seen = new Set();
    return v.filter(function (uid) {
      if (typeof uid !== 'string' || seen.has(uid)) return false;
      seen.add(uid);
      return true;
    });
  }

  // data: the document's top-level "data" object (or undefined).
  function CarryMarks(data) {
    var carry = member(data, 'carry');
    this.present = isObject(carry);
    var from = member(carry, 'from');
    this.from = typeof from === 'string' ? from : '';
    this.newUids = uids(member(carry, 'new'));
    this.goneUids = uids(member(carry, 'gone'));
    this.newSet = new Set(this.newUids);
    this.carried = count(member(carry, 'carried'));
    this.dropped = count(member(carry, 'dropped'));
  }

  // True for an entity that the last filter did not have; uid is its first uid.
  CarryMarks.prototype.isNew = function (uid) {
    return typeof uid === 'string' && this.newSet.has(uid);
  };

  // The uids of the entities that are gone, for the panel.
  CarryMarks.prototype.gone = function () {
    return this.goneUids.slice();
  };

  CarryMarks.prototype.counts = function () {
    return { carried: this.carried, new: this.newUids.length, gone: this.goneUids.length, dropped: this.dropped };
  };

  // The badge and the filter are offered only when there is something new to show.
  CarryMarks.prototype.hasNew = function () {
    return this.newUids.length > 0;
  };

  CarryMarks.prototype.summary = function () {
    if (!this.present) return '';
    var edits = this.carried === 1 ? format('EditsOne') : format('Edits', this.carried);
    return format('Summary', edits, this.newUids.length, this.goneUids.length, this.dropped);
  };

  CarryMarks.prototype.badge = function () {
    return format('NewBadge');
  };

  CarryMarks.prototype.badgeTooltip = function () {
    return format('NewBadgeTooltip', this.from);
  };

  CarryMarks.prototype.filterLabel = function () {
    return format('NewFilter');
  };

  CarryMarks.prototype.goneClose = function () {
    return format('GoneClose');
  };

  CarryMarks.prototype.goneTitle = function () {
    return format('GoneTitle');
  };

  // The line above the panel's list.
  CarryMarks.prototype.goneText = function () {
    var n = this.goneUids.length;
    if (n === 0) return format('GoneNone');
    return n === 1 ? format('GoneCountOne') : format('GoneCount', n);
  };

  // Why some edits did not arrive; empty when all did.
  CarryMarks.prototype.droppedText = function () {
    return this.dropped > 0 ? format('DroppedHint', this.dropped) : '';
  };

  // Sets model.flags to 1 on the new entities the model has; returns how many it marked.
  // A uid several entities carry names none of them, so none is marked.
  CarryMarks.prototype.markModel = function (model) {
    model.flags.fill(0);
    var marked = 0;
    for (var k = 0; k < this.newUids.length; k++) {
      var i = model.indexOfUid(this.newUids[k]);
      if (i >= 0 && model.flags[i] === 0) {
        model.flags[i] = 1;
        marked++;
      }
    }
    return marked;
  };

  // The test of "new since the last filter", for the filter state.
  CarryMarks.newOnly = function (model) {
    return function (i) { return model.flags[i] === 1; };
  };

  CarryMarks.prototype.goneButton = function () {
    return format('GoneButton', this.goneUids.length);
  };

  // Takes a catalog's messages over the English ones; other keys are ignored.
  CarryMarks.use = function (catalog) {
    if (!isObject(catalog)) return;
    Object.keys(ENGLISH).forEach(function (key) {
      if (typeof catalog[key] === 'string') texts[key] = catalog[key];
    });
  };

  CarryMarks.reset = function () {
    texts = Object.assign({}, ENGLISH);
  };

  CarryMarks.ENGLISH = ENGLISH;
  return CarryMarks;
});
// CellUI.js
/*
 * CellUI - what a cell shows and how it is edited, by column kind. Document content
 * only ever reaches the page as text (textContent, input values): a label such as
 * <img src=x onerror=...> shows as written.
 */
define("ZQ/DXInputFilterDisplay/CellUI", ['./Texts'], function (Texts) {
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
// ContextMenu.js
/*
 * ContextMenu - a small menu of actions at a point: opened by the right button or,
 * from the keyboard, by Shift+F10 or the menu key at the cursor cell. Arrows move,
 * Enter chooses, Escape closes and gives the focus back.
 */
define("ZQ/DXInputFilterDisplay/ContextMenu", [], function () {
  'use strict';

  var open = null;

  function close() {
    if (!open) return;
    var current = open;
    open = null;
    current.element.remove();
    current.doc.removeEventListener('mousedown', current.outside, true);
    if (current.returnFocus) current.returnFocus();
  }

  // items: [{ label, action } | { separator: true }]; returns the menu element.
  function show(doc, items, x, y, label, returnFocus) {
    close();
    var menu = doc.createElement('div');
    menu.className = 'context-menu';
    menu.setAttribute('role', 'menu');
    menu.setAttribute('aria-label', label);
    var buttons = [];
    items.forEach(function (item) {
      if (item.separator) {
        var line = doc.createElement('div');
        line.className = 'context-separator';
        line.setAttribute('role', 'separator');
        menu.appendChild(line);
        return;
      }
      var button = doc.createElement('button');
      button.type = 'button';
      button.className = 'context-item';
      button.setAttribute('role', 'menuitem');
      button.tabIndex = -1;
      button.textContent = item.label;
      button.addEventListener('click', function () {
        close();
        item.action();
      });
      menu.appendChild(button);
      buttons.push(button);
    });
    menu.addEventListener('keydown', function (e) {
      var at = buttons.indexOf(doc.activeElement);
      if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
        e.preventDefault();
        var step = e.key === 'ArrowDown' ? 1 : -1;
        buttons[(at + step + buttons.length) % buttons.length].focus();
      } else if (e.key === 'Escape' || e.key === 'Tab') {
        e.preventDefault();
        close();
      } else if (e.key === 'Home' || e.key === 'End') {
        e.preventDefault();
        buttons[e.key === 'Home' ? 0 : buttons.length - 1].focus();
      }
      e.stopPropagation();
    });
    doc.body.appendChild(menu);
    var width = menu.offsetWidth;
    var height = menu.offsetHeight;
    var maxX = doc.documentElement.clientWidth - width - 4;
    var maxY = doc.documentElement.clientHeight - height - 4;
    menu.style.left = Math.max(4, Math.min(x, maxX)) + 'px';
    menu.style.top = Math.max(4, Math.min(y, maxY)) + 'px';
    var outside = function (e) {
      if (!menu.contains(e.target)) close();
    };
    doc.addEventListener('mousedown', outside, true);
    open = { element: menu, doc: doc, outside: outside, returnFocus: returnFocus };
    if (buttons.length) buttons[0].focus();
    return menu;
  }

  return { show: show, close: close, isOpen: function () { return !!open; } };
});
// DocumentIndex.js
/*
 * DocumentIndex - where each node of a filter document is in its text, found in one
 * pass without building the tree.
 *
 * Parsing a 100,000-entity document into objects takes seconds, and the page shows
 * only a few dozen rows at a time. So the text stays as it came; this pass notes, per
 * node in pre-order, its parent, depth and the spans of its "label", "data" and
 * "grid" values, and picks out of each grid the few values the page needs for every
 * entity at once (the import tick, the type), with where each of them is in the text.
 * A node's values are parsed when asked.
 *
 * The pass checks the structure it walks (brackets, strings, separators); values it
 * skips are checked when they are parsed.
 */
define("ZQ/DXInputFilterDisplay/DocumentIndex", [], function () {
  'use strict';

  var QUOTE = 34;
  var BACKSLASH = 92;
  var COMMA = 44;
  var COLON = 58;
  var OPEN_OBJECT = 123;
  var CLOSE_OBJECT = 125;
  var OPEN_ARRAY = 91;
  var CLOSE_ARRAY = 93;

  function fail(text, at, what) {
    var line = 1;
    var column = 1;
    // Positions in a one-line document of megabytes say more than lines.
    if (at < 1e6) {
      for (var k = 0; k < at; k++) {
        if (text.charCodeAt(k) === 10) {
          line++;
          column = 1;
        } else {
          column++;
        }
      }
      throw new SyntaxError(what + ' at line ' + line + ', column ' + column);
    }
    throw new SyntaxError(what + ' at character ' + at);
  }

  // wanted: grid keys whose values are collected for every node, e.g. ["Import", "Type"],
  // or a function that picks them from the columns' text when the pass meets it (the
  // generator writes the columns before the roots).
  function build(text, wanted) {
    if (typeof text !== 'string') throw new TypeError('JSON text expected');
    var chooser = typeof wanted === 'function' ? wanted : null;
    wanted = chooser ? [] : wanted || [];
    var n = text.length;
    var i = 0;

    function ws() {
      var c = text.charCodeAt(i);
      while (c === 32 || c === 10 || c === 13 || c === 9) c = text.charCodeAt(++i);
      return c;
    }

    // From an opening quote to just after the closing one.
    function skipString() {
      var p = i;
      for (;;) {
        var q = text.indexOf('"', p + 1);
        if (q < 0) fail(text, i, 'unterminated string');
        var b = q - 1;
        while (text.charCodeAt(b) === BACKSLASH) b--;
        if (((q - 1 - b) & 1) === 0) {
          i = q + 1;
          return;
        }
        p = q;
      }
    }

    // A string's value, decoded only when it has escapes.
    function readString() {
      var start = i;
      skipString();
      var raw = text.slice(start + 1, i - 1);
      if (raw.indexOf('\\') < 0) {
        for (var k = 0; k < raw.length; k++) {
          if (raw.charCodeAt(k) < 32) fail(text, start + 1 + k, 'control character in a string');
        }
        return raw;
      }
      try {
        return JSON.parse(text.slice(start, i));
      } catch (e) {
        return fail(text, start, 'bad escape in a string');
      }
    }

    function skipValue() {
      var c = ws();
      if (c === QUOTE) return skipString();
      if (c === OPEN_OBJECT || c === OPEN_ARRAY) {
        var depth = 0;
        for (;;) {
          c = text.charCodeAt(i);
          if (c === QUOTE) {
            skipString();
            continue;
          }
          if (c === OPEN_OBJECT || c === OPEN_ARRAY) depth++;
          else if (c === CLOSE_OBJECT || c === CLOSE_ARRAY) {
            depth--;
            if (depth === 0) {
              i++;
              return;
            }
          } else if (i >= n) fail(text, i, 'unexpected end');
          i++;
        }
      }
      var start = i;
      while (i < n) {
        c = text.charCodeAt(i);
        if (c === COMMA || c === CLOSE_OBJECT || c === CLOSE_ARRAY || c === 32 || c === 10 || c === 13 || c === 9) break;
        i++;
      }
      var token = text.slice(start, i);
      if (!/^(?:true|false|null|-?(?:0|[1-9]\d*)(?:\.\d+)?(?:[eE][+-]?\d+)?)$/.test(token)) fail(text, start, 'unexpected ' + (token || 'end'));
    }

    function expect(code, what) {
      if (ws() !== code) fail(text, i, 'expected ' + what);
      i++;
    }

    var parent = [];
    var depth = [];
    var pos = [];
    var end = [];
    var nodeStart = [];
    var labelAt = [];
    var labelEnd = [];
    var dataAt = [];
    var dataEnd = [];
    var gridAt = [];
    var gridEnd = [];
    var memberCount = [];
    var values = wanted.map(function () { return []; });
    var valueAt = wanted.map(function () { return []; });
    var rootsSeen = false;
    var roots = [];
    var maxDepth = 0;

    // The key at i (an opening quote): its index in `keys` when it is one of them
    // (compared in place, no copy), else -1; i is then after the key.
    function keyOf(keys) {
      var at = i;
      skipString();
      var length = i - at;
      for (var k = 0; k < keys.length; k++) {
        if (keys[k].length === length && text.startsWith(keys[k], at)) return k;
      }
      var escaped = false;
      for (var b = at + 1; b < i - 1 && !escaped; b++) escaped = text.charCodeAt(b) === BACKSLASH;
      if (escaped) {
        // An escaped spelling of a key still names it.
        var decoded = '"' + JSON.parse(text.slice(at, i)) + '"';
        for (k = 0; k < keys.length; k++) if (keys[k] === decoded) return k;
      }
      return -1;
    }

    // After a member's value: true at the object's end.
    function nextMember() {
      var c = ws();
      i++;
      if (c === CLOSE_OBJECT) return false;
      if (c !== COMMA) fail(text, i - 1, 'expected , or }');
      if (ws() !== QUOTE) fail(text, i, 'expected a key');
      return true;
    }

    function openObject() {
      expect(OPEN_OBJECT, '{');
      if (ws() === CLOSE_OBJECT) {
        i++;
        return false;
      }
      if (text.charCodeAt(i) !== QUOTE) fail(text, i, 'expected a key');
      return true;
    }

    var NODE_KEYS = ['"label"', '"data"', '"grid"', '"children"'];
    var gridKeys = wanted.map(function (key) { return '"' + key + '"'; });

    function gridValues(node) {
      if (!openObject()) return;
      do {
        var k = keyOf(gridKeys);
        expect(COLON, ':');
        if (k >= 0 && ws() === QUOTE) {
          // Where the value's token is, so an edit can be written in place; a key seen
          // twice in one grid (-2) is left to the full parse.
          valueAt[k][node] = valueAt[k][node] === -1 ? i : -2;
          values[k][node] = readString();
        } else {
          skipValue();
        }
      } while (nextMember());
    }

    function nodeList(parentIndex, level) {
      expect(OPEN_ARRAY, '[');
      if (ws() === CLOSE_ARRAY) {
        i++;
        return;
      }
      var k = 0;
      for (;;) {
        ws();
        var node = parent.length;
        parent.push(parentIndex);
        depth.push(level);
        pos.push(k++);
        end.push(0);
        nodeStart.push(i);
        labelAt.push(-1);
        labelEnd.push(-1);
        dataAt.push(-1);
        dataEnd.push(-1);
        gridAt.push(-1);
        gridEnd.push(-1);
        memberCount.push(0);
        for (var w = 0; w < values.length; w++) {
          values[w].push(undefined);
          valueAt[w].push(-1);
        }
        if (parentIndex < 0) roots.push(node);
        if (level > maxDepth) maxDepth = level;
        if (text.charCodeAt(i) === OPEN_OBJECT) {
          var count = 0;
          if (openObject()) {
            do {
              count++;
              var key = keyOf(NODE_KEYS);
              expect(COLON, ':');
              var c = ws();
              var at = i;
              if (key === 0) {
                labelAt[node] = at;
                skipValue();
                labelEnd[node] = i;
              } else if (key === 1 && c === OPEN_OBJECT) {
                dataAt[node] = at;
                skipValue();
                dataEnd[node] = i;
              } else if (key === 2 && c === OPEN_OBJECT) {
                gridAt[node] = at;
                if (values.length) gridValues(node);
                else skipValue();
                gridEnd[node] = i;
              } else if (key === 3 && c === OPEN_ARRAY) {
                nodeList(node, level + 1);
              } else {
                skipValue();
              }
            } while (nextMember());
          }
          memberCount[node] = count;
        } else {
          skipValue(); // not an object: shown as no entity
        }
        end[node] = parent.length;
        var next = ws();
        i++;
        if (next === CLOSE_ARRAY) return;
        if (next !== COMMA) fail(text, i - 1, 'expected , or ]');
      }
    }

    var top = { dataAt: -1, dataEnd: -1, columnsAt: -1, columnsEnd: -1 };
    var TOP_KEYS = ['"roots"', '"data"', '"columns"'];
    if (openObject()) {
      do {
        var key = keyOf(TOP_KEYS);
        expect(COLON, ':');
        var c = ws();
        var at = i;
        if (key === 0 && c === OPEN_ARRAY) {
          rootsSeen = true;
          nodeList(-1, 0);
        } else if (key === 1 && c === OPEN_OBJECT) {
          top.dataAt = at;
          skipValue();
          top.dataEnd = i;
        } else if (key === 2) {
          top.columnsAt = at;
          skipValue();
          top.columnsEnd = i;
          if (chooser) {
            var keys = chooser(text.slice(at, i));
            chooser = null;
            if (!rootsSeen && Array.isArray(keys)) {
              // Keys that need escapes in JSON are read from the parsed grid instead.
              wanted = keys.filter(function (k) { return JSON.stringify(k) === '"' + k + '"'; });
              gridKeys = wanted.map(function (k) { return '"' + k + '"'; });
              values = wanted.map(function () { return []; });
              valueAt = wanted.map(function () { return []; });
            }
          }
        } else {
          skipValue();
        }
      } while (nextMember());
    }
    if (chooser) chooser(null);
    ws();
    if (i < n) fail(text, i, 'text after the document');

    return {
      size: parent.length,
      parent: Int32Array.from(parent),
      depth: Int32Array.from(depth),
      pos: Int32Array.from(pos),
      end: Int32Array.from(end),
      nodeStart: Int32Array.from(nodeStart),
      labelAt: Int32Array.from(labelAt),
      labelEnd: Int32Array.from(labelEnd),
      dataAt: Int32Array.from(dataAt),
      dataEnd: Int32Array.from(dataEnd),
      gridAt: Int32Array.from(gridAt),
      gridEnd: Int32Array.from(gridEnd),
      memberCount: Int32Array.from(memberCount),
      wanted: wanted,
      values: values,
      valueAt: valueAt.map(function (at) { return Int32Array.from(at); }),
      roots: roots,
      maxDepth: maxDepth,
      top: top
    };
  }

  return { build: build };
});
// Filter.js
/*
 * Filter - the page's face to the dialog.
 *
 *   init(text)          the filter document, as JSON text; before or after the page is up
 *   sendNewJson(tag)    posts [tag, the document as JSON text]
 *   registerInteractions(services)   test mode: user interactions are reported through
 *                       services.report(text) (see SelectiveWebUI_TST/InputFilteringSimulateScenario)
 *   simulate(text)      replays one reported interaction
 *
 * Runtime columns show, per entity, the entities of its subtree (itself included) that
 * will be imported out of all of them, e.g. "12 / 40": an entity will be imported when
 * its first boolean column holds "true". Without a boolean column they show the number
 * of entities of the subtree. See FilterModel.
 *
 * Every change of the document goes through perform(): the view calls it for what the
 * user does, simulate() for replays. Replays are not reported again.
 *
 * The edits of a dialog are kept in the tab's session storage as they are made, and
 * made again when the same document comes back to the same dialog (a reload): a
 * reload does not lose them. OK, once the answer is sent, forgets them.
 */
define("ZQ/DXInputFilterDisplay/Filter", ['require', './FilterModel', './FilterState', './Interaction', './Nls', './Texts', './CarryMarks', './AnswerBody'], function (
  localRequire, FilterModel, FilterState, Interaction, Nls, Texts, CarryMarks, AnswerBody) {
  'use strict';

  var CATALOG_TIMEOUT_MS = 3000;
  var EDIT_ACTIONS = { edit: 1, subtree: 1, rows: 1, undo: 1 };
  var START_LEVEL = 3; // project, site and building open: the storeys show, closed

  var sourceText = null;
  var model = null;
  var state = null;
  var error = null;
  var currentView = null;
  var recorder = null;
  var loaded = null; // promise of the current document's load
  var resolveFirstDocument;
  // Replays may come before the document: the dialog's script that gives it waits for
  // more modules (test mode) than a replay's script does.
  var firstDocument = new Promise(function (resolve) { resolveFirstDocument = resolve; });
  var pageTexts = null; // promise of the page's own catalog
  var restoring = false; // edits of an earlier load are being made again
  var sourcePrint = null; // fingerprint(sourceText), made once a document
  var kept = null; // what the storage holds for this document, as written last
  var answer = null; // the answer's message, made ready while the page is idle

  // ------------------------------------------------------------ kept edits

  function storage() {
    try {
      return typeof sessionStorage !== 'undefined' ? sessionStorage : null;
    } catch (e) {
      return null; // storage refused (privacy settings): edits are not kept
    }
  }

  // One key per dialog: the dialog's address holds its own token.
  function storageKey() {
    var where = typeof location !== 'undefined' ? location.pathname : '';
    return 'dx.filter.edits:' + where;
  }

  // Says whether a kept list of edits belongs to this document: its length and a
  // sample of its characters.
  function fingerprint(text) {
    var hash = 2166136261;
    var step = Math.max(1, Math.floor(text.length / 4096));
    for (var k = 0; k < text.length; k += step) hash = Math.imul(hash ^ text.charCodeAt(k), 16777619) >>> 0;
    return text.length + ':' + hash.toString(16);
  }

  function keptEdits() {
    var store = storage();
    if (!store) return null;
    try {
      var kept = JSON.parse(store.getItem(storageKey()) || 'null');
      return kept && typeof kept.doc === 'string' && Array.isArray(kept.actions) ? kept : null;
    } catch (e) {
      return null;
    }
  }

  function documentPrint() {
    if (sourcePrint === null) sourcePrint = fingerprint(sourceText);
    return sourcePrint;
  }

  // Read once a document, then written from memory: an edit costs no parse of the list.
  function keepEdit(text) {
    var store = storage();
    if (!store || !sourceText) return;
    var doc = documentPrint();
    if (!kept) kept = keptEdits();
    if (!kept || kept.doc !== doc) kept = { doc: doc, actions: [] };
    kept.actions.push(text);
    try {
      store.setItem(storageKey(), JSON.stringify(kept));
    } catch (e) {
      // over the storage's quota: what is kept stays as it was
    }
  }

  function forgetEdits() {
    kept = null;
    var store = storage();
    if (store) store.removeItem(storageKey());
  }

  // Makes the kept edits of this document again; replays that no longer apply are skipped.
  function restoreEdits() {
    var stored = keptEdits();
    if (!stored || stored.doc !== documentPrint()) return 0;
    var count = 0;
    restoring = true;
    try {
      stored.actions.forEach(function (text) {
        try {
          if (apply(Interaction.decode(text))) count++;
        } catch (e) {
          // an action that no longer names an entity
        }
      });
    } finally {
      restoring = false;
    }
    return count;
  }

  function bridge() {
    if (typeof window !== 'undefined' && window.qor) return window.qor;
    return null;
  }

  function post(message) {
    var qor = bridge();
    if (!qor || typeof qor.post !== 'function') return;
    var sent = qor.post(message);
    // A closed dialog refuses messages; nothing on the page can do better than say so.
    if (sent && typeof sent.catch === 'function') {
      sent.catch(function (e) {
        if (typeof console !== 'undefined') console.warn(e && e.message ? e.message : e);
      });
    }
    return sent;
  }

  function loadPageTexts() {
    if (!pageTexts) {
      pageTexts = Nls.loadCatalogs([Texts.CATALOG], bridge(), CATALOG_TIMEOUT_MS).then(function (catalogs) {
        Texts.use(catalogs[Texts.CATALOG]);
        CarryMarks.use(catalogs[Texts.CATALOG]);
      });
    }
    return pageTexts;
  }

  function init(text) {
    if (typeof performance !== 'undefined' && performance.mark) performance.mark('filter-init');
    sourceText = typeof text === 'string' ? text : String(text);
    sourcePrint = null;
    kept = null;
    answer = null;
    model = null;
    state = null;
    error = null;
    var parsed;
    var early = { names: [], catalogs: Promise.resolve({}) };
    try {
      parsed = new FilterModel(sourceText, {
        onColumns: function (names) {
          early = { names: names, catalogs: Nls.loadCatalogs(names, bridge(), CATALOG_TIMEOUT_MS) };
        }
      });
    } catch (e) {
      error = e && e.message ? e.message : String(e);
    }
    var others = parsed ? parsed.catalogNames().filter(function (name) { return early.names.indexOf(name) < 0; }) : [];
    var current = (loaded = Promise.all([
      early.catalogs,
      Nls.loadCatalogs(others, bridge(), CATALOG_TIMEOUT_MS),
      loadPageTexts()
    ]).then(function (results) {
      if (current !== loaded) return; // a newer document came meanwhile
      if (parsed) {
        parsed.resolver = new Nls.Resolver(Object.assign({}, results[0], results[1]));
        model = parsed;
        state = new FilterState(model);
        state.expandToLevel(START_LEVEL);
        restoreEdits();
      }
      if (currentView) currentView.showDocument();
      if (parsed && typeof Blob === 'function') {
        answer = new AnswerBody(sourceText);
        answer.prepareWhenIdle();
      }
    }));
    resolveFirstDocument();
    return current;
  }

  // The page calls this once its DOM is there; the view is loaded only in a browser.
  function attach(root) {
    // The view's modules load while the page's texts come.
    var viewModule = new Promise(function (resolve, reject) {
      localRequire(['./FilterView'], resolve, reject);
    });
    return Promise.all([viewModule, loadPageTexts()]).then(function (loaded) {
      var FilterView = loaded[0];
      currentView = new FilterView(root, api);
      if (model || error) currentView.showDocument();
      return currentView;
    });
  }

  // Returns the document's text when it was made as one string.
  function sendNewJson(tag) {
    var view = currentView;
    if (view) view.commitEditing();
    var qor = bridge();
    var text;
    var sent;
    if (model && answer && qor && typeof qor.postJson === 'function') {
      // Only the changed parts are written and escaped anew: see AnswerBody.
      sent = qor.postJson(answer.body(String(tag), model.answerPieces()));
      if (sent && typeof sent.catch === 'function') {
        sent.catch(function (e) {
          if (typeof console !== 'undefined') console.warn(e && e.message ? e.message : e);
        });
      }
    } else {
      text = model ? model.serialize() : sourceText !== null ? sourceText : '';
      sent = post([String(tag), text]);
    }
    if (String(tag) === 'onOkClick' && sent && typeof sent.then === 'function') sent.then(forgetEdits, function () {});
    if (model) model.markSent();
    if (view) view.showStatus();
    return text;
  }

  // Test mode from here on; services without report() still get the interactions posted.
  function registerInteractions(services) {
    recorder = services && typeof services.report === 'function' ? services : {
      report: function (text) { post(['registerInteraction', text]); }
    };
  }

  function entityAt(path) {
    var i = model.indexOf(path);
    if (i < 0) throw new Error('no entity at ' + JSON.stringify(path));
    return i;
  }

  // The entity an interaction names: by its uid when it has one (-1 when this model
  // holds no such entity), else by its path.
  function entityOf(path, uid) {
    if (uid === undefined || uid === null) return entityAt(path);
    var i = model.indexOfUid(uid);
    return i === -2 ? entityAt(path) : i; // a uid several entities carry says nothing
  }

  // The action with the uids of the entities it names, as it is applied and reported.
  function withUids(action) {
    if (!model || action.u !== undefined) return action;
    switch (action.t) {
      case 'edit':
      case 'subtree':
      case 'expand':
      case 'collapse': {
        var uid = model.uidOf(entityAt(action.n));
        return uid ? Object.assign({}, action, { u: uid }) : action;
      }
      case 'rows': {
        var uids = action.n.map(function (path) { return model.uidOf(entityAt(path)); });
        return uids.some(Boolean) ? Object.assign({}, action, { u: uids }) : action;
      }
      default:
        return action;
    }
  }

  function columnNamed(name) {
    var column = model.column(name);
    if (!column) throw new Error('no column ' + name);
    return column;
  }

  // Applies an interaction to the document and the view; true when something changed.
  function apply(action) {
    if (!model) return false;
    var view = restoring ? null : currentView;
    var changed = null;
    var i;
    switch (action.t) {
      case 'edit':
      case 'subtree': {
        var target = columnNamed(action.c);
        i = entityOf(action.n, action.u);
        if (i < 0) return false;
        changed = model.applyEdits(action.t === 'edit'
          ? [{ index: i, column: target, value: action.v }]
          : model.subtreeEdits(i, target, action.v));
        break;
      }
      case 'rows': {
        var column = columnNamed(action.c);
        var edits = [];
        action.n.forEach(function (path, k) {
          var j = entityOf(path, action.u ? action.u[k] : undefined);
          if (j >= 0) edits.push({ index: j, column: column, value: action.v });
        });
        changed = model.applyEdits(edits);
        break;
      }
      case 'undo':
        changed = model.undo();
        break;
      case 'expand':
      case 'collapse': {
        i = entityOf(action.n, action.u);
        if (i < 0) return false;
        var open = action.t === 'expand';
        if (action.s) {
          if (!model.hasChildren(i)) return false;
          state.setSubtreeExpanded(i, open);
          if (view) view.showTree();
        } else {
          if (!model.hasChildren(i) || state.isExpanded(i) === open) return false;
          state.setExpanded(i, open);
          if (view) view.showExpansion(i, open);
        }
        return true;
      }
      case 'level':
        state.expandToLevel(action.d < 0 ? model.maxDepth + 1 : action.d);
        if (view) view.showTree();
        return true;
      default:
        return false;
    }
    if (!changed) return false;
    if (view) view.showValues(changed);
    return true;
  }

  // What the user did, through the view: applied, then reported in test mode.
  function perform(action) {
    Interaction.validate(action);
    // Only a recording needs the uids; finding them costs a pass over the document.
    var named = recorder ? withUids(action) : action;
    var done = apply(named);
    if (done && EDIT_ACTIONS[named.t]) keepEdit(Interaction.encode(named));
    if (done && recorder) recorder.report(Interaction.encode(named));
    return done;
  }

  function simulate(text) {
    var action = Interaction.decode(text);
    return firstDocument.then(function () {
      return loaded;
    }).then(function () {
      return apply(action);
    });
  }

  var api = {
    init: init,
    sendNewJson: sendNewJson,
    registerInteractions: registerInteractions,
    simulate: simulate,
    attach: attach,
    perform: perform,
    post: post,
    // What the view reads.
    model: function () { return model; },
    state: function () { return state; },
    error: function () { return error; },
    isDirty: function () { return !!model && model.isDirty(); }
  };
  return api;
});
// FilterModel.js
/*
 * FilterModel - the filter document as the page edits it. No DOM here.
 *
 * The text stays as it came (DocumentIndex notes where each node is); a node's values
 * are parsed when the page asks for them, and an edited node's "grid" and "data" are
 * written back into the text on answer, so whatever the user did not edit comes back
 * byte for byte. Entities are numbered in pre-order: the subtree of entity i is
 * i .. end[i]-1, which makes subtree edits and counts plain index ranges.
 *
 * A cell's value is in the node's data.NLS_grid (an NLS text) or in its grid (a
 * literal), never both. An edit writes the grid and drops the NLS_grid entry: the
 * reader looks at NLS_grid first, so a stale entry there would hide the edit.
 *
 * Every other boolean column keeps, per subtree, how many entities hold "true" and how
 * many "false": a parent shows a mixed box in any boolean column where both occur.
 * Entities without the cell count in neither.
 *
 * Runtime columns are computed here: per entity, how many entities of its subtree
 * (itself included) will be imported, out of how many, as "12 / 40". An entity will
 * be imported when the value of the first boolean column is "true". Without a boolean
 * column the text is the number of entities of the subtree. Empty nodes ({}) stand for
 * no entity: they are not counted and cannot be edited.
 *
 * A value the first pass collected (the ticks, the type) is edited in place where it
 * can be: the node is not parsed, the new value goes into the collected values, and
 * on answer only its string token is written anew. A tick on a storey of 800 elements
 * costs no parse. Nodes with NLS cells, or already parsed for another edit, take the
 * full road. A node whose other values do not parse can still have such a value
 * changed: nothing else of it is touched.
 *
 * The answer also records the user's edits in data.userEdits: first uid -> column ->
 * value, merged over those a carried document already holds.
 */
define("ZQ/DXInputFilterDisplay/FilterModel", ['./RawJson', './Nls', './DocumentIndex'], function (RawJson, Nls, DocumentIndex) {
  'use strict';

  var get = RawJson.getMember;
  var has = RawJson.hasMember;
  var isObject = RawJson.isObject;

  var REPRESENTATIONS = { string: 'string', boolean: 'boolean', number: 'number', date: 'date', color: 'color' };
  var TYPE_COLUMN = 'Type';
  var NAME_COLUMN = 'Name';
  var SUPERTYPES_KEY = 'supertypes';
  // Parsed nodes kept for the rows in sight, in two generations: when the newer one is
  // full it becomes the older one, so a scroll never finds the whole cache gone at once.
  // Edited nodes are kept for good.
  var CACHE_LIMIT = 2000;

  function text(value) {
    if (typeof value === 'string') return value;
    if (value === undefined || value === null) return '';
    return RawJson.stringify(value);
  }

  function readColumn(def, index) {
    var data = isObject(get(def, 'data')) ? get(def, 'data') : {};
    var name = text(get(def, 'dataIndex'));
    var type = get(data, 'type');
    var representation = get(def, 'typeRepresentation');
    var kind;
    if (index === 0) kind = 'tree';
    else if (type === 'runtime') kind = 'runtime';
    else if (type === 'enum') kind = 'enum';
    else if (typeof representation === 'string' && REPRESENTATIONS[representation]) kind = REPRESENTATIONS[representation];
    else kind = 'text';
    var possible = get(data, 'possibleValues');
    return {
      index: index,
      name: name,
      field: 'c' + index,
      title: text(get(data, 'NLS_text')) || name,
      kind: kind,
      editable: get(def, 'editableFlag') === true && kind !== 'tree' && kind !== 'runtime',
      options: kind === 'enum' && Array.isArray(possible) ? possible.map(text) : []
    };
  }

  // Just after the string token that opens at `at`.
  function stringEnd(t, at) {
    var q = at;
    for (;;) {
      q = t.indexOf('"', q + 1);
      var b = q - 1;
      while (t.charCodeAt(b) === 92) b--;
      if (((q - 1 - b) & 1) === 0) return q + 1;
    }
  }

  // A JSON string token's value; plain ones without a parse.
  function stringToken(token) {
    if (token.charCodeAt(0) !== 34) return undefined;
    if (token.indexOf('\\') < 0) return token.slice(1, -1);
    return JSON.parse(token);
  }

  function FilterModel(sourceText, options) {
    options = options || {};
    this.text = sourceText;
    this.resolver = options.resolver || new Nls.Resolver({});
    var self = this;
    var index = DocumentIndex.build(sourceText, function (columnsText) {
      self.readColumns(columnsText);
      // The columns come first: their catalogs can be on their way while the rest is read.
      if (options.onColumns) options.onColumns(self.columnCatalogs());
      return self.wantedKeys();
    });
    if (!this.columns) this.readColumns(null);
    this.index = index;
    this.topData = index.top.dataAt >= 0
      ? RawJson.parse(sourceText.slice(index.top.dataAt, index.top.dataEnd)) : null;

    var n = index.size;
    this.size = n;
    this.parent = index.parent;
    this.depth = index.depth;
    this.pos = index.pos;
    this.end = index.end;
    this.roots = index.roots;
    this.maxDepth = index.maxDepth;
    this.cache = new Map(); // entity -> parsed node values
    this.olderCache = new Map();
    this.pinned = new Map(); // entity -> parsed node values that edits changed
    this.labels = new Array(n); // shown labels, filled as asked
    this.renamed = new Map(); // entity -> true when its label follows its edited name

    // Nodes with NLS cells are read the slow way: their values are not in the grid.
    var nls = new Uint8Array(n);
    var dataAt = index.dataAt;
    var dataEnd = index.dataEnd;
    for (var d = 0; d < n; d++) {
      if (dataAt[d] >= 0 && sourceText.slice(dataAt[d], dataEnd[d]).indexOf('"NLS_') >= 0) nls[d] = 1;
    }
    this.nls = nls;

    this.entity = new Uint8Array(n);
    for (var i = 0; i < n; i++) {
      this.entity[i] = sourceText.charCodeAt(index.nodeStart[i]) === 123 && index.memberCount[i] > 0 ? 1 : 0;
    }
    // Values every entity needs at once: the import tick and the type.
    this.gridValues = {};
    this.valueAt = {}; // key -> where each node's value token is (-1 none, -2 not in place)
    var keys = index.wanted;
    for (var k = 0; k < keys.length; k++) {
      this.gridValues[keys[k]] = index.values[k];
      this.valueAt[keys[k]] = index.valueAt[k];
    }
    this.inPlace = new Set(); // entities with values edited in place

    this.importFlag = new Uint8Array(n);
    this.totalCount = new Int32Array(n);
    this.importCount = new Int32Array(n);
    for (i = 0; i < n; i++) this.importFlag[i] = this.entity[i] && this.computeImportFlag(i) ? 1 : 0;
    for (i = n - 1; i >= 0; i--) {
      this.totalCount[i] += this.entity[i];
      this.importCount[i] += this.importFlag[i];
      var p = this.parent[i];
      if (p >= 0) {
        this.totalCount[p] += this.totalCount[i];
        this.importCount[p] += this.importCount[i];
      }
    }

    this.boolCounts = new Map(); // column -> { value, on, off } (see countBooleans)
    for (var c = 1; c < this.columns.length; c++) {
      if (this.columns[c].kind === 'boolean' && this.columns[c] !== this.boolColumn) this.countBooleans(this.columns[c]);
    }

    // Per-entity flags and a predicate slot for views that mark entities (e.g. new ones).
    this.flags = new Uint8Array(n);

    this.undoStack = [];
    this.editedCells = new Map(); // "entity column" -> edits not undone
    this.nextGroupId = 1;
    this.sentGroupId = 0;
    this.uidIndex = null; // uid -> entity, made when first asked
    this.typeIndex = null;
  }

  FilterModel.prototype.readColumns = function (columnsText) {
    var defs = null;
    if (columnsText !== null) {
      try {
        defs = RawJson.parse(columnsText);
      } catch (e) {
        defs = null;
      }
    }
    this.columns = Array.isArray(defs) ? defs.map(readColumn) : [];
    if (!this.columns.length) {
      this.columns.push({ index: 0, name: 'tree', field: 'c0', title: '', kind: 'tree', editable: false, options: [] });
    }
    this.columnByName = new Map();
    for (var c = 0; c < this.columns.length; c++) {
      if (!this.columnByName.has(this.columns[c].name)) this.columnByName.set(this.columns[c].name, this.columns[c]);
    }
    this.boolColumn = null;
    for (c = 1; c < this.columns.length; c++) {
      if (this.columns[c].kind === 'boolean') {
        this.boolColumn = this.columns[c];
        break;
      }
    }
    this.typeColumn = this.columnByName.get(TYPE_COLUMN) || null;
    if (this.typeColumn && this.typeColumn.kind === 'tree') this.typeColumn = null;
    this.nameColumn = this.columnByName.get(NAME_COLUMN) || null;
  };

  // The values the first pass collects for every entity: the boolean columns' (the
  // import tick and the mixed boxes) and the type.
  FilterModel.prototype.wantedKeys = function () {
    var keys = [];
    function want(column) {
      if (column && keys.indexOf(column.name) < 0) keys.push(column.name);
    }
    want(this.boolColumn);
    want(this.typeColumn);
    this.columns.forEach(function (column) {
      if (column.kind === 'boolean') want(column);
    });
    return keys;
  };

  // value[i]: 1 "true", 2 "false", 0 anything else; on[i] and off[i]: the subtree's
  // entities (i included) holding "true" and "false".
  FilterModel.prototype.countBooleans = function (column) {
    var n = this.size;
    var counts = { value: new Uint8Array(n), on: new Int32Array(n), off: new Int32Array(n) };
    var i;
    for (i = 0; i < n; i++) counts.value[i] = this.booleanCode(i, column);
    for (i = n - 1; i >= 0; i--) {
      if (counts.value[i] === 1) counts.on[i]++;
      else if (counts.value[i] === 2) counts.off[i]++;
      var p = this.parent[i];
      if (p >= 0) {
        counts.on[p] += counts.on[i];
        counts.off[p] += counts.off[i];
      }
    }
    this.boolCounts.set(column, counts);
  };

  FilterModel.prototype.booleanCode = function (i, column) {
    if (!this.entity[i]) return 0;
    var source = this.cellSource(i, column);
    return !source ? 0 : source.text === 'true' ? 1 : source.text === 'false' ? 2 : 0;
  };

  // The node's own values, parsed: { label, data, grid } (each undefined when absent).
  FilterModel.prototype.own = function (i) {
    var o = this.pinned.get(i) || this.cache.get(i);
    if (o) return o;
    o = this.olderCache.get(i);
    if (o) {
      this.remember(i, o);
      return o;
    }
    var index = this.index;
    var t = this.text;
    o = { label: undefined, data: undefined, grid: undefined };
    if (this.entity[i]) {
      // The first pass checked the structure, not every value inside data and grid: a
      // node whose values do not parse shows none, and cannot be edited.
      try {
        if (index.labelAt[i] >= 0) o.label = RawJson.parse(t.slice(index.labelAt[i], index.labelEnd[i]));
        if (index.dataAt[i] >= 0) o.data = RawJson.parse(t.slice(index.dataAt[i], index.dataEnd[i]));
        if (index.gridAt[i] >= 0) o.grid = RawJson.parse(t.slice(index.gridAt[i], index.gridEnd[i]));
      } catch (e) {
        o = { label: undefined, data: undefined, grid: undefined, broken: true };
        this.broken = (this.broken || 0) + 1;
      }
    }
    this.remember(i, o);
    return o;
  };

  FilterModel.prototype.remember = function (i, o) {
    if (this.cache.size >= CACHE_LIMIT) {
      this.olderCache = this.cache;
      this.cache = new Map();
    }
    this.cache.set(i, o);
  };

  // The same, kept while edits refer to it. Values edited in place so far go into it.
  FilterModel.prototype.pin = function (i) {
    var o = this.pinned.get(i);
    if (!o) {
      o = this.own(i);
      this.cache.delete(i);
      this.olderCache.delete(i);
      this.pinned.set(i, o);
      if (this.inPlace.has(i) && isObject(o.grid)) {
        for (var name in this.valueAt) {
          var value = this.gridValues[name][i];
          if (this.valueAt[name][i] >= 0 && get(o.grid, name) !== value) RawJson.setMember(o.grid, name, value);
        }
      }
    }
    return o;
  };

  // True when the cell's value can be edited in place (see the top).
  FilterModel.prototype.editsInPlace = function (i, column) {
    var at = this.valueAt[column.name];
    return !!at && at[i] >= 0 && !this.nls[i] && !this.pinned.has(i) && column.editable && this.entity[i] === 1 &&
      !(this.cache.get(i) || this.olderCache.get(i) || {}).broken;
  };

  // ------------------------------------------------------------ structure

  FilterModel.prototype.children = function (i) {
    var out = [];
    for (var j = i + 1; j < this.end[i]; j = this.end[j]) out.push(j);
    return out;
  };

  FilterModel.prototype.hasChildren = function (i) {
    return this.end[i] > i + 1;
  };

  FilterModel.prototype.isEntity = function (i) {
    return this.entity[i] === 1;
  };

  FilterModel.prototype.isAncestor = function (a, i) {
    return a < i && i < this.end[a];
  };

  // Path of child positions from the roots: how interactions name an entity.
  FilterModel.prototype.pathOf = function (i) {
    var path = [];
    for (var j = i; j >= 0; j = this.parent[j]) path.push(this.pos[j]);
    return path.reverse();
  };

  FilterModel.prototype.indexOf = function (path) {
    if (!Array.isArray(path) || !path.length) return -1;
    var level = this.roots;
    var index = -1;
    for (var k = 0; k < path.length; k++) {
      var p = path[k];
      if (typeof p !== 'number' || p < 0 || p >= level.length || Math.floor(p) !== p) return -1;
      index = level[p];
      if (k < path.length - 1) level = this.children(index);
    }
    return index;
  };

  // The entity's first uid when no other node carries it, else null: what names the
  // entity in a later version of the same model, where child positions may differ.
  FilterModel.prototype.uidOf = function (i) {
    var uid = this.firstUid(i);
    return uid !== null && this.indexOfUid(uid) === i ? uid : null;
  };

  FilterModel.prototype.firstUid = function (i) {
    var ids = get(this.own(i).data, 'uid');
    return Array.isArray(ids) && typeof ids[0] === 'string' && ids[0] ? ids[0] : null;
  };

  // The entity carrying the uid; -1 when none does, -2 when several do.
  FilterModel.prototype.indexOfUid = function (uid) {
    if (!this.uidIndex) {
      var index = new Map();
      var t = this.text;
      var dataAt = this.index.dataAt;
      var dataEnd = this.index.dataEnd;
      for (var i = 0; i < this.size; i++) {
        if (dataAt[i] < 0) continue;
        var data = this.pinned.has(i) ? this.pinned.get(i).data : JSON.parse(t.slice(dataAt[i], dataEnd[i]));
        var ids = get(data, 'uid');
        if (!Array.isArray(ids)) continue;
        for (var k = 0; k < ids.length; k++) {
          if (typeof ids[k] !== 'string') continue;
          var seen = index.get(ids[k]);
          index.set(ids[k], seen === undefined || seen === i ? i : -2);
        }
      }
      this.uidIndex = index;
    }
    var found = this.uidIndex.get(uid);
    return found === undefined ? -1 : found;
  };

  FilterModel.prototype.column = function (name) {
    return this.columnByName.get(name) || null;
  };

  // ------------------------------------------------------------ texts

  FilterModel.prototype.resolve = function (nlsText) {
    return this.resolver.resolve(nlsText);
  };

  FilterModel.prototype.columnTitle = function (column) {
    return this.resolve(column.title);
  };

  // Catalog names the columns' titles refer to.
  FilterModel.prototype.columnCatalogs = function () {
    var names = [];
    this.columns.forEach(function (c) {
      var parts = Nls.split(c.title);
      if (parts && names.indexOf(parts.catalog) < 0) names.push(parts.catalog);
    });
    return names;
  };

  // Catalog names the document's NLS texts refer to.
  FilterModel.prototype.catalogNames = function () {
    var names = new Set();
    function note(t) {
      var parts = Nls.split(t);
      if (parts) names.add(parts.catalog);
    }
    this.columns.forEach(function (c) { note(c.title); });
    for (var i = 0; i < this.size; i++) {
      if (!this.nls[i]) continue;
      var node = this.own(i);
      var data = node.data;
      if (!isObject(data)) continue;
      var label = get(data, 'NLS_label');
      if (typeof label === 'string' && node.label === undefined && this.index.labelAt[i] < 0) note(label);
      var nlsGrid = get(data, 'NLS_grid');
      if (isObject(nlsGrid)) {
        for (var key in nlsGrid) {
          if (Object.prototype.hasOwnProperty.call(nlsGrid, key)) note(nlsGrid[key]);
        }
      }
    }
    return Array.from(names);
  };

  // The label as written: literal "label", else the NLS text data.NLS_label.
  FilterModel.prototype.labelSource = function (i) {
    if (!this.entity[i]) return null;
    var index = this.index;
    if (index.labelAt[i] >= 0) {
      var token = this.text.slice(index.labelAt[i], index.labelEnd[i]);
      var literal = stringToken(token);
      return { text: literal !== undefined ? literal : text(RawJson.parse(token)), nls: false };
    }
    if (!this.nls[i]) return null;
    var data = this.own(i).data;
    if (has(data, 'NLS_label')) return { text: text(data.NLS_label), nls: true };
    return null;
  };

  // The label shown: a rename of an entity labelled by its name shows too.
  FilterModel.prototype.label = function (i) {
    if (this.renamed.size && this.renamed.get(i) && this.isEdited(i, this.nameColumn)) {
      return this.cellText(i, this.nameColumn);
    }
    var shown = this.labels[i];
    if (shown === undefined) {
      var source = this.labelSource(i);
      shown = !source ? '' : source.nls ? this.resolve(source.text) : source.text;
      this.labels[i] = shown;
    }
    return shown;
  };

  // Catalogs came: NLS labels are resolved again when next asked.
  FilterModel.prototype.forgetLabels = function () {
    this.labels = new Array(this.size);
  };

  // Where a cell's value is: { text, nls } or null when the cell is empty.
  FilterModel.prototype.cellSource = function (i, column) {
    if (!this.entity[i]) return null;
    var name = column.name;
    if (!this.nls[i] && !this.pinned.has(i)) {
      var known = this.gridValues[name];
      if (known !== undefined) return known[i] === undefined ? this.gridCell(i, name) : { text: known[i], nls: false };
    }
    var node = this.own(i);
    var nlsGrid = get(node.data, 'NLS_grid');
    if (isObject(nlsGrid) && has(nlsGrid, name)) return { text: text(nlsGrid[name]), nls: true };
    return this.gridCell(i, name);
  };

  FilterModel.prototype.gridCell = function (i, name) {
    var grid = this.own(i).grid;
    if (isObject(grid) && has(grid, name)) return { text: text(grid[name]), nls: false };
    return null;
  };

  // What the grid shows in a cell.
  FilterModel.prototype.cellText = function (i, column) {
    if (column.kind === 'tree') return this.label(i);
    if (column.kind === 'runtime') return this.runtimeText(i);
    var source = this.cellSource(i, column);
    if (!source) return '';
    return source.nls ? this.resolve(source.text) : source.text;
  };

  FilterModel.prototype.runtimeText = function (i) {
    if (!this.entity[i] && !this.hasChildren(i)) return '';
    if (!this.boolColumn) return String(this.totalCount[i]);
    return this.importCount[i] + ' / ' + this.totalCount[i];
  };

  FilterModel.prototype.computeImportFlag = function (i) {
    if (!this.boolColumn) return true;
    var source = this.cellSource(i, this.boolColumn);
    return !!source && source.text === 'true';
  };

  // 1 all of the subtree imported, 0 none, -1 some (an import column's tick state).
  FilterModel.prototype.subtreeImport = function (i) {
    if (this.importCount[i] === 0) return 0;
    return this.importCount[i] === this.totalCount[i] ? 1 : -1;
  };

  // A boolean column's box for a subtree: 1 all "true", 0 none, -1 mixed. The import
  // column counts an entity without "true" as not imported; other columns count only
  // entities that hold "true" or "false".
  FilterModel.prototype.subtreeState = function (i, column) {
    if (column === this.boolColumn) return this.subtreeImport(i);
    var counts = this.boolCounts.get(column);
    if (!counts) return 0;
    return this.stateOf(counts.on[i], counts.off[i]);
  };

  FilterModel.prototype.stateOf = function (on, off) {
    if (on === 0) return 0;
    return off === 0 ? 1 : -1;
  };

  FilterModel.prototype.summary = function () {
    var total = 0;
    var imported = 0;
    for (var k = 0; k < this.roots.length; k++) {
      total += this.totalCount[this.roots[k]];
      imported += this.importCount[this.roots[k]];
    }
    return { total: total, imported: imported, hasImportColumn: !!this.boolColumn };
  };

  FilterModel.prototype.canEdit = function (i, column) {
    return !!column && column.editable && this.entity[i] === 1 && (this.editsInPlace(i, column) || !this.own(i).broken);
  };

  // ------------------------------------------------------------ types

  // The entity's type, and the types it is a kind of (the provider's data "supertypes",
  // nearest first, separated by blanks).
  FilterModel.prototype.typeOf = function (i) {
    return this.typeColumn && this.entity[i] ? this.cellText(i, this.typeColumn) : '';
  };

  FilterModel.prototype.typesOf = function (i) {
    var type = this.typeOf(i);
    if (!type) return [];
    var chain = this.supertypes(type, i);
    return [type].concat(chain);
  };

  FilterModel.prototype.supertypes = function (type, i) {
    if (!this.superOf) this.superOf = new Map();
    var known = this.superOf.get(type);
    if (known) return known;
    var data = this.own(i).data;
    var given = get(data, SUPERTYPES_KEY);
    var chain = typeof given === 'string' && given ? given.split(/\s+/).filter(Boolean) : [];
    this.superOf.set(type, chain);
    return chain;
  };

  // type -> { count, types: the types counted under it }: each entity counts under its
  // type and every supertype, so "IfcWall" holds IfcWallStandardCase.
  FilterModel.prototype.typeCounts = function () {
    if (this.typeIndex) return this.typeIndex;
    var counts = new Map();
    var exact = new Map();
    for (var i = 0; i < this.size; i++) {
      var type = this.typeOf(i);
      if (!type) continue;
      exact.set(type, (exact.get(type) || 0) + 1);
      if (!this.superOf || !this.superOf.has(type)) this.supertypes(type, i);
    }
    var self = this;
    exact.forEach(function (count, type) {
      [type].concat(self.superOf.get(type) || []).forEach(function (t) {
        var entry = counts.get(t) || { count: 0, own: 0 };
        entry.count += count;
        if (t === type) entry.own = count;
        counts.set(t, entry);
      });
    });
    this.typeIndex = counts;
    return counts;
  };

  // True when the entity is of the type or of one of its subtypes.
  FilterModel.prototype.isOfType = function (i, type) {
    var own = this.typeOf(i);
    if (!own) return false;
    if (own === type) return true;
    return this.supertypes(own, i).indexOf(type) >= 0;
  };

  // ------------------------------------------------------------ edits

  // Applies [{ index, column, value }] as one undoable step. Cells that cannot be
  // edited, or already show the value, are left alone. Returns the changed entities
  // (ancestors whose counts moved included), or null when nothing changed.
  FilterModel.prototype.applyEdits = function (edits) {
    // inPlace: entity, column name, value before, for each value edited in place.
    var group = { id: 0, saved: new Map(), inPlace: [], changed: [], cells: [] };
    for (var k = 0; k < edits.length; k++) {
      var e = edits[k];
      var i = e.index;
      var column = e.column;
      if (!(i >= 0 && i < this.size) || !column) continue;
      var value = String(e.value);
      if (this.editsInPlace(i, column)) {
        var known = this.gridValues[column.name];
        if (known[i] === value) continue;
        group.inPlace.push(i, column.name, known[i]);
        known[i] = value;
        this.inPlace.add(i);
        group.changed.push(i);
        group.cells.push(i + ' ' + column.name);
        continue;
      }
      if (!this.canEdit(i, column)) continue;
      var source = this.cellSource(i, column);
      if (source && !source.nls && source.text === value) continue;
      if (source && source.nls && this.resolve(source.text) === value) continue;
      if (column === this.nameColumn && !this.renamed.has(i)) {
        // The tree shows the new name only where the label was the name.
        this.renamed.set(i, this.label(i) === (source ? this.cellText(i, column) : ''));
      }
      this.saveForUndo(group, i);
      this.writeCell(i, column, value);
      group.changed.push(i);
      group.cells.push(i + ' ' + column.name);
    }
    if (!group.changed.length) return null;
    this.countEdited(group.cells, 1);
    group.id = this.nextGroupId++;
    this.undoStack.push(group);
    return this.updateCounts(group.changed);
  };

  FilterModel.prototype.saveForUndo = function (group, i) {
    if (group.saved.has(i)) return;
    var node = this.pin(i);
    var nlsGrid = isObject(node.data) ? get(node.data, 'NLS_grid') : undefined;
    group.saved.set(i, {
      grid: node.grid,
      gridSnap: isObject(node.grid) ? RawJson.snapshot(node.grid) : null,
      data: isObject(node.data) ? { obj: node.data, snap: RawJson.snapshot(node.data) } : null,
      nlsGrid: isObject(nlsGrid) ? { obj: nlsGrid, snap: RawJson.snapshot(nlsGrid) } : null
    });
  };

  FilterModel.prototype.writeCell = function (i, column, value) {
    var node = this.pin(i);
    var name = column.name;
    var data = node.data;
    var nlsGrid = isObject(data) ? get(data, 'NLS_grid') : undefined;
    if (isObject(nlsGrid) && has(nlsGrid, name)) {
      RawJson.deleteMember(nlsGrid, name);
      if (RawJson.memberCount(nlsGrid) === 0) RawJson.deleteMember(data, 'NLS_grid');
    }
    if (!isObject(node.grid)) node.grid = {};
    RawJson.setMember(node.grid, name, value);
  };

  // Refreshes import flags of the given entities and moves the counts of their
  // ancestors; returns every entity whose shown values may have changed.
  FilterModel.prototype.updateCounts = function (indices) {
    var touched = new Set(indices);
    var self = this;
    this.boolCounts.forEach(function (counts, column) {
      for (var m = 0; m < indices.length; m++) {
        var e = indices[m];
        var code = self.booleanCode(e, column);
        var was = counts.value[e];
        if (code === was) continue;
        counts.value[e] = code;
        var on = (code === 1) - (was === 1);
        var off = (code === 2) - (was === 2);
        for (var a = e; a >= 0; a = self.parent[a]) {
          counts.on[a] += on;
          counts.off[a] += off;
          touched.add(a);
        }
      }
    });
    for (var k = 0; k < indices.length; k++) {
      var i = indices[k];
      var flag = this.entity[i] && this.computeImportFlag(i) ? 1 : 0;
      var delta = flag - this.importFlag[i];
      if (!delta) continue;
      this.importFlag[i] = flag;
      for (var j = i; j >= 0; j = this.parent[j]) {
        this.importCount[j] += delta;
        touched.add(j);
      }
    }
    return Array.from(touched);
  };

  FilterModel.prototype.countEdited = function (cells, step) {
    for (var k = 0; k < cells.length; k++) {
      var count = (this.editedCells.get(cells[k]) || 0) + step;
      if (count > 0) this.editedCells.set(cells[k], count);
      else this.editedCells.delete(cells[k]);
    }
  };

  // True for a cell that an edit not undone has written.
  FilterModel.prototype.isEdited = function (i, column) {
    return !!column && this.editedCells.size > 0 && this.editedCells.has(i + ' ' + column.name);
  };

  FilterModel.prototype.canUndo = function () {
    return this.undoStack.length > 0;
  };

  // Puts back the containers of the last step as they were, key order included.
  FilterModel.prototype.undo = function () {
    var group = this.undoStack.pop();
    if (!group) return null;
    this.countEdited(group.cells, -1);
    var indices = [];
    for (var k = group.inPlace.length - 3; k >= 0; k -= 3) {
      var at = group.inPlace[k];
      var name = group.inPlace[k + 1];
      this.gridValues[name][at] = group.inPlace[k + 2];
      // Parsed since: the parsed grid holds the value the reader sees.
      var parsed = this.pinned.get(at);
      if (parsed && isObject(parsed.grid)) RawJson.setMember(parsed.grid, name, group.inPlace[k + 2]);
      indices.push(at);
    }
    group.saved.forEach(function (saved, i) {
      var node = this.pinned.get(i);
      node.grid = saved.grid;
      if (saved.gridSnap) RawJson.restore(saved.grid, saved.gridSnap);
      if (saved.data) RawJson.restore(saved.data.obj, saved.data.snap);
      if (saved.nlsGrid) RawJson.restore(saved.nlsGrid.obj, saved.nlsGrid.snap);
      indices.push(i);
    }, this);
    return this.updateCounts(indices);
  };

  FilterModel.prototype.topGroupId = function () {
    return this.undoStack.length ? this.undoStack[this.undoStack.length - 1].id : 0;
  };

  // True while the document differs from the one last sent.
  FilterModel.prototype.isDirty = function () {
    return this.topGroupId() !== this.sentGroupId;
  };

  FilterModel.prototype.markSent = function () {
    this.sentGroupId = this.topGroupId();
  };

  FilterModel.prototype.editCount = function () {
    return this.undoStack.length;
  };

  // ------------------------------------------------------------ bulk edits

  // The same value on an entity and every entity below it.
  FilterModel.prototype.subtreeEdits = function (i, column, value) {
    var edits = [];
    if (!(i >= 0 && i < this.size)) return edits;
    for (var j = i; j < this.end[i]; j++) edits.push({ index: j, column: column, value: value });
    return edits;
  };

  // ------------------------------------------------------------ writing

  // Edited cells, not undone: first uid -> column -> value (the last one written).
  FilterModel.prototype.userEdits = function () {
    var out = new Map();
    this.editedCells.forEach(function (count, key) {
      var space = key.indexOf(' ');
      var i = +key.slice(0, space);
      var column = this.column(key.slice(space + 1));
      var uid = this.firstUid(i);
      if (!column || uid === null) return;
      var cells = out.get(uid);
      if (!cells) out.set(uid, (cells = new Map()));
      cells.set(column.name, this.cellText(i, column));
    }, this);
    return out;
  };

  FilterModel.prototype.serialize = function () {
    // Nothing applied (or all undone): the document is the text that came.
    return this.undoStack.length ? this.write() : this.text;
  };

  // The text with the edited nodes' grid and data written anew.
  FilterModel.prototype.write = function () {
    var t = this.text;
    var pieces = this.answerPieces();
    var out = [];
    var at = 0;
    for (var k = 0; k < pieces.length; k++) {
      out.push(t.slice(at, pieces[k][0]), pieces[k][2]);
      at = pieces[k][1];
    }
    out.push(t.slice(at));
    return out.join('');
  };

  // What the answer changes in the text: [start, end, text instead], in order, apart.
  FilterModel.prototype.answerPieces = function () {
    if (!this.undoStack.length) return [];
    var t = this.text;
    var index = this.index;
    var pieces = []; // [start, end, text] of the text to write instead
    var valueAt = this.valueAt;
    var gridValues = this.gridValues;
    this.inPlace.forEach(function (i) {
      if (this.pinned.has(i)) return; // written with its grid below
      for (var name in valueAt) {
        var at = valueAt[name][i];
        if (at < 0) continue;
        var end = stringEnd(t, at);
        var token = RawJson.stringify(gridValues[name][i]);
        if (token !== t.slice(at, end)) pieces.push([at, end, token]);
      }
    }, this);
    this.pinned.forEach(function (node, i) {
      if (index.gridAt[i] >= 0) {
        var gridText = RawJson.stringify(node.grid);
        if (gridText !== t.slice(index.gridAt[i], index.gridEnd[i])) pieces.push([index.gridAt[i], index.gridEnd[i], gridText]);
      } else if (isObject(node.grid) && RawJson.memberCount(node.grid)) {
        // The generator writes grid after label and data; a node without one gets it there.
        var after = index.dataAt[i] >= 0 ? index.dataEnd[i] : index.labelAt[i] >= 0 ? index.labelEnd[i] : -1;
        var added = '"grid":' + RawJson.stringify(node.grid);
        if (after >= 0) pieces.push([after, after, ',' + added]);
        else pieces.push([index.nodeStart[i] + 1, index.nodeStart[i] + 1, added + ',']);
      }
      if (index.dataAt[i] >= 0) {
        var dataText = RawJson.stringify(node.data);
        if (dataText !== t.slice(index.dataAt[i], index.dataEnd[i])) pieces.push([index.dataAt[i], index.dataEnd[i], dataText]);
      }
    });
    var edits = this.userEdits();
    if (edits.size && isObject(this.topData)) {
      var top = RawJson.parse(t.slice(index.top.dataAt, index.top.dataEnd));
      var recorded = get(top, 'userEdits');
      if (!isObject(recorded)) {
        recorded = {};
        RawJson.setMember(top, 'userEdits', recorded);
      }
      edits.forEach(function (cells, uid) {
        var entry = get(recorded, uid);
        if (!isObject(entry)) {
          entry = {};
          RawJson.setMember(recorded, uid, entry);
        }
        cells.forEach(function (value, name) { RawJson.setMember(entry, name, value); });
      });
      pieces.push([index.top.dataAt, index.top.dataEnd, RawJson.stringify(top)]);
    }
    pieces.sort(function (a, b) { return a[0] - b[0]; });
    return pieces;
  };

  // Distinct shown values of a column, for the filter suggestions.
  FilterModel.prototype.distinctValues = function (column, limit) {
    var values = new Set();
    if (column.kind === 'enum') column.options.forEach(function (v) { values.add(v); });
    for (var i = 0; i < this.size && values.size < (limit || 500); i++) {
      if (!this.entity[i]) continue;
      var t = this.cellText(i, column);
      if (t !== '') values.add(t);
    }
    return Array.from(values).sort(function (a, b) { return a < b ? -1 : a > b ? 1 : 0; });
  };

  return FilterModel;
});
// FilterState.js
/*
 * FilterState - what the grid shows of the model: expanded entities, the label search,
 * the value filters and the branch the user narrowed the view to. No DOM here.
 *
 * An entity shows when it passes (every value filter, inside the branch, and the
 * search matches its label or an ancestor's), or when something below it passes: it
 * is then shown as context only. Changing the criteria expands the context entities,
 * so whatever passes is in sight.
 */
define("ZQ/DXInputFilterDisplay/FilterState", [], function () {
  'use strict';

  var OPERATORS = ['is', 'isNot', 'contains'];

  function FilterState(model) {
    this.model = model;
    this.expanded = new Uint8Array(model.size);
    this.query = '';
    this.filters = [];
    this.branch = -1;
    this.visible = null; // null: everything shows
    this.passes = null;
    this.matchCount = 0;
    this.passing = -1;
    this.labelCache = null;
    this.type = null; // entities of this type or a subtype pass
    this.extra = null; // a further test of the entity (function), for views that add one
  }

  FilterState.OPERATORS = OPERATORS;

  // ------------------------------------------------------------ expansion

  FilterState.prototype.isExpanded = function (i) {
    return this.expanded[i] === 1;
  };

  FilterState.prototype.setExpanded = function (i, open) {
    if (i >= 0 && i < this.model.size) this.expanded[i] = open ? 1 : 0;
  };

  // Opens the entities above the given depth and closes the others: level 3 shows
  // project, site and building open and the storeys closed.
  FilterState.prototype.expandToLevel = function (level) {
    var depth = this.model.depth;
    for (var i = 0; i < this.model.size; i++) this.expanded[i] = depth[i] < level ? 1 : 0;
  };

  FilterState.prototype.setSubtreeExpanded = function (i, open) {
    var end = this.model.end[i];
    for (var j = i; j < end; j++) this.expanded[j] = open ? 1 : 0;
  };

  // ------------------------------------------------------------ criteria

  FilterState.prototype.hasCriteria = function () {
    return this.query !== '' || this.filters.length > 0 || this.branch >= 0 || this.type !== null || this.extra !== null;
  };

  FilterState.prototype.setType = function (type) {
    this.type = type === undefined || type === '' ? null : type;
  };

  FilterState.prototype.setExtra = function (test) {
    this.extra = typeof test === 'function' ? test : null;
  };

  FilterState.prototype.setQuery = function (query) {
    this.query = String(query || '').trim();
  };

  FilterState.prototype.addFilter = function (column, op, value) {
    if (!column || OPERATORS.indexOf(op) < 0) return false;
    var v = String(value == null ? '' : value);
    var same = this.filters.some(function (f) { return f.column === column && f.op === op && f.value === v; });
    if (!same) this.filters.push({ column: column, op: op, value: v });
    return !same;
  };

  FilterState.prototype.removeFilter = function (index) {
    this.filters.splice(index, 1);
  };

  FilterState.prototype.clearFilters = function () {
    this.filters = [];
  };

  FilterState.prototype.setBranch = function (i) {
    this.branch = i >= 0 && i < this.model.size ? i : -1;
  };

  // Labels change with the catalogs; the search reads them lower-cased once.
  FilterState.prototype.invalidateLabels = function () {
    this.labelCache = null;
  };

  // An entity's label changed (a rename): the search sees the new one.
  FilterState.prototype.refreshLabel = function (i) {
    if (this.labelCache) this.labelCache[i] = this.model.label(i).toLowerCase();
  };

  FilterState.prototype.lowerLabels = function () {
    if (!this.labelCache) {
      var labels = new Array(this.model.size);
      for (var i = 0; i < this.model.size; i++) labels[i] = this.model.label(i).toLowerCase();
      this.labelCache = labels;
    }
    return this.labelCache;
  };

  function filterPasses(model, i, f) {
    var shown = model.cellText(i, f.column);
    switch (f.op) {
      case 'is': return shown === f.value;
      case 'isNot': return shown !== f.value;
      case 'contains': return shown.toLowerCase().indexOf(f.value.toLowerCase()) >= 0;
      default: return true;
    }
  }

  // Computes what shows; returns true when it changed anything.
  FilterState.prototype.recompute = function () {
    var model = this.model;
    var n = model.size;
    if (!this.hasCriteria()) {
      var had = this.visible !== null;
      this.visible = null;
      this.passes = null;
      this.matchCount = 0;
      this.passing = -1;
      return had;
    }
    var parent = model.parent;
    var end = model.end;
    var passes = new Uint8Array(n);
    var visible = new Uint8Array(n);
    var query = this.query.toLowerCase();
    var labels = query ? this.lowerLabels() : null;
    var inMatch = new Int32Array(n); // end of the innermost matching ancestor's subtree
    var matches = 0;
    var branchStart = this.branch >= 0 ? this.branch : 0;
    var branchEnd = this.branch >= 0 ? end[this.branch] : n;
    var i;
    for (i = 0; i < n; i++) {
      var p = parent[i];
      var matchEnd = p >= 0 && inMatch[p] > i ? inMatch[p] : 0;
      var ok = i >= branchStart && i < branchEnd;
      var isMatch = false;
      if (ok && query) {
        if (labels[i].indexOf(query) >= 0) {
          isMatch = true;
          matchEnd = end[i];
        } else if (!matchEnd) {
          ok = false;
        }
      }
      inMatch[i] = matchEnd;
      if (ok && this.type !== null && !model.isOfType(i, this.type)) ok = false;
      if (ok && this.extra !== null && !this.extra(i)) ok = false;
      if (ok) {
        for (var k = 0; k < this.filters.length; k++) {
          if (!filterPasses(model, i, this.filters[k])) {
            ok = false;
            break;
          }
        }
      }
      if (ok && isMatch) matches++; // what the user can see of the matches
      passes[i] = ok ? 1 : 0;
    }
    // Children come after their parent: walk backwards to lift visibility up.
    for (i = n - 1; i >= 0; i--) {
      if (passes[i]) visible[i] = 1;
      if (visible[i] && parent[i] >= 0) visible[parent[i]] = 1;
    }
    // Context entities open, so that what passes is in sight.
    for (i = 0; i < n; i++) {
      if (visible[i] && !passes[i] && model.hasChildren(i)) this.expanded[i] = 1;
    }
    var passing = 0;
    for (i = 0; i < n; i++) if (passes[i] && model.entity[i]) passing++;
    this.visible = visible;
    this.passes = passes;
    this.matchCount = query ? matches : 0;
    this.passing = passing;
    return true;
  };

  FilterState.prototype.isVisible = function (i) {
    return this.visible === null || this.visible[i] === 1;
  };

  // Shown only because something below it passes.
  FilterState.prototype.isContext = function (i) {
    return this.visible !== null && this.visible[i] === 1 && this.passes[i] === 0;
  };

  FilterState.prototype.visibleChildren = function (i) {
    var model = this.model;
    var out = [];
    for (var j = i + 1; j < model.end[i]; j = model.end[j]) {
      if (this.isVisible(j)) out.push(j);
    }
    return out;
  };

  FilterState.prototype.visibleRoots = function () {
    var self = this;
    return this.model.roots.filter(function (i) { return self.isVisible(i); });
  };

  // Entities that passed when the criteria were last applied; -1 without criteria.
  FilterState.prototype.passingCount = function () {
    return this.passing;
  };

  return FilterState;
});
// FilterView.js
/*
 * FilterView - the page: toolbar, tree grid and status line.
 *
 * The grid (TreeGrid) draws only the rows in sight over the flat list of RowModel.
 * The view never writes the document: edits go through filter.perform(), and the
 * view then repaints the rows in sight. Keys are Keyboard's, the menu ContextMenu's.
 */
define("ZQ/DXInputFilterDisplay/FilterView", ['./TreeGrid', './RowModel', './CellUI', './ContextMenu', './Keyboard', './TypeList', './Texts', './CarryMarks'], function (
  TreeGrid, RowModel, CellUI, ContextMenu, Keyboard, TypeList, Texts, CarryMarks) {
  'use strict';

  var SEARCH_DELAY_MS = 180;

  function $(root, selector) {
    return root.querySelector(selector);
  }

  function FilterView(root, filter) {
    this.root = root;
    this.doc = root.ownerDocument;
    this.filter = filter;
    this.model = null;
    this.state = null;
    this.rows = null;
    this.cursor = { row: -1, id: 0, col: 0 };
    this.selection = new Set();
    this.anchor = -1;
    this.editing = null; // the open editor
    this.searchTimer = 0;
    this.numberFormat = makeNumberFormat();
    this.firstRender = true;
    this.marks = null; // the carry from the last filter, when the document has one
    this.controls = {
      search: $(root, '#search'),
      searchCount: $(root, '#search-count'),
      filterColumn: $(root, '#filter-column'),
      filterOp: $(root, '#filter-op'),
      filterValue: $(root, '#filter-value'),
      filterValues: $(root, '#filter-values'),
      filterAdd: $(root, '#filter-add'),
      chips: $(root, '#chips'),
      expandAll: $(root, '#expand-all'),
      collapseAll: $(root, '#collapse-all'),
      level: $(root, '#level'),
      groupTypes: $(root, '#group-types'),
      types: $(root, '#types'),
      undo: $(root, '#undo'),
      setSubtree: $(root, '#set-subtree'),
      setSelection: $(root, '#set-selection'),
      summary: $(root, '#summary'),
      summaryBar: $(root, '#summary-bar'),
      shown: $(root, '#shown'),
      selected: $(root, '#selected'),
      edits: $(root, '#edits'),
      grid: $(root, '#grid'),
      carryGroup: $(root, '#carry-group'),
      carryNew: $(root, '#carry-new'),
      carryGone: $(root, '#carry-gone'),
      carrySummary: $(root, '#carry-summary'),
      gonePanel: $(root, '#gone-panel'),
      goneTitle: $(root, '#gone-title'),
      goneText: $(root, '#gone-text'),
      goneList: $(root, '#gone-list'),
      goneClose: $(root, '#gone-close'),
      message: $(root, '#message')
    };
    this.grid = new TreeGrid(this.controls.grid, this);
    this.typeList = new TypeList(this);
    this.applyTexts();
    this.grid.setLabel(Texts.format('GridLabel'));
    this.bindToolbar();
    Keyboard.bind(this);
    this.bindLeaving();
  }

  function makeNumberFormat() {
    var language = typeof window !== 'undefined' && window.qor && window.qor.language;
    try {
      var format = new Intl.NumberFormat(language || undefined);
      return function (n) { return format.format(n); };
    } catch (e) {
      return function (n) { return String(n); };
    }
  }

  // ------------------------------------------------------------ static texts

  FilterView.prototype.applyTexts = function () {
    var root = this.root;
    Array.prototype.forEach.call(root.querySelectorAll('[data-text]'), function (node) {
      node.textContent = Texts.format(node.getAttribute('data-text'));
    });
    Array.prototype.forEach.call(root.querySelectorAll('[data-title]'), function (node) {
      node.title = Texts.format(node.getAttribute('data-title'));
      if (!node.getAttribute('aria-label') && !node.textContent) node.setAttribute('aria-label', node.title);
    });
    Array.prototype.forEach.call(root.querySelectorAll('[data-placeholder]'), function (node) {
      node.placeholder = Texts.format(node.getAttribute('data-placeholder'));
      node.setAttribute('aria-label', node.placeholder);
    });
    var op = this.controls.filterOp;
    op.textContent = '';
    ['is', 'isNot', 'contains'].forEach(function (name) {
      var option = this.doc.createElement('option');
      option.value = name;
      option.textContent = Texts.format('Operator_' + name);
      op.appendChild(option);
    }, this);
  };

  // ------------------------------------------------------------ document

  FilterView.prototype.showDocument = function () {
    var error = this.filter.error();
    this.model = this.filter.model();
    this.state = this.filter.state();
    this.selection.clear();
    this.cursor = { row: -1, id: 0, col: 0 };
    this.controls.search.value = '';
    if (error) {
      this.marks = null;
      this.controls.carryGroup.hidden = true;
      this.controls.carrySummary.hidden = true;
      this.setGoneOpen(false);
      this.showMessage(Texts.format('LoadError', error), true);
      this.root.classList.remove('is-loading');
      return;
    }
    if (!this.model) return;
    this.showMessage(this.model.size ? '' : Texts.format('EmptyDocument'), false);
    this.showCarry();
    this.rows = new RowModel(this.model, this.state);
    this.rows.setGrouping(this.controls.groupTypes.checked);
    this.controls.groupTypes.disabled = !this.model.typeColumn;
    this.controls.types.disabled = !this.model.typeColumn;
    this.rows.rebuild();
    this.grid.setPlaceholder(Texts.format(this.model.size ? 'NoRows' : 'EmptyDocument'));
    this.grid.setModel(this.model, this.rows);
    this.showTitle();
    this.fillFilterControls();
    this.root.classList.remove('is-loading');
    if (this.rows.count) this.cursor = { row: 0, id: this.rows.rows[0], col: 0 };
    this.grid.repaint();
    this.showChips();
    this.showStatus();
    if (this.firstRender && typeof performance !== 'undefined' && performance.mark) {
      this.firstRender = false;
      performance.mark('filter-first-rows'); // "filter-init" to here: the time to first rows
    }
  };

  // The carry's marks: only the view shows them, the document never holds them.
  FilterView.prototype.showCarry = function () {
    var c = this.controls;
    var marks = new CarryMarks(this.model.topData);
    this.marks = marks.present ? marks : null;
    this.newOnly = false;
    if (this.state.extra !== null) {
      this.state.setExtra(null);
      this.state.recompute();
    }
    this.setGoneOpen(false);
    c.goneList.textContent = '';
    c.carryGroup.hidden = !marks.present;
    c.carrySummary.hidden = !marks.present;
    if (!marks.present) {
      this.model.flags.fill(0);
      return;
    }
    marks.markModel(this.model);
    c.carryNew.textContent = marks.filterLabel();
    c.carryNew.hidden = !marks.hasNew();
    c.carryNew.setAttribute('aria-pressed', 'false');
    c.carryGone.textContent = marks.goneButton();
    c.carrySummary.textContent = marks.summary();
    c.carrySummary.title = marks.droppedText() || marks.goneTitle();
    c.goneTitle.textContent = marks.goneTitle();
    c.goneClose.textContent = marks.goneClose();
  };

  FilterView.prototype.setNewOnly = function (on) {
    if (!this.marks || !this.state) return;
    this.newOnly = !!on;
    this.state.setExtra(this.newOnly ? CarryMarks.newOnly(this.model) : null);
    this.controls.carryNew.setAttribute('aria-pressed', this.newOnly ? 'true' : 'false');
    this.criteriaChanged();
  };

  // The list is made when first opened: a week's removals may be thousands of uids.
  FilterView.prototype.setGoneOpen = function (open) {
    var c = this.controls;
    open = !!open && !!this.marks;
    c.gonePanel.hidden = !open;
    c.carryGone.setAttribute('aria-expanded', open ? 'true' : 'false');
    c.carrySummary.setAttribute('aria-expanded', open ? 'true' : 'false');
    if (!open || c.goneList.firstChild) return;
    c.goneText.textContent = this.marks.goneText();
    var doc = this.doc;
    this.marks.gone().forEach(function (uid) {
      var item = doc.createElement('li');
      item.textContent = uid;
      c.goneList.appendChild(item);
    });
  };

  // The model's file in the page's title: the filter id names it ("IFC4:House.ifc").
  FilterView.prototype.showTitle = function () {
    var data = this.model.topData;
    var id = data && typeof data.filterID === 'string' ? data.filterID : '';
    var file = id.replace(/^[^:]*:/, '');
    var base = this.doc.title.split(' – ')[0] || 'Filter';
    this.baseTitle = this.baseTitle || base;
    this.doc.title = file ? Texts.format('TitleWithFile', file, this.baseTitle) : this.baseTitle;
    var qor = typeof window !== 'undefined' ? window.qor : null;
    if (qor && typeof qor.subtitle === 'function') qor.subtitle(file);
  };

  FilterView.prototype.showMessage = function (text, isError) {
    var box = this.controls.message;
    box.textContent = text;
    box.hidden = !text;
    box.classList.toggle('is-error', !!isError);
  };

  FilterView.prototype.fillFilterControls = function () {
    var doc = this.doc;
    var select = this.controls.filterColumn;
    select.textContent = '';
    this.model.columns.forEach(function (column) {
      if (column.kind === 'tree' || column.kind === 'runtime') return;
      var option = doc.createElement('option');
      option.value = String(column.index);
      option.textContent = this.model.columnTitle(column);
      select.appendChild(option);
    }, this);
    this.controls.filterAdd.disabled = !select.options.length;
    this.suggestionsFor = null; // filled when the value field is first used

    var level = this.controls.level;
    level.textContent = '';
    var head = doc.createElement('option');
    head.value = '';
    head.textContent = Texts.format('ExpandToLevel');
    level.appendChild(head);
    for (var d = 1; d <= Math.min(this.model.maxDepth, 9); d++) {
      var option = doc.createElement('option');
      option.value = String(d);
      option.textContent = Texts.format('Level', d);
      level.appendChild(option);
    }
    level.disabled = this.model.maxDepth < 1;
  };

  // The value suggestions read a column of every entity: made when asked, not at load.
  FilterView.prototype.fillValueSuggestions = function () {
    var column = this.filterColumn();
    if (!column || this.suggestionsFor === column) return;
    this.suggestionsFor = column;
    var list = this.controls.filterValues;
    list.textContent = '';
    this.model.distinctValues(column, 300).forEach(function (value) {
      var option = this.doc.createElement('option');
      option.value = value;
      list.appendChild(option);
    }, this);
  };

  FilterView.prototype.filterColumn = function () {
    var value = this.controls.filterColumn.value;
    return value === '' ? null : this.model.columns[+value] || null;
  };

  // ------------------------------------------------------------ rows

  // The shown set or the expansion changed: the row list is made again.
  FilterView.prototype.showTree = function () {
    if (!this.rows) return;
    if (this.editing) this.commitEditing();
    this.selection.forEach(function (id) {
      if (!this.state.isVisible(id)) this.selection.delete(id);
    }, this);
    var groupKey = this.cursor.id < 0 && this.cursor.row >= 0 && this.cursor.row < this.rows.count
      ? this.rows.group(this.cursor.id).key : null;
    this.rows.rebuild();
    var row = groupKey ? this.rows.rowOfGroup(groupKey) : this.rows.rowOf(this.cursor.id);
    if (row < 0) {
      // The cursor's entity is hidden: the nearest shown ancestor takes it.
      for (var j = this.cursor.id < 0 ? -1 : this.model.parent[this.cursor.id]; j >= 0 && row < 0; j = this.model.parent[j]) row = this.rows.rowOf(j);
      if (row < 0 && this.rows.count) row = 0;
    }
    this.cursor.row = row;
    this.cursor.id = row >= 0 ? this.rows.rows[row] : 0;
    this.grid.refresh();
    this.showChips();
    this.showStatus();
  };

  // Values changed: the rows in sight show them.
  FilterView.prototype.showValues = function (changed) {
    if (!this.rows) return;
    if (changed && this.state.labelCache && this.model.nameColumn) {
      // A rename is found by the search under its new name.
      for (var k = 0; k < changed.length; k++) this.state.refreshLabel(changed[k]);
    }
    this.grid.repaint();
    this.showStatus();
  };

  FilterView.prototype.showExpansion = function () {
    this.showTree();
  };

  // After the grid painted: the cursor cell is the active one for assistive technology.
  FilterView.prototype.onRendered = function () {
    if (this.grid && this.cursor.row >= 0) this.grid.setActiveCell(this.cursor.row, this.cursor.col);
  };

  FilterView.prototype.idAt = function (row) {
    return row >= 0 && row < this.rows.count ? this.rows.rows[row] : null;
  };

  FilterView.prototype.toggleRow = function (row) {
    var id = this.idAt(row);
    if (id === null || !this.rows.hasChildren(id)) return;
    if (id < 0) {
      this.rows.setGroupOpen(id, !this.rows.isOpen(id));
      this.showTree();
      return;
    }
    var open = !this.state.isExpanded(id);
    this.perform({ t: open ? 'expand' : 'collapse', n: this.model.pathOf(id) });
  };

  FilterView.prototype.setGrouping = function (on) {
    this.rows.setGrouping(on);
    this.showTree();
  };

  // A click on a tick: the entity and its subtree, or the entity alone (Alt, or a leaf).
  FilterView.prototype.tick = function (row, column, alone) {
    var id = this.idAt(row);
    if (id === null || !column || column.kind !== 'boolean' || !column.editable) return;
    if (id < 0) {
      // All ticked: untick all; none or some: tick all, as a tri-state box does.
      var value = this.rows.groupState(id, column) === 1 ? 'false' : 'true';
      this.setOnEntities(this.rows.groupEntities(id), column, value);
      return;
    }
    if (!this.model.canEdit(id, column)) return;
    var next = this.model.cellText(id, column) === 'true' ? 'false' : 'true';
    if (!alone && this.model.hasChildren(id)) {
      // A mixed subtree ticks all first, as a tri-state box does.
      if (this.model.subtreeState(id, column) === -1) next = 'true';
      this.perform({ t: 'subtree', n: this.model.pathOf(id), c: column.name, v: next });
    } else {
      this.perform({ t: 'edit', n: this.model.pathOf(id), c: column.name, v: next });
    }
  };

  FilterView.prototype.setOnEntities = function (ids, column, value) {
    var model = this.model;
    var editable = ids.filter(function (i) { return model.canEdit(i, column); });
    if (!editable.length) return;
    this.perform({ t: 'rows', n: editable.map(function (i) { return model.pathOf(i); }), c: column.name, v: value });
  };

  FilterView.prototype.onGridPointer = function (what, row, col, part, e) {
    var column = this.model.columns[col];
    if (!column) return;
    if (what === 'menu') {
      e.preventDefault();
      this.openMenu(row, col, e.clientX, e.clientY);
      return;
    }
    if (what === 'dblclick') {
      if (column.kind === 'tree') this.toggleRow(row);
      else if (column.kind !== 'boolean') this.startEdit(undefined, row, col);
      return;
    }
    var id = this.idAt(row);
    if (id === null) return;
    if (part === 'chevron') {
      this.setCursor(row, col, false);
      this.toggleRow(row);
      return;
    }
    if (id >= 0) {
      if (e.shiftKey && this.anchor >= 0) {
        this.selectRange(this.anchor, row);
      } else if (e.ctrlKey || e.metaKey) {
        if (this.selection.has(id)) this.selection.delete(id);
        else this.selection.add(id);
        this.anchor = row;
        this.refreshSelection();
      } else {
        this.anchor = row;
        this.select([id], false);
      }
    }
    this.setCursor(row, col, false);
    if (part === 'tick' && !e.shiftKey && !e.ctrlKey && !e.metaKey) this.tick(row, column, e.altKey);
    this.grid.focus();
  };

  // ------------------------------------------------------------ status

  FilterView.prototype.showStatus = function () {
    var c = this.controls;
    var model = this.model;
    if (!model) return;
    var fmt = this.numberFormat;
    var summary = model.summary();
    c.summary.textContent = summary.hasImportColumn
      ? Texts.format('SummaryImport', fmt(summary.imported), fmt(summary.total))
      : Texts.format('SummaryCount', fmt(summary.total));
    if (c.summaryBar) {
      c.summaryBar.style.width = summary.total ? Math.round((100 * summary.imported) / summary.total) + '%' : '0%';
      c.summaryBar.parentNode.hidden = !summary.hasImportColumn;
    }
    var passing = this.state.passingCount();
    c.shown.textContent = passing >= 0 ? Texts.format('Shown', fmt(passing)) : '';
    c.selected.textContent = this.selection.size ? Texts.format('Selected', fmt(this.selection.size)) : '';
    var edits = model.editCount();
    c.edits.textContent = edits === 0 ? Texts.format('NoEdits') : edits === 1 ? Texts.format('OneEdit') : Texts.format('Edits', fmt(edits));
    c.edits.classList.toggle('is-dirty', this.filter.isDirty());
    c.undo.disabled = !model.canUndo();
    if (this.state.query) {
      c.searchCount.textContent = this.state.matchCount
        ? Texts.format('SearchMatches', fmt(this.state.matchCount))
        : Texts.format('SearchNoMatch');
      c.searchCount.classList.toggle('is-none', !this.state.matchCount);
    } else {
      c.searchCount.textContent = '';
    }
    var column = this.model.columns[this.cursor.col];
    var id = this.cursor.id;
    var canSet = this.cursor.row >= 0 && id >= 0 && !!column && column.editable && model.isEntity(id);
    c.setSubtree.disabled = !(canSet && model.hasChildren(id));
    c.setSelection.disabled = !(this.cursor.row >= 0 && id >= 0 && model.isEntity(id) && !!this.selectionColumn() && this.selection.size > 1);
  };

  FilterView.prototype.showChips = function () {
    var doc = this.doc;
    var self = this;
    var box = this.controls.chips;
    box.textContent = '';
    var state = this.state;
    function chip(text, onRemove) {
      var item = doc.createElement('span');
      item.className = 'filter-chip';
      var label = doc.createElement('span');
      label.textContent = text;
      var remove = doc.createElement('button');
      remove.type = 'button';
      remove.className = 'chip-remove';
      remove.title = Texts.format('RemoveFilter');
      remove.setAttribute('aria-label', Texts.format('RemoveFilter') + ': ' + text);
      remove.textContent = '×';
      remove.addEventListener('click', onRemove);
      item.appendChild(label);
      item.appendChild(remove);
      box.appendChild(item);
    }
    if (state.branch >= 0) {
      chip(Texts.format('Branch', this.model.label(state.branch)), function () {
        state.setBranch(-1);
        self.criteriaChanged();
      });
    }
    if (state.type !== null) {
      chip(Texts.format('TypeFilter', state.type), function () {
        state.setType(null);
        self.criteriaChanged();
      });
    }
    state.filters.forEach(function (f, k) {
      chip(this.model.columnTitle(f.column) + ' ' + Texts.format('Operator_' + f.op) + ' “' + f.value + '”', function () {
        state.removeFilter(k);
        self.criteriaChanged();
      });
    }, this);
    if (state.filters.length + (state.branch >= 0 ? 1 : 0) + (state.type !== null ? 1 : 0) > 1) {
      var clear = doc.createElement('button');
      clear.type = 'button';
      clear.className = 'link-button';
      clear.textContent = Texts.format('ClearFilters');
      clear.addEventListener('click', function () {
        state.clearFilters();
        state.setBranch(-1);
        state.setType(null);
        self.criteriaChanged();
      });
      box.appendChild(clear);
    }
    box.hidden = !box.firstChild;
  };

  // ------------------------------------------------------------ toolbar

  FilterView.prototype.bindToolbar = function () {
    var self = this;
    var c = this.controls;
    c.search.addEventListener('input', function () {
      clearTimeout(self.searchTimer);
      self.searchTimer = setTimeout(function () { self.applySearch(); }, SEARCH_DELAY_MS);
    });
    c.search.addEventListener('keydown', function (e) {
      if (e.key === 'Enter') {
        e.preventDefault();
        clearTimeout(self.searchTimer);
        if (self.state && self.state.query !== c.search.value.trim()) self.applySearch();
        self.jumpToMatch(e.shiftKey ? -1 : 1);
      } else if (e.key === 'Escape' && c.search.value) {
        e.preventDefault();
        c.search.value = '';
        self.applySearch();
      } else if (e.key === 'ArrowDown') {
        e.preventDefault();
        self.focusGrid();
      }
    });
    c.filterColumn.addEventListener('change', function () { self.fillValueSuggestions(); });
    c.filterValue.addEventListener('focus', function () { self.fillValueSuggestions(); });
    c.groupTypes.addEventListener('change', function () { self.setGrouping(c.groupTypes.checked); });
    c.types.addEventListener('click', function () { self.typeList.toggle(); });
    c.filterValue.addEventListener('keydown', function (e) {
      if (e.key === 'Enter') {
        e.preventDefault();
        self.addFilter();
      }
    });
    c.filterAdd.addEventListener('click', function () { self.addFilter(); });
    c.expandAll.addEventListener('click', function () { self.perform({ t: 'level', d: -1 }); });
    c.collapseAll.addEventListener('click', function () { self.perform({ t: 'level', d: 0 }); });
    c.level.addEventListener('change', function () {
      if (c.level.value !== '') self.perform({ t: 'level', d: +c.level.value });
      c.level.value = '';
    });
    c.undo.addEventListener('click', function () { self.perform({ t: 'undo' }); });
    c.setSubtree.addEventListener('click', function () { self.setOnSubtree(self.cursor.id, self.cursor.col); });
    c.setSelection.addEventListener('click', function () { self.setOnSelection(); });
    c.carryNew.addEventListener('click', function () { self.setNewOnly(!self.newOnly); });
    function toggleGone() { self.setGoneOpen(c.gonePanel.hidden); }
    c.carryGone.addEventListener('click', toggleGone);
    c.carrySummary.addEventListener('click', toggleGone);
    function closeGone() {
      self.setGoneOpen(false);
      c.carryGone.focus();
    }
    c.goneClose.addEventListener('click', closeGone);
    c.gonePanel.addEventListener('keydown', function (e) {
      if (e.key === 'Escape') {
        e.preventDefault();
        closeGone();
      }
    });
  };

  FilterView.prototype.perform = function (action) {
    if (!this.model) return false;
    if (this.editing) this.commitEditing();
    return this.filter.perform(action);
  };

  FilterView.prototype.applySearch = function () {
    if (!this.state) return;
    this.state.setQuery(this.controls.search.value);
    this.criteriaChanged();
  };

  FilterView.prototype.addFilter = function () {
    var column = this.filterColumn();
    if (!column || !this.state) return;
    if (this.state.addFilter(column, this.controls.filterOp.value, this.controls.filterValue.value)) {
      this.controls.filterValue.value = '';
      this.criteriaChanged();
    }
  };

  FilterView.prototype.criteriaChanged = function () {
    this.state.recompute();
    this.showTree();
  };

  FilterView.prototype.jumpToMatch = function (step) {
    if (!this.state || !this.state.query || !this.state.passes || !this.rows.count) return;
    var query = this.state.query.toLowerCase();
    var labels = this.state.lowerLabels();
    var count = this.rows.count;
    var start = Math.max(0, this.cursor.row);
    for (var k = 1; k <= count; k++) {
      var at = (start + step * k + count * k) % count;
      var id = this.rows.rows[at];
      if (id >= 0 && labels[id].indexOf(query) >= 0) {
        this.setCursor(at, 0, true);
        return;
      }
    }
  };

  // ------------------------------------------------------------ bulk edits

  FilterView.prototype.cellValue = function (id, colIndex) {
    return this.model.cellText(id, this.model.columns[colIndex]);
  };

  FilterView.prototype.setOnSubtree = function (id, colIndex, value) {
    var column = this.model.columns[colIndex];
    if (id < 0 || !column || !column.editable) return;
    var v = value !== undefined ? value : this.cellValue(id, colIndex);
    this.perform({ t: 'subtree', n: this.model.pathOf(id), c: column.name, v: v });
  };

  // The cursor's value on the selected rows; from a column that cannot be edited, the
  // first editable column's value of the cursor's entity.
  FilterView.prototype.selectionColumn = function () {
    var column = this.model.columns[this.cursor.col];
    if (column && column.editable) return column;
    for (var c = 1; c < this.model.columns.length; c++) {
      if (this.model.columns[c].editable) return this.model.columns[c];
    }
    return null;
  };

  FilterView.prototype.setOnSelection = function () {
    var column = this.selectionColumn();
    if (!column || !this.selection.size || this.cursor.id < 0) return;
    var value = this.model.cellText(this.cursor.id, column);
    var ids = Array.from(this.selection).sort(function (a, b) { return a - b; });
    var model = this.model;
    this.perform({ t: 'rows', n: ids.map(function (id) { return model.pathOf(id); }), c: column.name, v: value });
  };

  FilterView.prototype.menuItems = function (row, col) {
    var self = this;
    var model = this.model;
    var id = this.idAt(row);
    var column = model.columns[col];
    var items = [];
    function item(text, action) {
      items.push({ label: text, action: action });
    }
    if (id === null || !column) return items;
    if (id < 0) {
      var boolColumn = column.kind === 'boolean' && column.editable ? column : model.boolColumn;
      if (boolColumn && boolColumn.editable) {
        item(Texts.format('TickSubtree'), function () { self.setOnEntities(self.rows.groupEntities(id), boolColumn, 'true'); });
        item(Texts.format('UntickSubtree'), function () { self.setOnEntities(self.rows.groupEntities(id), boolColumn, 'false'); });
      }
      return items;
    }
    var editableHere = column.editable && model.isEntity(id);
    var hasChildren = model.hasChildren(id);
    if (editableHere && hasChildren) {
      if (column.kind === 'boolean') {
        item(Texts.format('TickSubtree'), function () { self.setOnSubtree(id, column.index, 'true'); });
        item(Texts.format('UntickSubtree'), function () { self.setOnSubtree(id, column.index, 'false'); });
        var on = model.cellText(id, column) === 'true';
        item(Texts.format(on ? 'UntickAlone' : 'TickAlone'), function () {
          self.perform({ t: 'edit', n: model.pathOf(id), c: column.name, v: on ? 'false' : 'true' });
        });
      } else {
        item(Texts.format('SetValueOnSubtree', this.cellValue(id, column.index)), function () {
          self.setOnSubtree(id, column.index);
        });
      }
    }
    var selectionColumn = this.selectionColumn();
    if (selectionColumn && model.isEntity(id) && this.selection.size > 1) {
      item(Texts.format('SetValueOnSelection', model.cellText(id, selectionColumn), this.numberFormat(this.selection.size)), function () {
        self.setOnSelection();
      });
    }
    if (items.length) items.push({ separator: true });
    if (hasChildren) {
      item(Texts.format('ExpandSubtree'), function () { self.setSubtreeExpanded(id, true); });
      item(Texts.format('CollapseSubtree'), function () { self.setSubtreeExpanded(id, false); });
      item(Texts.format('ShowBranchOnly'), function () {
        self.state.setBranch(id);
        self.criteriaChanged();
      });
    }
    if (items.length && items[items.length - 1].separator) items.pop();
    return items;
  };

  // The menu of a cell, at a point or, from the keyboard, under the cursor cell.
  FilterView.prototype.openMenu = function (row, col, x, y) {
    var id = this.idAt(row);
    if (id === null) return;
    if (id >= 0 && !this.selection.has(id)) {
      this.anchor = row;
      this.select([id], false);
    }
    this.setCursor(row, col, x === undefined);
    if (x === undefined) {
      var cell = this.grid.cellElement(row, col);
      var box = cell ? cell.getBoundingClientRect() : { left: 40, bottom: 80 };
      x = box.left + 8;
      y = box.bottom;
    }
    var items = this.menuItems(row, col);
    if (!items.length) return;
    var grid = this.grid;
    ContextMenu.show(this.doc, items, x, y, Texts.format('ContextMenu'), function () { grid.focus(); });
  };

  FilterView.prototype.setSubtreeExpanded = function (id, open) {
    this.perform({ t: open ? 'expand' : 'collapse', n: this.model.pathOf(id), s: true });
  };

  // ------------------------------------------------------------ editing

  FilterView.prototype.startEdit = function (text, row, col) {
    if (row === undefined) row = this.cursor.row;
    if (col === undefined) col = this.cursor.col;
    var column = this.model.columns[col];
    var id = this.idAt(row);
    if (id === null || !column) return false;
    if (column.kind === 'boolean') {
      this.tick(row, column, false);
      return true;
    }
    if (id < 0 || !this.model.canEdit(id, column)) return false;
    this.setCursor(row, col, true);
    var cell = this.grid.cellElement(row, col);
    if (!cell) return false;
    var self = this;
    var editor = CellUI.editor(this.doc, column.kind, this.model.cellText(id, column), column.options, {
      anchor: cell,
      startText: text,
      done: function (value) {
        self.editing = null;
        self.grid.setEditing(-1);
        var done = self.filter.perform({ t: 'edit', n: self.model.pathOf(id), c: column.name, v: String(value) });
        if (!done) self.grid.repaint();
      },
      cancel: function () {
        self.editing = null;
        self.grid.setEditing(-1);
        self.grid.repaint();
      },
      after: function (move) {
        self.grid.focus();
        if (move === 'down') self.moveCursor(1, 0);
        else if (move === 'right') self.moveCursor(0, 1);
        else if (move === 'left') self.moveCursor(0, -1);
      }
    });
    this.editing = editor;
    this.grid.setEditing(row, cell);
    cell.appendChild(editor.element);
    editor.focus();
    return true;
  };

  FilterView.prototype.commitEditing = function () {
    if (this.editing) this.editing.commit();
  };

  // ------------------------------------------------------------ cursor & selection

  FilterView.prototype.setCursor = function (row, col, scroll) {
    if (!this.rows || !this.rows.count) return;
    row = Math.max(0, Math.min(this.rows.count - 1, row));
    var old = this.grid.cellElement(this.cursor.row, this.cursor.col);
    if (old) old.classList.remove('is-cursor');
    this.cursor = { row: row, id: this.rows.rows[row], col: Math.max(0, Math.min(col, this.model.columns.length - 1)) };
    if (scroll) this.grid.scrollToRow(row);
    var now = this.grid.cellElement(row, this.cursor.col);
    if (now) {
      now.classList.add('is-cursor');
      if (scroll && now.scrollIntoView) now.scrollIntoView({ block: 'nearest', inline: 'nearest' });
    }
    this.grid.setActiveCell(row, this.cursor.col);
    this.showStatus();
  };

  FilterView.prototype.select = function (ids, add) {
    if (!add) this.selection.clear();
    ids.forEach(function (id) { if (id >= 0) this.selection.add(id); }, this);
    this.refreshSelection();
  };

  FilterView.prototype.refreshSelection = function () {
    this.grid.repaint();
    this.showStatus();
  };

  FilterView.prototype.selectRange = function (fromRow, toRow) {
    var ids = [];
    for (var k = Math.min(fromRow, toRow); k <= Math.max(fromRow, toRow); k++) {
      var id = this.rows.rows[k];
      if (id >= 0) ids.push(id);
    }
    this.select(ids, false);
  };

  FilterView.prototype.moveCursor = function (rowStep, colStep, extend) {
    if (!this.rows || !this.rows.count) return;
    var k = Math.max(0, this.cursor.row);
    var next = Math.max(0, Math.min(this.rows.count - 1, k + rowStep));
    var col = Math.max(0, Math.min(this.model.columns.length - 1, this.cursor.col + colStep));
    if (extend) {
      if (this.anchor < 0) this.anchor = k;
      this.selectRange(this.anchor, next);
    } else if (rowStep) {
      this.anchor = next;
    }
    this.setCursor(next, col, true);
  };

  // Left on a closed row: to the row above it in the tree (its group or its parent).
  FilterView.prototype.moveToParent = function (row) {
    var level = this.rows.levels[row];
    for (var k = row - 1; k >= 0; k--) {
      if (this.rows.levels[k] < level) {
        this.setCursor(k, 0, true);
        return;
      }
    }
  };

  FilterView.prototype.pageSize = function () {
    return this.grid.pageRows();
  };

  FilterView.prototype.focusGrid = function () {
    this.grid.focus();
  };

  // ------------------------------------------------------------ leaving

  FilterView.prototype.bindLeaving = function () {
    var filter = this.filter;
    if (typeof window === 'undefined') return;
    window.addEventListener('beforeunload', function (e) {
      if (!filter.isDirty()) return undefined;
      var message = Texts.format('LeaveWarning');
      e.preventDefault();
      e.returnValue = message;
      return message;
    });
    // The window's close control asks the page whether closing loses anything.
    if (window.qor && typeof window.qor.guard === 'function') {
      window.qor.guard(function () { return filter.isDirty() ? Texts.format('CloseWarning') : ''; });
    }
  };

  return FilterView;
});
// Interaction.js
/*
 * Interaction texts for test mode. The dialog pastes a recorded text, as it is, into
 * Filter.simulate('<text>'), so the text must be safe inside a single-quoted script
 * string: it is the interaction's JSON, UTF-8, in base64url without padding
 * (A-Z a-z 0-9 - _ only).
 *
 * Interactions name entities by their path of child positions from the roots:
 *   { t: 'edit',     n: [0,0,1], c: 'Name', v: 'text' }   one cell
 *   { t: 'subtree',  n: [0,0],   c: 'Import', v: 'false' } the entity and all below
 *   { t: 'rows',     n: [[..],[..]], c: 'ImportMode', v: 'ForDesign' } several entities
 *   { t: 'expand',   n: [0] }    { t: 'collapse', n: [0] }   s: true for the whole subtree
 *   { t: 'level',    d: 3 }      expand to a depth (0: collapse all, -1: expand all)
 *   { t: 'undo' }
 *
 * An entity that has a uid is named by it too (u: 'uid', for rows a list beside n,
 * null where there is none): a replay on a later version of the model, where child
 * positions moved, finds the same entity, and skips one that is no longer there.
 */
define("ZQ/DXInputFilterDisplay/Interaction", [], function () {
  'use strict';

  var ALPHABET = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_';
  var SAFE = /^[A-Za-z0-9_-]*$/;
  var LOOKUP = (function () {
    var table = new Int16Array(128).fill(-1);
    for (var k = 0; k < ALPHABET.length; k++) table[ALPHABET.charCodeAt(k)] = k;
    return table;
  })();

  var TYPES = ['edit', 'subtree', 'rows', 'expand', 'collapse', 'level', 'undo'];

  function utf8Encode(text) {
    return new TextEncoder().encode(text);
  }

  function utf8Decode(bytes) {
    return new TextDecoder('utf-8', { fatal: true }).decode(bytes);
  }

  function toBase64Url(bytes) {
    var out = [];
    var k;
    for (k = 0; k + 2 < bytes.length; k += 3) {
      var v = (bytes[k] << 16) | (bytes[k + 1] << 8) | bytes[k + 2];
      out.push(ALPHABET[v >> 18], ALPHABET[(v >> 12) & 63], ALPHABET[(v >> 6) & 63], ALPHABET[v & 63]);
    }
    var rest = bytes.length - k;
    if (rest === 1) {
      var a = bytes[k] << 16;
      out.push(ALPHABET[a >> 18], ALPHABET[(a >> 12) & 63]);
    } else if (rest === 2) {
      var b = (bytes[k] << 16) | (bytes[k + 1] << 8);
      out.push(ALPHABET[b >> 18], ALPHABET[(b >> 12) & 63], ALPHABET[(b >> 6) & 63]);
    }
    return out.join('');
  }

  function fromBase64Url(text) {
    if (typeof text !== 'string' || !SAFE.test(text) || text.length % 4 === 1) {
      throw new Error('not an interaction text');
    }
    var bytes = new Uint8Array(Math.floor(text.length * 3 / 4));
    var o = 0;
    var bits = 0;
    var acc = 0;
    for (var k = 0; k < text.length; k++) {
      acc = ((acc << 6) | LOOKUP[text.charCodeAt(k)]) & 0xffff;
      bits += 6;
      if (bits >= 8) {
        bits -= 8;
        bytes[o++] = (acc >> bits) & 255;
      }
    }
    // Leftover bits must be zero, so each text has one decoding.
    if (acc & ((1 << bits) - 1)) throw new Error('not an interaction text');
    return bytes.subarray(0, o);
  }

  function encode(interaction) {
    return toBase64Url(utf8Encode(JSON.stringify(interaction)));
  }

  function isPath(p) {
    return Array.isArray(p) && p.length > 0 && p.every(function (x) {
      return typeof x === 'number' && x >= 0 && Math.floor(x) === x;
    });
  }

  function isUid(u) {
    return typeof u === 'string' && u.length > 0;
  }

  function validate(obj) {
    if (!obj || typeof obj !== 'object' || TYPES.indexOf(obj.t) < 0) throw new Error('unknown interaction');
    switch (obj.t) {
      case 'edit':
      case 'subtree':
        if (!isPath(obj.n) || typeof obj.c !== 'string' || typeof obj.v !== 'string' ||
            (obj.u !== undefined && !isUid(obj.u))) throw new Error('bad ' + obj.t);
        break;
      case 'rows':
        if (!Array.isArray(obj.n) || !obj.n.every(isPath) || typeof obj.c !== 'string' || typeof obj.v !== 'string' ||
            (obj.u !== undefined && !(Array.isArray(obj.u) && obj.u.length === obj.n.length &&
              obj.u.every(function (u) { return u === null || isUid(u); })))) {
          throw new Error('bad rows');
        }
        break;
      case 'expand':
      case 'collapse':
        if (!isPath(obj.n) || (obj.s !== undefined && typeof obj.s !== 'boolean') ||
            (obj.u !== undefined && !isUid(obj.u))) throw new Error('bad ' + obj.t);
        break;
      case 'level':
        if (typeof obj.d !== 'number' || Math.floor(obj.d) !== obj.d || obj.d < -1) throw new Error('bad level');
        break;
      default:
        break;
    }
    return obj;
  }

  function decode(text) {
    return validate(JSON.parse(utf8Decode(fromBase64Url(text))));
  }

  function isSafe(text) {
    return typeof text === 'string' && SAFE.test(text);
  }

  return {
    encode: encode,
    decode: decode,
    validate: validate,
    isSafe: isSafe,
    TYPES: TYPES
  };
});
// Keyboard.js
/*
 * Keyboard - the grid's keys: arrows move the cursor cell, Right/Left open and close
 * in the tree column, Enter/F2 edit, Space ticks or selects, Shift+F10 and the menu
 * key open the context menu; Ctrl+Z undoes and Ctrl+F searches anywhere on the page.
 */
define("ZQ/DXInputFilterDisplay/Keyboard", [], function () {
  'use strict';

  function onGridKey(view, e) {
    if (!view.model || !view.rows || view.editing) return;
    var target = e.target;
    if (target && target.closest && target.closest('input, select, textarea, .context-menu')) return;
    var model = view.model;
    var column = model.columns[view.cursor.col];
    var row = view.cursor.row;
    var id = view.idAt(row);
    var handled = true;
    if ((e.key === 'F10' && e.shiftKey) || e.key === 'ContextMenu') {
      view.openMenu(Math.max(0, row), view.cursor.col);
      e.preventDefault();
      e.stopPropagation();
      return;
    }
    switch (e.key) {
      case 'ArrowDown': view.moveCursor(1, 0, e.shiftKey); break;
      case 'ArrowUp': view.moveCursor(-1, 0, e.shiftKey); break;
      case 'PageDown': view.moveCursor(view.pageSize(), 0, e.shiftKey); break;
      case 'PageUp': view.moveCursor(-view.pageSize(), 0, e.shiftKey); break;
      case 'Home':
        if (e.ctrlKey) view.moveCursor(-Infinity, 0);
        else view.setCursor(row, 0, true);
        break;
      case 'End':
        if (e.ctrlKey) view.moveCursor(Infinity, 0);
        else view.setCursor(row, model.columns.length - 1, true);
        break;
      case 'ArrowRight':
        if (column && column.kind === 'tree' && id !== null && view.rows.hasChildren(id) && !view.rows.isOpen(id)) {
          view.toggleRow(row);
        } else {
          view.moveCursor(0, 1);
        }
        break;
      case 'ArrowLeft':
        if (column && column.kind === 'tree' && id !== null) {
          if (view.rows.hasChildren(id) && view.rows.isOpen(id)) view.toggleRow(row);
          else view.moveToParent(row);
        } else {
          view.moveCursor(0, -1);
        }
        break;
      case '+':
        if (id !== null && view.rows.hasChildren(id) && !view.rows.isOpen(id)) view.toggleRow(row);
        break;
      case '-':
        if (id !== null && view.rows.isOpen(id)) view.toggleRow(row);
        break;
      case 'Enter':
      case 'F2':
        if (column && column.kind === 'tree') view.toggleRow(row);
        else view.startEdit(undefined);
        break;
      case ' ':
        if (column && column.kind === 'boolean') {
          view.tick(row, column, e.altKey);
        } else if (id !== null && id >= 0) {
          if (view.selection.has(id)) view.selection.delete(id);
          else view.selection.add(id);
          view.anchor = row;
          view.refreshSelection();
        }
        break;
      case 'Escape':
        if (view.selection.size) view.select([], false);
        else handled = false;
        break;
      case 'a':
      case 'A':
        if (e.ctrlKey || e.metaKey) view.select(Array.from(view.rows.rows), false);
        else handled = typeToEdit(view, e);
        break;
      default:
        handled = typeToEdit(view, e);
    }
    if (handled) {
      e.preventDefault();
      e.stopPropagation();
    }
  }

  // A printable key on an editable text cell opens its editor with that key typed.
  function typeToEdit(view, e) {
    if (e.key.length !== 1 || e.ctrlKey || e.metaKey || e.altKey) return false;
    var column = view.model.columns[view.cursor.col];
    if (!column || column.kind === 'enum' || column.kind === 'boolean') return false;
    return view.startEdit(e.key);
  }

  function bind(view) {
    var grid = view.controls.grid;
    grid.addEventListener('keydown', function (e) { onGridKey(view, e); });
    view.doc.addEventListener('keydown', function (e) {
      var target = e.target;
      var inField = target && (target.tagName === 'INPUT' || target.tagName === 'SELECT' || target.tagName === 'TEXTAREA');
      if ((e.ctrlKey || e.metaKey) && !e.altKey && (e.key === 'z' || e.key === 'Z') && !e.shiftKey && !inField) {
        e.preventDefault();
        view.perform({ t: 'undo' });
      } else if ((e.ctrlKey || e.metaKey) && (e.key === 'f' || e.key === 'F')) {
        e.preventDefault();
        view.controls.search.focus();
        view.controls.search.select();
      }
    });
  }

  return { bind: bind, onGridKey: onGridKey };
});
// Nls.js
/*
 * NLS texts: "<Catalog>.<Key>" names a message of the program's catalogs. The catalog
 * name is letters, digits, '_' or '-'; the key is everything after the first dot.
 * A text of another shape, or one whose message does not exist, is shown as it is.
 */
define("ZQ/DXInputFilterDisplay/Nls", [], function () {
  'use strict';

  var SHAPE = /^([A-Za-z0-9_-]+)\.([\s\S]+)$/;
  var hasOwn = Object.prototype.hasOwnProperty;

  function split(text) {
    if (typeof text !== 'string') return null;
    var m = SHAPE.exec(text);
    return m ? { catalog: m[1], key: m[2] } : null;
  }

  // catalogs: { name: { key: text } }, loaded ones only.
  function Resolver(catalogs) {
    this.catalogs = catalogs || {};
  }

  Resolver.prototype.resolve = function (text) {
    var parts = split(text);
    if (!parts) return text;
    var catalog = hasOwn.call(this.catalogs, parts.catalog) ? this.catalogs[parts.catalog] : null;
    if (!catalog || typeof catalog !== 'object' || !hasOwn.call(catalog, parts.key)) return text;
    var message = catalog[parts.key];
    return typeof message === 'string' ? message : text;
  };

  // Asks the bridge for each catalog once; a catalog that fails or takes too long is
  // taken as empty, so its texts show as written.
  function loadCatalogs(names, bridge, timeoutMs) {
    var catalogs = {};
    if (!bridge || typeof bridge.catalog !== 'function' || !names.length) {
      return Promise.resolve(catalogs);
    }
    var requests = names.map(function (name) {
      var request;
      try {
        request = Promise.resolve(bridge.catalog(name));
      } catch (e) {
        request = Promise.reject(e);
      }
      return request.then(function (messages) {
        if (messages && typeof messages === 'object') catalogs[name] = messages;
      }, function () {});
    });
    var all = Promise.all(requests);
    if (!timeoutMs) return all.then(function () { return catalogs; });
    var timer;
    var timeout = new Promise(function (resolve) {
      timer = setTimeout(resolve, timeoutMs);
    });
    return Promise.race([all, timeout]).then(function () {
      clearTimeout(timer);
      return catalogs;
    });
  }

  return {
    split: split,
    Resolver: Resolver,
    loadCatalogs: loadCatalogs
  };
});
// RawJson.js
/*
 * RawJson - JSON that comes back as it came.
 *
 * JSON.parse loses what the filter document must keep: 1.50 becomes 1.5, integers
 * beyond 2^53 change, an object's integer-like keys move to the front, and an escaped
 * string (\u00e9, \/) is written back differently. This parser keeps number tokens as
 * text (RawNumber), and notes on a container (under the META symbol) what plain
 * objects cannot hold: key order when it differs from what the object would report,
 * duplicate keys, and the source token of a string that the writer would spell
 * differently. Everything else is plain objects, arrays and strings, so the model
 * reads the tree directly.
 *
 * The writer escapes like the generator: '"', '\', and control characters only
 * (\b \f \n \r \t, else \u00xx in lower case); everything else verbatim. Whitespace
 * between tokens is not kept: documents come compact.
 */
define("ZQ/DXInputFilterDisplay/RawJson", [], function () {
  'use strict';

  var META = typeof Symbol === 'function' ? Symbol('rawjson') : '@@rawjson';
  var SPAN = typeof Symbol === 'function' ? Symbol('span') : '@@span';
  var SPANS = typeof Symbol === 'function' ? Symbol('spans') : '@@spans';
  var hasOwn = Object.prototype.hasOwnProperty;

  function RawNumber(raw) {
    this.raw = raw;
  }
  RawNumber.prototype.toString = function () {
    return this.raw;
  };

  // Keys the engine orders before the others, whatever the insertion order.
  function isIndexKey(key) {
    var c = key.charCodeAt(0);
    if (c < 48 || c > 57) return false;
    if (!/^(?:0|[1-9][0-9]*)$/.test(key)) return false;
    return Number(key) < 4294967295;
  }

  var ESCAPES = { '"': '\\"', '\\': '\\\\', '\b': '\\b', '\f': '\\f', '\n': '\\n', '\r': '\\r', '\t': '\\t' };
  var NEEDS_ESCAPE = /["\\\u0000-\u001f]/;
  var ESCAPE_ALL = /["\\\u0000-\u001f]/g;

  function escapeChar(ch) {
    var known = ESCAPES[ch];
    if (known) return known;
    var hex = ch.charCodeAt(0).toString(16);
    return '\\u' + '0000'.slice(hex.length) + hex;
  }

  function quote(text) {
    if (!NEEDS_ESCAPE.test(text)) return '"' + text + '"';
    return '"' + text.replace(ESCAPE_ALL, escapeChar) + '"';
  }

  function setOwn(obj, key, value) {
    if (key === '__proto__') {
      Object.defineProperty(obj, key, { value: value, writable: true, enumerable: true, configurable: true });
    } else {
      obj[key] = value;
    }
  }

  function getOwn(obj, key) {
    return obj !== null && typeof obj === 'object' && hasOwn.call(obj, key) ? obj[key] : undefined;
  }

  function hasMember(obj, key) {
    return obj !== null && typeof obj === 'object' && hasOwn.call(obj, key);
  }

  // ---------------------------------------------------------------- parsing

  // With keepSpans, objects that are array elements (the tree's nodes) remember where
  // they are in the text: stringify(value, text) copies those not touched since.
  function parse(text, keepSpans) {
    if (typeof text !== 'string') throw new TypeError('JSON text expected');
    var i = 0;
    var n = text.length;
    var stringRaw = null; // source token of the last string, when the writer would differ
    var spans = keepSpans ? [] : null;

    function fail(what) {
      var near = text.slice(Math.max(0, i - 20), i + 20);
      throw new SyntaxError(what + ' at offset ' + i + ' near ' + JSON.stringify(near));
    }

    function skipSpace() {
      var c;
      while (i < n) {
        c = text.charCodeAt(i);
        if (c === 32 || c === 10 || c === 13 || c === 9) i++;
        else break;
      }
    }

    function hex4() {
      if (i + 4 > n) fail('bad \\u escape');
      var h = text.substr(i, 4);
      if (!/^[0-9a-fA-F]{4}$/.test(h)) fail('bad \\u escape');
      i += 4;
      return parseInt(h, 16);
    }

    function parseString() {
      var start = ++i; // after the opening quote
      var c;
      while (i < n) {
        c = text.charCodeAt(i);
        if (c === 34) {
          stringRaw = null;
          return text.slice(start, i++);
        }
        if (c === 92 || c < 32) break;
        i++;
      }
      // Escapes (or an error): build the value piece by piece.
      var parts = [];
      var run = start;
      while (i < n) {
        c = text.charCodeAt(i);
        if (c === 34) {
          parts.push(text.slice(run, i));
          i++;
          var value = parts.join('');
          var raw = text.slice(start - 1, i);
          stringRaw = quote(value) === raw ? null : raw;
          return value;
        }
        if (c < 32) fail('control character in string');
        if (c !== 92) {
          i++;
          continue;
        }
        parts.push(text.slice(run, i));
        i++;
        if (i >= n) break;
        c = text.charCodeAt(i++);
        switch (c) {
          case 34: parts.push('"'); break;
          case 92: parts.push('\\'); break;
          case 47: parts.push('/'); break;
          case 98: parts.push('\b'); break;
          case 102: parts.push('\f'); break;
          case 110: parts.push('\n'); break;
          case 114: parts.push('\r'); break;
          case 116: parts.push('\t'); break;
          case 117: parts.push(String.fromCharCode(hex4())); break;
          default: i--; fail('bad escape');
        }
        run = i;
      }
      fail('unterminated string');
    }

    function parseNumber() {
      var start = i;
      if (text.charCodeAt(i) === 45) i++;
      var c = text.charCodeAt(i);
      if (c === 48) {
        i++;
      } else if (c >= 49 && c <= 57) {
        while (i < n && (c = text.charCodeAt(i)) >= 48 && c <= 57) i++;
      } else {
        fail('bad number');
      }
      if (text.charCodeAt(i) === 46) {
        i++;
        c = text.charCodeAt(i);
        if (!(c >= 48 && c <= 57)) fail('bad number');
        while (i < n && (c = text.charCodeAt(i)) >= 48 && c <= 57) i++;
      }
      c = text.charCodeAt(i);
      if (c === 101 || c === 69) {
        i++;
        c = text.charCodeAt(i);
        if (c === 43 || c === 45) i++;
        c = text.charCodeAt(i);
        if (!(c >= 48 && c <= 57)) fail('bad number');
        while (i < n && (c = text.charCodeAt(i)) >= 48 && c <= 57) i++;
      }
      return new RawNumber(text.slice(start, i));
    }

    function literal(word, value) {
      if (text.substr(i, word.length) !== word) fail('unexpected token');
      i += word.length;
      return value;
    }

    function parseArray() {
      i++;
      var arr = [];
      var raws = null;
      skipSpace();
      if (text.charCodeAt(i) === 93) {
        i++;
        return arr;
      }
      for (;;) {
        skipSpace();
        var at = i;
        var v = parseValue();
        if (keepSpans && text.charCodeAt(at) === 123) {
          // A small integer on the object, the positions aside: no allocation per node.
          v[SPAN] = spans.length >> 1;
          spans.push(at, i);
        }
        if (typeof v === 'string' && stringRaw !== null) {
          if (!raws) raws = new Map();
          raws.set(arr.length, { v: v, r: stringRaw });
        }
        arr.push(v);
        skipSpace();
        var c = text.charCodeAt(i);
        if (c === 44) {
          i++;
          continue;
        }
        if (c === 93) {
          i++;
          break;
        }
        fail("expected ',' or ']'");
      }
      if (raws) arr[META] = { entries: null, raws: raws };
      return arr;
    }

    function parseObject() {
      i++;
      var obj = {};
      var entries = null; // set once plain key order cannot tell the source order
      var raws = null;
      skipSpace();
      if (text.charCodeAt(i) === 125) {
        i++;
        return obj;
      }
      for (;;) {
        skipSpace();
        if (text.charCodeAt(i) !== 34) fail('expected a key');
        var key = parseString();
        var keyRaw = stringRaw;
        skipSpace();
        if (text.charCodeAt(i) !== 58) fail("expected ':'");
        i++;
        skipSpace();
        var value = parseValue();
        var valueRaw = typeof value === 'string' ? stringRaw : null;
        if (!entries && (keyRaw !== null || key === '__proto__' || hasOwn.call(obj, key) || isIndexKey(key))) {
          entries = Object.keys(obj).map(function (k) {
            var known = raws && raws.get(k);
            return { k: k, rk: null, v: obj[k], rv: known ? known.r : undefined, last: true };
          });
        }
        if (entries) entries.push({ k: key, rk: keyRaw, v: value, last: true });
        if (valueRaw !== null) {
          if (!raws) raws = new Map();
          // The writer asks by key; a duplicate's earlier value keeps its token on its entry.
          raws.set(key, { v: value, r: valueRaw });
          if (entries) entries[entries.length - 1].rv = valueRaw;
        } else if (raws) {
          raws.delete(key);
        }
        setOwn(obj, key, value);
        skipSpace();
        var c = text.charCodeAt(i);
        if (c === 44) {
          i++;
          continue;
        }
        if (c === 125) {
          i++;
          break;
        }
        fail("expected ',' or '}'");
      }
      if (entries) markLast(entries);
      if (entries || raws) obj[META] = { entries: entries, raws: raws };
      return obj;
    }

    function parseValue() {
      var c = text.charCodeAt(i);
      switch (c) {
        case 123: return parseObject();
        case 91: return parseArray();
        case 34: return parseString();
        case 116: return literal('true', true);
        case 102: return literal('false', false);
        case 110: return literal('null', null);
        default:
          if (c === 45 || (c >= 48 && c <= 57)) return parseNumber();
          fail(i >= n ? 'unexpected end' : 'unexpected token');
      }
    }

    skipSpace();
    var result = parseValue();
    skipSpace();
    if (i < n) fail('text after the value');
    if (keepSpans && result !== null && typeof result === 'object') {
      result[SPANS] = { text: text, at: Int32Array.from(spans) };
    }
    return result;
  }

  function markLast(entries) {
    var seen = new Set();
    for (var j = entries.length - 1; j >= 0; j--) {
      var e = entries[j];
      e.last = !seen.has(e.k);
      seen.add(e.k);
    }
  }

  // ---------------------------------------------------------------- writing

  // Concatenation: the engine joins the pieces lazily, faster here than an array join.
  var source = null; // the parsed text and its spans, while stringify copies from it

  // A document parsed with keepSpans is written from its text where it is untouched.
  function stringify(value) {
    source = value !== null && typeof value === 'object' && value[SPANS] ? value[SPANS] : null;
    try {
      return write(value);
    } finally {
      source = null;
    }
  }

  // A node changed: it, and the nodes holding it, are written anew.
  function touch(obj) {
    if (obj !== null && typeof obj === 'object' && obj[SPAN] !== undefined) obj[SPAN] = undefined;
  }

  function writeString(value, rawInfo) {
    return rawInfo && rawInfo.v === value ? rawInfo.r : quote(value);
  }

  function write(value) {
    if (typeof value === 'string') return quote(value);
    if (value === null) return 'null';
    if (value === true) return 'true';
    if (value === false) return 'false';
    if (value instanceof RawNumber) return value.raw;
    if (typeof value === 'number') return isFinite(value) ? JSON.stringify(value) : 'null';
    if (Array.isArray(value)) return writeArray(value);
    if (typeof value === 'object') return writeObject(value);
    return 'null';
  }

  function writeArray(arr) {
    var meta = arr[META];
    var raws = meta && meta.raws;
    var out = '[';
    for (var j = 0; j < arr.length; j++) {
      if (j) out += ',';
      var v = arr[j];
      var span = source !== null && v !== null && typeof v === 'object' ? v[SPAN] : undefined;
      if (span !== undefined) out += source.text.slice(source.at[2 * span], source.at[2 * span + 1]);
      else out += raws && typeof v === 'string' ? writeString(v, raws.get(j)) : write(v);
    }
    return out + ']';
  }

  function writeObject(obj) {
    var meta = obj[META];
    var raws = meta && meta.raws;
    var out = '{';
    var first = true;
    if (meta && meta.entries) {
      var entries = meta.entries;
      for (var j = 0; j < entries.length; j++) {
        var e = entries[j];
        var v;
        if (e.last) {
          if (!hasOwn.call(obj, e.k)) continue;
          v = obj[e.k];
        } else {
          v = e.v;
        }
        if (!first) out += ',';
        first = false;
        out += (e.rk !== null ? e.rk : quote(e.k)) + ':';
        if (typeof v === 'string') {
          if (e.last) out += writeString(v, raws && raws.get(e.k));
          else out += writeString(v, e.rv ? { v: v, r: e.rv } : null);
        } else {
          out += write(v);
        }
      }
    } else {
      for (var key in obj) {
        if (!hasOwn.call(obj, key)) continue;
        var val = obj[key];
        if (!first) out += ',';
        first = false;
        out += quote(key) + ':' + (raws && typeof val === 'string' ? writeString(val, raws.get(key)) : write(val));
      }
    }
    return out + '}';
  }

  // ---------------------------------------------------------------- editing

  // Sets a member, keeping its place when it exists, appending it otherwise.
  function setMember(obj, key, value) {
    var meta = obj[META];
    var exists = hasOwn.call(obj, key);
    if (!exists && !(meta && meta.entries) && (key === '__proto__' || isIndexKey(key))) {
      // From here on the object's own key order no longer tells the written order.
      meta = ensureMeta(obj);
      meta.entries = Object.keys(obj).map(function (k) {
        return { k: k, rk: null, v: obj[k], last: true };
      });
    }
    if (meta && meta.entries && !exists) meta.entries.push({ k: key, rk: null, v: value, last: true });
    setOwn(obj, key, value);
  }

  // Removes a member, every occurrence of a duplicated key included.
  function deleteMember(obj, key) {
    if (!hasOwn.call(obj, key)) return false;
    delete obj[key];
    var meta = obj[META];
    if (meta) {
      if (meta.entries) meta.entries = meta.entries.filter(function (e) { return e.k !== key; });
      if (meta.raws) meta.raws.delete(key);
    }
    return true;
  }

  function ensureMeta(obj) {
    var meta = obj[META];
    if (!meta) {
      meta = { entries: null, raws: null };
      obj[META] = meta;
    }
    return meta;
  }

  function copyMeta(meta) {
    if (!meta) return undefined;
    return {
      entries: meta.entries ? meta.entries.map(function (e) { return Object.assign({}, e); }) : null,
      raws: meta.raws ? new Map(meta.raws) : null
    };
  }

  // A shallow copy that writes exactly as the object does now.
  function snapshot(obj) {
    var keys = Object.keys(obj);
    var values = keys.map(function (k) { return obj[k]; });
    return { keys: keys, values: values, meta: copyMeta(obj[META]) };
  }

  // Puts an object back as a snapshot took it, keeping the object's identity.
  function restore(obj, snap) {
    Object.keys(obj).forEach(function (k) { delete obj[k]; });
    for (var j = 0; j < snap.keys.length; j++) setOwn(obj, snap.keys[j], snap.values[j]);
    var meta = copyMeta(snap.meta);
    if (meta) obj[META] = meta;
    else delete obj[META];
  }

  function isObject(v) {
    return v !== null && typeof v === 'object' && !Array.isArray(v) && !(v instanceof RawNumber);
  }

  function memberCount(obj) {
    return Object.keys(obj).length;
  }

  return {
    parse: parse,
    stringify: stringify,
    quote: quote,
    RawNumber: RawNumber,
    isObject: isObject,
    getMember: getOwn,
    hasMember: hasMember,
    setMember: setMember,
    deleteMember: deleteMember,
    memberCount: memberCount,
    snapshot: snapshot,
    restore: restore,
    touch: touch,
    META: META
  };
});
// RowModel.js
/*
 * RowModel - the rows the grid shows, in order, as one flat list. No DOM here.
 *
 * A row is an entity (its index, >= 0) or a type group (-1 - its number in groups).
 * The list is made again in one pass over the entities whenever the expansion or the
 * criteria change: entities are in pre-order, so a closed or hidden entity's subtree
 * is skipped by jumping to its end. The grid draws only the rows in sight of it.
 *
 * With grouping on, the leaf children of an open entity show under one group row per
 * type ("IfcWall (42)"); containers among the children stay as they are, first.
 * Groups are the page's own: nothing of them goes into the document.
 */
define("ZQ/DXInputFilterDisplay/RowModel", [], function () {
  'use strict';

  // Past this depth grouping walks no further down (the walk with groups recurses).
  var GROUP_DEPTH_LIMIT = 400;

  function RowModel(model, state) {
    this.model = model;
    this.state = state;
    this.grouping = false;
    this.openGroups = new Set(); // "parent type" of the groups the user opened
    this.groups = [];
    this.rows = new Int32Array(0);
    this.levels = new Int32Array(0);
    this.count = 0;
  }

  RowModel.prototype.isGroup = function (row) {
    return row < 0;
  };

  RowModel.prototype.group = function (row) {
    return this.groups[-1 - row];
  };

  RowModel.prototype.setGrouping = function (on) {
    this.grouping = !!on && !!this.model.typeColumn;
  };

  RowModel.prototype.rebuild = function () {
    var model = this.model;
    var state = this.state;
    var n = model.size;
    var end = model.end;
    var depth = model.depth;
    var rows = [];
    var levels = [];
    this.groups = [];
    if (!this.grouping) {
      var i = 0;
      while (i < n) {
        if (!state.isVisible(i)) {
          i = end[i];
          continue;
        }
        rows.push(i);
        levels.push(depth[i]);
        i = state.isExpanded(i) && end[i] > i + 1 ? i + 1 : end[i];
      }
    } else {
      for (var k = 0; k < model.roots.length; k++) this.emit(model.roots[k], 0, rows, levels);
    }
    this.rows = Int32Array.from(rows);
    this.levels = Int32Array.from(levels);
    this.count = rows.length;
  };

  RowModel.prototype.emit = function (i, level, rows, levels) {
    var model = this.model;
    var state = this.state;
    if (!state.isVisible(i)) return;
    rows.push(i);
    levels.push(level);
    if (!state.isExpanded(i) || !model.hasChildren(i)) return;
    if (level > GROUP_DEPTH_LIMIT) return;
    var byType = new Map();
    for (var j = i + 1; j < model.end[i]; j = model.end[j]) {
      if (!state.isVisible(j)) continue;
      if (model.hasChildren(j)) {
        this.emit(j, level + 1, rows, levels);
        continue;
      }
      var type = model.typeOf(j);
      var members = byType.get(type);
      if (!members) byType.set(type, (members = []));
      members.push(j);
    }
    var types = Array.from(byType.keys()).sort();
    for (var t = 0; t < types.length; t++) {
      var g = this.groups.length;
      var key = i + ' ' + types[t];
      var group = { parent: i, type: types[t], members: byType.get(types[t]), key: key };
      this.groups.push(group);
      rows.push(-1 - g);
      levels.push(level + 1);
      if (!this.groupShowsMembers(key)) continue;
      for (var m = 0; m < group.members.length; m++) {
        rows.push(group.members[m]);
        levels.push(level + 2);
      }
    }
  };

  // While a search or filter narrows the rows, groups show what passes in them.
  RowModel.prototype.groupShowsMembers = function (key) {
    return this.openGroups.has(key) !== (this.state.visible !== null);
  };

  RowModel.prototype.isOpen = function (row) {
    if (row < 0) return this.groupShowsMembers(this.group(row).key);
    return this.state.isExpanded(row);
  };

  RowModel.prototype.hasChildren = function (row) {
    return row < 0 ? this.group(row).members.length > 0 : this.model.hasChildren(row);
  };

  RowModel.prototype.setGroupOpen = function (row, open) {
    var key = this.group(row).key;
    if (open !== (this.state.visible !== null)) this.openGroups.add(key);
    else this.openGroups.delete(key);
  };

  // The entities a group row stands for, their subtrees included.
  RowModel.prototype.groupEntities = function (row) {
    var model = this.model;
    var out = [];
    this.group(row).members.forEach(function (i) {
      for (var j = i; j < model.end[i]; j++) out.push(j);
    });
    return out;
  };

  // Import counts of a group's members: { imported, total }.
  RowModel.prototype.groupCounts = function (row) {
    var model = this.model;
    var imported = 0;
    var total = 0;
    this.group(row).members.forEach(function (i) {
      imported += model.importCount[i];
      total += model.totalCount[i];
    });
    return { imported: imported, total: total };
  };

  // A boolean column's box for a group: its members' subtrees, as FilterModel.subtreeState;
  // null when none of them holds a value in the column.
  RowModel.prototype.groupState = function (row, column) {
    var model = this.model;
    var members = this.group(row).members;
    if (column === model.boolColumn) {
      var counts = this.groupCounts(row);
      return counts.imported === 0 ? 0 : counts.imported === counts.total ? 1 : -1;
    }
    var booleans = model.boolCounts.get(column);
    if (!booleans) return 0;
    var on = 0;
    var off = 0;
    for (var m = 0; m < members.length; m++) {
      on += booleans.on[members[m]];
      off += booleans.off[members[m]];
    }
    return on + off ? model.stateOf(on, off) : null;
  };

  // The row showing the entity, -1 when none does.
  RowModel.prototype.rowOf = function (id) {
    if (!this.grouping && id >= 0) {
      // Without groups the rows are in pre-order, as the entities are numbered.
      var lo = 0;
      var hi = this.count - 1;
      while (lo <= hi) {
        var mid = (lo + hi) >> 1;
        var at = this.rows[mid];
        if (at === id) return mid;
        if (at < id) lo = mid + 1;
        else hi = mid - 1;
      }
      return -1;
    }
    return this.rows.indexOf(id);
  };

  // The row of a group found again after a rebuild, by its parent and type.
  RowModel.prototype.rowOfGroup = function (key) {
    for (var g = 0; g < this.groups.length; g++) {
      if (this.groups[g].key === key) return this.rowOf(-1 - g);
    }
    return -1;
  };

  return RowModel;
});
// Texts.js
/*
 * The page's own texts. The catalog DXInputFilterDisplay gives them in the user's
 * language; these English ones stand in for any message it lacks.
 */
define("ZQ/DXInputFilterDisplay/Texts", [], function () {
  'use strict';

  var ENGLISH = {
    Loading: "Loading…",
    LoadError: "The filter could not be read: {0}",
    EmptyDocument: "The file contains no entities.",
    NoRows: "No entity matches the search and filters.",
    EmptyEntity: "(no entity)",
    Search: "Search",
    SearchPlaceholder: "Search by name…",
    SearchMatches: "{0} found",
    SearchNoMatch: "Not found",
    Filter: "Filter",
    FilterColumn: "Column",
    FilterOperator: "Condition",
    FilterValue: "Value",
    Operator_is: "is",
    Operator_isNot: "is not",
    Operator_contains: "contains",
    AddFilter: "Add",
    AddFilterTooltip: "Show only the entities whose value meets the condition",
    RemoveFilter: "Remove this filter",
    ClearFilters: "Clear all",
    Branch: "Branch: {0}",
    ExpandAll: "Expand all",
    CollapseAll: "Collapse all",
    ExpandToLevel: "Levels",
    Level: "Level {0}",
    Undo: "Undo",
    UndoTooltip: "Undo the last edit (Ctrl+Z)",
    SetOnSubtree: "Set on subtree",
    SetOnSubtreeTooltip: "Give the current cell's value to every entity below it",
    SetOnSelection: "Set on selected rows",
    SetOnSelectionTooltip: "Give the current cell's value to every selected row",
    TickSubtree: "Tick for the whole subtree",
    UntickSubtree: "Untick for the whole subtree",
    SetValueOnSubtree: "Set “{0}” on the whole subtree",
    SetValueOnSelection: "Set “{0}” on the {1} selected rows",
    ShowBranchOnly: "Show this branch only",
    ExpandSubtree: "Expand everything below",
    CollapseSubtree: "Collapse everything below",
    SummaryImport: "{0} of {1} entities will be imported",
    SummaryCount: "{0} entities",
    Shown: "{0} shown",
    Selected: "{0} selected",
    OneEdit: "1 edit",
    Edits: "{0} edits",
    NoEdits: "No edits",
    InvalidNumber: "Enter a number, e.g. 3.25",
    Yes: "Yes",
    No: "No",
    Mixed: "Partly",
    TickTooltip: "Click: this entity and everything below it. Alt+click: this entity only",
    MixedTooltip: "Some of the entities below are imported, some not",
    Kind_boolean: "Tick box",
    Kind_enum: "List of values",
    Kind_number: "Number",
    Kind_date: "Date",
    Kind_color: "Colour",
    Kind_runtime: "Computed",
    Kind_string: "Text",
    Kind_text: "Text",
    ReadOnly: "read only",
    TypeGroup: "{0} ({1})",
    NoType: "(no type)",
    GroupByType: "Group by type",
    GroupByTypeTooltip: "Show the elements under each container in one group per type",
    Types: "Types",
    TypesTooltip: "Show or tick the entities of a type, its subtypes included",
    TypeShowOnly: "Show only",
    TypeTick: "Tick all",
    TypeUntick: "Untick all",
    TypeFilter: "Type: {0}",
    TickAlone: "Tick this entity only",
    UntickAlone: "Untick this entity only",
    GridLabel: "Entities of the file",
    SameAsEntity: "Same as the entity: {0}",
    ContextMenu: "Actions",
    CloseWarning: "Your edits have not been applied yet. Close and lose them?",
    LeaveWarning: "Your edits have not been applied yet.",
    TitleWithFile: "{0} – {1}"
  };

  var texts = Object.assign({}, ENGLISH);

  // "{0} of {1}" with the arguments as text.
  function format(key) {
    var args = Array.prototype.slice.call(arguments, 1);
    var template = Object.prototype.hasOwnProperty.call(texts, key) ? texts[key] : key;
    return template.replace(/\{(\d+)\}/g, function (whole, k) {
      return k < args.length ? String(args[k]) : whole;
    });
  }

  // Takes the catalog's messages over the English ones; other keys are ignored.
  function use(catalog) {
    if (!catalog || typeof catalog !== 'object') return;
    Object.keys(ENGLISH).forEach(function (key) {
      if (typeof catalog[key] === 'string') texts[key] = catalog[key];
    });
  }

  function reset() {
    texts = Object.assign({}, ENGLISH);
  }

  return {
    CATALOG: 'DXInputFilterDisplay',
    ENGLISH: ENGLISH,
    format: format,
    use: use,
    reset: reset
  };
});
// TreeGrid.js
/*
 * TreeGrid - the tree grid's DOM: a header and the rows in sight, over RowModel.
 *
 * Written for this page rather than taken from a grid library: the libraries at hand
 * keep a row object (and its DOM) for every row they ever drew and update them all on
 * a change, which made a tick cost seconds after a long scroll through 100,000 rows.
 * Here only the rows in the viewport (and a few more) exist; rows are positioned
 * absolutely in a body as tall as all rows, and are repainted from the model when
 * they come into sight or something changes. A change costs the rows in sight,
 * wherever the user has scrolled.
 *
 * Scrolling is what a frame must keep cheap: the rows' elements are a pool (a row out
 * of sight is reused, cells and all, for the next one that comes into sight), the
 * geometry is read from observers rather than asked of the layout, and a cell is
 * touched only when what it shows changed.
 *
 * One focusable element (role treegrid) holds the keys; the cursor cell is its
 * aria-activedescendant. The view decides what a click or a key does.
 */
define("ZQ/DXInputFilterDisplay/TreeGrid", ['./CellUI', './Texts'], function (CellUI, Texts) {
  'use strict';

  var ROW_HEIGHT = 30;
  var OVERSCAN = 8;
  var INDENT = 18;
  var WIDTHS = { tree: 'minmax(260px, 3fr)', boolean: '84px', enum: 'minmax(140px, 1.1fr)', number: 'minmax(110px, 0.9fr)',
    date: 'minmax(120px, 1fr)', color: 'minmax(120px, 1fr)', runtime: 'minmax(190px, 0.9fr)', string: 'minmax(120px, 1.4fr)',
    text: 'minmax(120px, 1.4fr)' };
  var MIN_WIDTHS = { tree: 260, boolean: 84, enum: 140, number: 110, date: 120, color: 120, runtime: 190, string: 120, text: 120 };

  function TreeGrid(host, view) {
    this.host = host;
    this.view = view;
    this.doc = host.ownerDocument;
    this.rowModel = null;
    this.model = null;
    this.slots = new Map(); // row index -> element
    this.spare = [];
    this.frame = 0;
    this.editingRow = -1;
    this.scrollTop = 0; // as the last scroll event said: reading it may force a layout
    this.viewHeight = 0; // the scroller's and the header's heights, from ResizeObserver
    this.headHeight = 0;
    var doc = this.doc;
    host.textContent = '';
    var scroller = doc.createElement('div');
    scroller.className = 'tg';
    scroller.id = 'treegrid';
    scroller.setAttribute('role', 'treegrid');
    scroller.setAttribute('aria-multiselectable', 'true');
    scroller.tabIndex = 0;
    var head = doc.createElement('div');
    head.className = 'tg-head';
    head.setAttribute('role', 'rowgroup');
    var body = doc.createElement('div');
    body.className = 'tg-body';
    body.setAttribute('role', 'rowgroup');
    var placeholder = doc.createElement('div');
    placeholder.className = 'grid-placeholder';
    placeholder.hidden = true;
    scroller.appendChild(head);
    scroller.appendChild(body);
    scroller.appendChild(placeholder);
    host.appendChild(scroller);
    this.scroller = scroller;
    this.head = head;
    this.body = body;
    this.placeholder = placeholder;
    var self = this;
    scroller.addEventListener('scroll', function () {
      self.scrollTop = scroller.scrollTop;
      self.schedule();
    }, { passive: true });
    if (typeof ResizeObserver === 'function') {
      var observer = new ResizeObserver(function (entries) {
        for (var e = 0; e < entries.length; e++) {
          var box = entries[e].borderBoxSize && entries[e].borderBoxSize[0];
          if (entries[e].target === scroller) self.viewHeight = entries[e].contentRect.height;
          else self.headHeight = box ? box.blockSize : entries[e].contentRect.height;
        }
        self.schedule();
      });
      observer.observe(scroller);
      observer.observe(head);
    }
    scroller.addEventListener('mousedown', function (e) { self.onPointer(e, 'down'); });
    scroller.addEventListener('click', function (e) { self.onPointer(e, 'click'); });
    scroller.addEventListener('dblclick', function (e) { self.onPointer(e, 'dblclick'); });
    scroller.addEventListener('contextmenu', function (e) { self.onPointer(e, 'menu'); });
  }

  TreeGrid.ROW_HEIGHT = ROW_HEIGHT;

  // A new document: header and rows from scratch.
  TreeGrid.prototype.setModel = function (model, rowModel) {
    this.model = model;
    this.rowModel = rowModel;
    var doc = this.doc;
    var columns = model.columns;
    var template = columns.map(function (c) { return WIDTHS[c.kind] || 'minmax(110px, 1fr)'; }).join(' ');
    var minWidth = columns.reduce(function (sum, c) { return sum + (MIN_WIDTHS[c.kind] || 110); }, 0);
    this.scroller.style.setProperty('--tg-columns', template);
    this.scroller.style.setProperty('--tg-min-width', minWidth + 'px');
    this.scroller.setAttribute('aria-colcount', String(columns.length));
    this.head.textContent = '';
    var header = doc.createElement('div');
    header.className = 'tg-row tg-header';
    header.setAttribute('role', 'row');
    header.setAttribute('aria-rowindex', '1');
    columns.forEach(function (column) {
      var cell = doc.createElement('div');
      cell.className = 'tg-cell tg-col kind-' + column.kind + (column.editable ? ' is-editable' : '');
      cell.setAttribute('role', 'columnheader');
      cell.appendChild(CellUI.renderTitle(doc, column.kind, model.columnTitle(column), column.editable));
      header.appendChild(cell);
    });
    this.head.appendChild(header);
    this.slots.forEach(function (element) { element.remove(); });
    this.spare.forEach(function (element) { element.remove(); });
    this.slots.clear();
    this.spare = [];
    this.editingRow = -1;
    this.scroller.scrollTop = 0;
    this.scrollTop = 0;
    this.refresh();
  };

  TreeGrid.prototype.setLabel = function (text) {
    this.scroller.setAttribute('aria-label', text);
  };

  TreeGrid.prototype.setPlaceholder = function (text) {
    this.placeholder.textContent = text;
  };

  // The rows changed (count or order): every row in sight is painted again.
  TreeGrid.prototype.refresh = function () {
    if (!this.rowModel) return;
    var count = this.rowModel.count;
    this.body.style.height = count * ROW_HEIGHT + 'px';
    this.scroller.setAttribute('aria-rowcount', String(count + 1));
    this.placeholder.hidden = count > 0;
    this.editingRow = -1;
    // Fewer rows: the browser pulls the scroll position up, and says so a frame later.
    var g = this.geometry();
    this.scrollTop = Math.max(0, Math.min(this.scrollTop, count * ROW_HEIGHT + g.head - g.height));
    this.render(true);
  };

  // Values changed: the rows in sight are painted again, the rest is not there.
  TreeGrid.prototype.repaint = function () {
    this.render(true);
  };

  TreeGrid.prototype.schedule = function () {
    if (this.frame) return;
    var self = this;
    var raf = typeof requestAnimationFrame === 'function' ? requestAnimationFrame : function (f) { return setTimeout(f, 16); };
    this.frame = raf(function () {
      self.frame = 0;
      self.render(false);
    });
  };

  // Heights as the observers last saw them; measured once when they have not yet said.
  TreeGrid.prototype.geometry = function () {
    if (!this.viewHeight) this.viewHeight = this.scroller.clientHeight;
    if (!this.headHeight) this.headHeight = this.head.offsetHeight;
    return { height: this.viewHeight || ROW_HEIGHT * 20, head: this.headHeight || ROW_HEIGHT };
  };

  TreeGrid.prototype.visibleRange = function () {
    var g = this.geometry();
    var top = this.scrollTop;
    // Row k is at head + k * ROW_HEIGHT; the header stays over the rows' top.
    var first = Math.max(0, Math.floor(top / ROW_HEIGHT));
    var last = Math.min(this.rowModel.count, Math.ceil((top + g.height - g.head) / ROW_HEIGHT));
    return { first: first, last: last, shown: Math.max(1, Math.floor((g.height - g.head) / ROW_HEIGHT)) };
  };

  TreeGrid.prototype.render = function (all) {
    if (!this.rowModel) return;
    var range = this.visibleRange();
    var from = Math.max(0, range.first - OVERSCAN);
    var to = Math.min(this.rowModel.count, range.last + OVERSCAN);
    var self = this;
    // Rows out of range go to the spares; an open editor's row stays as it is.
    this.slots.forEach(function (element, k) {
      if ((k < from || k >= to) && k !== self.editingRow) {
        self.slots.delete(k);
        self.spare.push(element);
      }
    });
    for (var k = from; k < to; k++) {
      var element = this.slots.get(k);
      if (element && !all) continue;
      if (k === this.editingRow) continue;
      if (!element) {
        element = this.spare.pop() || this.makeRow();
        this.slots.set(k, element);
      }
      this.paintRow(element, k);
      if (!element.parentNode) this.body.appendChild(element);
    }
    // Spares leave the DOM (what is there is what is in sight, for assistive technology
    // too) but keep their cells for the next row that comes into sight.
    var keep = 2 * (to - from) + 16;
    while (this.spare.length > keep) this.spare.pop().remove();
    for (var s = 0; s < this.spare.length; s++) {
      if (this.spare[s].parentNode) this.spare[s].remove();
    }
    this.view.onRendered();
  };

  TreeGrid.prototype.makeRow = function () {
    var doc = this.doc;
    var element = doc.createElement('div');
    element.className = 'tg-row';
    element.setAttribute('role', 'row');
    var columns = this.model.columns;
    for (var c = 0; c < columns.length; c++) {
      var cell = doc.createElement('div');
      cell.setAttribute('role', 'gridcell');
      cell.dataset.col = String(c);
      cell.signature = null;
      element.appendChild(cell);
    }
    element.rowIndex = -1;
    element.state = '';
    return element;
  };

  TreeGrid.prototype.paintRow = function (element, k) {
    var view = this.view;
    var model = this.model;
    var rowModel = this.rowModel;
    var id = rowModel.rows[k];
    var group = id < 0;
    var level = rowModel.levels[k];
    if (element.rowIndex !== k) {
      element.rowIndex = k;
      element.style.top = k * ROW_HEIGHT + 'px';
      element.dataset.row = String(k);
      element.setAttribute('aria-rowindex', String(k + 2));
    }
    var parentRow = rowModel.hasChildren(id);
    var open = parentRow && rowModel.isOpen(id);
    var selected = !group && view.selection.has(id);
    var entity = !group && model.isEntity(id);
    var context = !group && view.state.isContext(id);
    var excluded = entity && !!model.boolColumn && !model.importFlag[id];
    var isNew = !group && model.flags[id] === 1;
    // The row's own attributes as one string: when it is the same, nothing is written.
    var state = level + (parentRow ? (open ? 'o' : 'c') : 'l') + (selected ? 's' : '') + (group ? 'g' : '') +
      (context ? 'x' : '') + (group || entity ? '' : 'n') + (excluded ? 'e' : '') + (isNew ? 'w' : '');
    if (element.state !== state) {
      element.state = state;
      element.setAttribute('aria-level', String(level + 1));
      if (parentRow) element.setAttribute('aria-expanded', open ? 'true' : 'false');
      else element.removeAttribute('aria-expanded');
      element.setAttribute('aria-selected', selected ? 'true' : 'false');
      element.className = 'tg-row' + (selected ? ' is-selected' : '') + (group ? ' is-group' : '') +
        (context ? ' is-context' : '') + (!group && !entity ? ' is-null' : '') + (excluded ? ' is-excluded' : '') +
        (isNew ? ' is-new' : '');
    }
    var cells = element.children;
    for (var c = 0; c < model.columns.length; c++) this.paintCell(cells[c], k, id, model.columns[c], level, parentRow);
  };

  // A cell's content as one string: equal strings, equal nodes.
  function signatureOf(content) {
    var x = content.extra;
    var s = content.kind + '\u0000' + content.text;
    if (!x) return s;
    return s + '\u0000' + (x.chevron || '') + '|' + (x.level || 0) + '|' + (x.empty ? 1 : 0) + '|' + (x.isNew ? 1 : 0) + '|' +
      (x.mixed ? 1 : 0);
  }

  TreeGrid.prototype.paintCell = function (cell, k, id, column, level, parentRow) {
    var model = this.model;
    var view = this.view;
    var kind = column.kind;
    var group = id < 0;
    var className = 'tg-cell kind-' + kind + (column.editable ? ' is-editable' : '') +
      (view.cursor.row === k && view.cursor.col === column.index ? ' is-cursor' : '') +
      (!group && model.isEdited(id, column) ? ' is-edited' : '');
    if (cell.className !== className) cell.className = className;
    var cellId = 'cell-' + k + '-' + column.index;
    if (cell.id !== cellId) cell.id = cellId;
    var content = this.cellContent(id, column, level, parentRow);
    // Same content, same nodes: a double click needs both clicks on one element.
    var signature = signatureOf(content);
    if (cell.signature === signature) return;
    cell.signature = signature;
    cell.textContent = '';
    if (content.title) cell.title = content.title;
    else if (cell.title) cell.removeAttribute('title');
    var doc = this.doc;
    if (content.kind === 'tree' || content.kind === 'group') {
      var indent = doc.createElement('span');
      indent.className = 'tg-indent';
      indent.style.width = level * INDENT + 'px';
      cell.appendChild(indent);
      var chevron = doc.createElement('span');
      chevron.className = content.extra.chevron;
      chevron.setAttribute('aria-hidden', 'true');
      cell.appendChild(chevron);
      if (content.kind === 'group') {
        var label = doc.createElement('span');
        label.className = 'cell-text cell-label cell-group';
        label.textContent = content.text;
        cell.appendChild(label);
      } else {
        cell.appendChild(CellUI.render(doc, 'tree', content.text, { empty: content.extra.empty }));
        if (content.extra.isNew && view.marks) {
          var badge = doc.createElement('span');
          badge.className = 'badge-new';
          badge.textContent = view.marks.badge();
          badge.title = view.marks.badgeTooltip();
          cell.appendChild(badge);
        }
      }
      return;
    }
    if (content.kind === null) return;
    if (content.kind === 'same') {
      var same = doc.createElement('span');
      same.className = 'cell-text cell-same';
      same.textContent = '=';
      same.setAttribute('aria-label', content.text);
      cell.appendChild(same);
      return;
    }
    var extra = Object.assign({ options: column.options, formatNumber: view.numberFormat }, content.extra);
    cell.appendChild(CellUI.render(doc, content.kind, content.text, extra));
  };

  // What a cell shows: { kind, text, extra, title }; kind null for nothing.
  TreeGrid.prototype.cellContent = function (id, column, level, parentRow) {
    var model = this.model;
    var view = this.view;
    var kind = column.kind;
    if (kind === 'tree') {
      var chevron = parentRow ? 'tg-chevron' + (this.rowModel.isOpen(id) ? ' is-open' : '') : 'tg-chevron is-leaf';
      if (id < 0) {
        var g = this.rowModel.group(id);
        return { kind: 'group', text: Texts.format('TypeGroup', g.type || Texts.format('NoType'), view.numberFormat(g.members.length)),
          extra: { chevron: chevron, level: level } };
      }
      var label = model.label(id);
      var isNew = model.flags[id] === 1;
      return { kind: 'tree', text: label, title: label,
        extra: { chevron: chevron, level: level, empty: !model.isEntity(id), isNew: isNew } };
    }
    if (id < 0) {
      if (kind === 'runtime' && model.boolColumn) {
        var counts = this.rowModel.groupCounts(id);
        return { kind: 'runtime', text: counts.imported + ' / ' + counts.total };
      }
      if (kind !== 'boolean' || (column !== model.boolColumn && !model.boolCounts.has(column))) return { kind: null, text: '' };
      var groupState = this.rowModel.groupState(id, column);
      if (groupState === null) return { kind: null, text: '' };
      return { kind: 'boolean', text: groupState === 0 ? 'false' : 'true', extra: { mixed: groupState === -1 } };
    }
    if (!model.isEntity(id)) return { kind: null, text: '' };
    var value = model.cellText(id, column);
    if (kind === 'boolean') {
      return { kind: kind, text: value, extra: { mixed: parentRow && model.subtreeState(id, column) === -1 } };
    }
    // A leaf's own count says nothing: "1 / 1" is the tick again.
    if (kind === 'runtime') return parentRow ? { kind: kind, text: value } : { kind: null, text: '' };
    // A name that is the tree's label already is not shown twice.
    if (column === model.nameColumn && value !== '' && value === model.label(id)) {
      return { kind: 'same', text: value, title: Texts.format('SameAsEntity', value) };
    }
    return { kind: kind, text: value, title: value };
  };

  // An editor opens in a cell (k >= 0) or closes (k < 0). The editing row rises over
  // the next ones, which its problem note hangs over.
  TreeGrid.prototype.setEditing = function (k, cell) {
    var row = this.slots.get(this.editingRow);
    if (row) {
      row.state = '';
      row.classList.remove('is-editing');
      Array.prototype.forEach.call(row.children, function (c) {
        c.classList.remove('is-editing');
      });
    }
    this.editingRow = k;
    if (k < 0 || !cell) return;
    cell.signature = null; // painted anew once the editor is gone
    cell.textContent = '';
    cell.classList.add('is-editing');
    cell.parentNode.classList.add('is-editing');
  };

  // The element of a row in sight, or null.
  TreeGrid.prototype.rowElement = function (k) {
    return this.slots.get(k) || null;
  };

  TreeGrid.prototype.cellElement = function (k, col) {
    var row = this.slots.get(k);
    return row ? row.children[col] || null : null;
  };

  // Brings a row into sight (the nearest edge), then paints.
  TreeGrid.prototype.scrollToRow = function (k) {
    var g = this.geometry();
    var top = k * ROW_HEIGHT;
    var view = g.height - g.head;
    var to = this.scrollTop;
    if (top < to) to = top;
    else if (top + ROW_HEIGHT > to + view) to = top + ROW_HEIGHT - view;
    if (to !== this.scrollTop) {
      this.scroller.scrollTop = to;
      this.scrollTop = to;
    }
    this.render(false);
  };

  TreeGrid.prototype.pageRows = function () {
    return Math.max(1, this.visibleRange().shown - 1);
  };

  TreeGrid.prototype.focus = function () {
    if (this.doc.activeElement !== this.scroller) this.scroller.focus({ preventScroll: true });
  };

  TreeGrid.prototype.setActiveCell = function (k, col) {
    var cell = this.cellElement(k, col);
    var id = cell ? cell.id : null;
    if (this.scroller.getAttribute('aria-activedescendant') === id) return;
    if (id) this.scroller.setAttribute('aria-activedescendant', id);
    else this.scroller.removeAttribute('aria-activedescendant');
  };

  TreeGrid.prototype.onPointer = function (e, what) {
    var target = e.target;
    // A repaint after the first click of a double click replaced what was clicked.
    if (target && !target.isConnected && this.doc.elementFromPoint) target = this.doc.elementFromPoint(e.clientX, e.clientY);
    if (!target || !target.closest) return;
    if (target.closest('.cell-editor, .color-editor')) return;
    var rowElement = target.closest('.tg-row');
    if (!rowElement || rowElement.classList.contains('tg-header')) return;
    var cell = target.closest('.tg-cell');
    var k = +rowElement.dataset.row;
    var col = cell ? +cell.dataset.col : 0;
    if (what === 'down') {
      // The grid keeps the focus: a click on a row is not a text selection.
      if (e.button === 0 && !target.closest('input, select, textarea')) {
        e.preventDefault();
        this.focus();
      }
      return;
    }
    var part = target.classList.contains('tg-chevron') ? 'chevron' : target.closest('.tick') ? 'tick' : 'cell';
    this.view.onGridPointer(what, k, col, part, e, cell);
  };

  return TreeGrid;
});
// TypeList.js
/*
 * TypeList - the model's types with their counts, a type counting its subtypes' too
 * ("IfcWall" holds IfcWallStandardCase). From the list the user shows only a type or
 * ticks and unticks all its entities in one step.
 */
define("ZQ/DXInputFilterDisplay/TypeList", ['./Texts'], function (Texts) {
  'use strict';

  function TypeList(view) {
    this.view = view;
    this.panel = null;
  }

  TypeList.prototype.isOpen = function () {
    return !!this.panel;
  };

  TypeList.prototype.toggle = function () {
    if (this.panel) this.close();
    else this.open();
  };

  TypeList.prototype.close = function () {
    if (!this.panel) return;
    this.panel.remove();
    this.panel = null;
    this.view.controls.types.setAttribute('aria-expanded', 'false');
  };

  // The entities of a type and its subtypes.
  TypeList.prototype.entitiesOf = function (type) {
    var model = this.view.model;
    var out = [];
    for (var i = 0; i < model.size; i++) if (model.isOfType(i, type)) out.push(i);
    return out;
  };

  TypeList.prototype.open = function () {
    var view = this.view;
    var model = view.model;
    if (!model || !model.typeColumn) return;
    var doc = view.doc;
    var self = this;
    var counts = model.typeCounts();
    var panel = doc.createElement('div');
    panel.className = 'type-list';
    panel.id = 'type-list';
    panel.setAttribute('role', 'dialog');
    panel.setAttribute('aria-label', Texts.format('Types'));
    var table = doc.createElement('table');
    var types = Array.from(counts.keys()).sort();
    types.forEach(function (type) {
      var tr = doc.createElement('tr');
      tr.dataset.type = type;
      var name = doc.createElement('th');
      name.scope = 'row';
      name.textContent = type;
      var count = doc.createElement('td');
      count.className = 'type-count';
      count.textContent = view.numberFormat(counts.get(type).count);
      tr.appendChild(name);
      tr.appendChild(count);
      function action(label, run) {
        var td = doc.createElement('td');
        var button = doc.createElement('button');
        button.type = 'button';
        button.className = 'link-button';
        button.textContent = Texts.format(label);
        button.setAttribute('aria-label', Texts.format(label) + ': ' + type);
        button.addEventListener('click', run);
        td.appendChild(button);
        tr.appendChild(td);
      }
      action('TypeShowOnly', function () {
        view.state.setType(type);
        view.criteriaChanged();
      });
      if (model.boolColumn && model.boolColumn.editable) {
        action('TypeTick', function () { view.setOnEntities(self.entitiesOf(type), model.boolColumn, 'true'); });
        action('TypeUntick', function () { view.setOnEntities(self.entitiesOf(type), model.boolColumn, 'false'); });
      }
      table.appendChild(tr);
    });
    panel.appendChild(table);
    panel.addEventListener('keydown', function (e) {
      if (e.key === 'Escape') {
        e.preventDefault();
        e.stopPropagation();
        self.close();
        view.controls.types.focus();
      }
    });
    view.controls.types.parentNode.appendChild(panel);
    view.controls.types.setAttribute('aria-expanded', 'true');
    this.panel = panel;
  };

  return TypeList;
});
// Starts the page once its DOM is there and tells the dialog it is ready: the end of
// FilterBundle.js, a deferred script.
(function () {
  'use strict';
  require(['ZQ/DXInputFilterDisplay/Filter'], function (Filter) {
    Filter.attach(document.getElementById('app')).then(function () {
      Filter.post(['onLoad']);
    }, function (error) {
      var box = document.getElementById('message');
      box.textContent = String(error && error.message ? error.message : error);
      box.hidden = false;
      Filter.post(['onLoad']);
    });
  });
})();
