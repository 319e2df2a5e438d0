/*
 * FilterView - the page: toolbar, tree grid and status line.
 *
 * The grid (TreeGrid) draws only the rows in sight over the flat list of RowModel.
 * The view never writes the document: edits go through filter.perform(), and the
 * view then repaints the rows in sight. Keys are Keyboard's, the menu ContextMenu's.
 */
define(['./TreeGrid', './RowModel', './CellUI', './ContextMenu', './Keyboard', './TypeList', './Texts', './CarryMarks'], function (
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
    this.numberFormat = numberFormat;
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

  // Made when the module loads, while the document is still on its way: the first
  // number format of a page loads the browser's locale data (50-400 ms on a busy machine).
  var numberFormat = makeNumberFormat();

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
