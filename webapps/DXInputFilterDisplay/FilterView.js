/*
 * FilterView - the page: the document shown, the status line, and leaving.
 *
 * The grid (TreeGrid) draws only the rows in sight over the flat list of RowModel.
 * The view never writes the document: edits go through filter.perform(), and the
 * view then repaints the rows in sight. Each other concern of the page is a module
 * of its own whose methods the view takes: the toolbar, the search, the filters and
 * their chips, the grid's pointer and cursor, editing, the carry's marks; keys are
 * Keyboard's, the menu ContextMenu's.
 */
define(['./TreeGrid', './RowModel', './Keyboard', './TypeList', './Texts', './ViewToolbar', './ViewSearch',
  './ViewFilters', './ViewGrid', './ViewEditing', './ViewCarry'], function (
  TreeGrid, RowModel, Keyboard, TypeList, Texts, ViewToolbar, ViewSearch, ViewFilters, ViewGrid, ViewEditing, ViewCarry) {
  'use strict';

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
    this.bindSearch();
    this.bindFilters();
    Keyboard.bind(this);
    this.bindLeaving();
  }

  // Languages whose numbers below 1,000 every format writes as plain digits.
  var PLAIN_DIGITS = /^(?:en|fr|de|it|es|pt|nl|sv|da|nb|fi|pl|cs|ru|ja|zh|ko)$/;

  // The first number format of a page loads the browser's locale data (40-100 ms, in the
  // way of the first rows). Counts are written without it where the text is known: in
  // English, digits in groups of three; in the languages above, numbers below 1,000.
  // Elsewhere the format is made while the page waits for its document.
  function makeNumberFormat(language) {
    var english = language === 'en';
    var plain = english || (!!language && PLAIN_DIGITS.test(String(language).split('-')[0]));
    var format = null;
    function formatted(n) {
      if (plain && n >= 0 && Math.floor(n) === n && (n < 1000 || (english && n <= Number.MAX_SAFE_INTEGER))) {
        return english ? String(n).replace(/\B(?=(\d{3})+$)/g, ',') : String(n);
      }
      if (!format) {
        try {
          var intl = new Intl.NumberFormat(language || undefined);
          format = function (x) { return intl.format(x); };
        } catch (e) {
          format = String;
        }
      }
      return format(n);
    }
    if (!english && typeof requestIdleCallback === 'function') requestIdleCallback(function () { formatted(0.5); });
    return formatted;
  }

  var numberFormat = makeNumberFormat(typeof window !== 'undefined' && window.qor ? window.qor.language : '');

  FilterView.makeNumberFormat = makeNumberFormat;

  [ViewToolbar, ViewSearch, ViewFilters, ViewGrid, ViewEditing, ViewCarry].forEach(function (part) {
    Object.assign(FilterView.prototype, part);
  });

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

  // fromPreview: the whole document after its preview, whose first entities are the
  // preview's: the scroll position, the cursor and the selection stay.
  FilterView.prototype.showDocument = function (fromPreview) {
    var error = this.filter.error();
    var keep = !!fromPreview && !error && !!this.rows && this.cursor.id >= 0;
    var was = this.cursor;
    this.model = this.filter.model();
    this.state = this.filter.state();
    if (!keep) this.selection.clear();
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
    this.grid.setModel(this.model, this.rows, keep);
    this.showTitle();
    this.fillFilterControls();
    this.fillLevels();
    this.root.classList.remove('is-loading');
    var row = keep && was.row >= 0 ? this.rows.rowOf(was.id) : -1;
    if (row >= 0) this.cursor = { row: row, id: was.id, col: was.col };
    else if (this.rows.count) this.cursor = { row: 0, id: this.rows.rows[0], col: 0 };
    this.grid.repaint();
    this.showChips();
    this.showStatus();
    if (this.firstRender && typeof performance !== 'undefined' && performance.mark) {
      this.firstRender = false;
      performance.mark('filter-first-rows'); // "filter-init" to here: the time to first rows
    }
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

  // ------------------------------------------------------------ status

  FilterView.prototype.showStatus = function () {
    var c = this.controls;
    var model = this.model;
    if (!model) return;
    var fmt = this.numberFormat;
    var summary = model.summary();
    // A preview counts only its first nodes.
    c.summary.textContent = model.partial ? Texts.format('Loading') : summary.hasImportColumn
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

  FilterView.prototype.perform = function (action) {
    if (!this.model) return false;
    if (this.editing) this.commitEditing();
    return this.filter.perform(action);
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
