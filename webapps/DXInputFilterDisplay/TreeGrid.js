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
define(['./CellUI', './Texts'], function (CellUI, Texts) {
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
  // keepScroll: the new rows begin with the old ones (the whole after its preview).
  TreeGrid.prototype.setModel = function (model, rowModel, keepScroll) {
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
    if (!keepScroll) {
      this.scroller.scrollTop = 0;
      this.scrollTop = 0;
    }
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
