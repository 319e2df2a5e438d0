/*
 * FilterView - the page: toolbar, tree grid (Tabulator) and status line.
 *
 * Rows are built lazily: a row's data object reads its values from the model when the
 * grid asks, and its children are made only when the grid opens it, so a document of
 * 100,000 entities costs the rows in sight. The grid never writes the document: edits
 * go through filter.perform(), and the view then brings the rendered rows up to date.
 */
define(['tabulator', './CellUI', './Texts'], function (Tabulator, CellUI, Texts) {
  'use strict';

  var ROW_HEIGHT = 30;
  var SEARCH_DELAY_MS = 180;

  function $(root, selector) {
    return root.querySelector(selector);
  }

  function FilterView(root, filter) {
    this.root = root;
    this.doc = root.ownerDocument;
    this.filter = filter;
    this.table = null;
    this.built = false; // Tabulator has finished building the table
    this.treeStale = false; // the rows are to be made again once it has
    this.model = null;
    this.state = null;
    this.RowData = null;
    this.rendered = new Map(); // entity -> row component, rows whose cells exist
    this.parents = new Map(); // entity -> row component, rows with children
    this.displayCache = null;
    this.cursor = { id: -1, col: 0 };
    this.selection = new Set();
    this.anchor = -1;
    this.suppressTreeEvents = false;
    this.editing = null; // the open editor
    this.pendingText = undefined; // a key typed on a cell opens its editor with it
    this.searchTimer = 0;
    this.numberFormat = makeNumberFormat();
    this.firstRender = true;
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
      undo: $(root, '#undo'),
      setSubtree: $(root, '#set-subtree'),
      setSelection: $(root, '#set-selection'),
      summary: $(root, '#summary'),
      summaryBar: $(root, '#summary-bar'),
      shown: $(root, '#shown'),
      selected: $(root, '#selected'),
      edits: $(root, '#edits'),
      grid: $(root, '#grid'),
      message: $(root, '#message')
    };
    this.applyTexts();
    this.bindToolbar();
    this.bindKeyboard();
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
    this.cursor = { id: -1, col: 0 };
    this.controls.search.value = '';
    if (error) {
      this.showMessage(Texts.format('LoadError', error), true);
      this.root.classList.remove('is-loading');
      return;
    }
    if (!this.model) return;
    this.showMessage(this.model.size ? '' : Texts.format('EmptyDocument'), false);
    this.fillFilterControls();
    this.buildTable();
    this.root.classList.remove('is-loading');
    this.showChips();
    this.showStatus();
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
    this.fillValueSuggestions();

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

  FilterView.prototype.fillValueSuggestions = function () {
    var list = this.controls.filterValues;
    list.textContent = '';
    var column = this.filterColumn();
    if (!column) return;
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

  // Row data objects of this document: values are read from the model when asked.
  FilterView.prototype.makeRowClass = function () {
    var model = this.model;
    var state = this.state;
    function RowData(id) {
      this.id = id;
      this.kids = undefined;
    }
    Object.defineProperty(RowData.prototype, '_children', {
      get: function () {
        if (this.kids === undefined) {
          var ids = state.visibleChildren(this.id);
          this.kids = ids.length ? ids.map(function (j) { return new RowData(j); }) : null;
        }
        return this.kids || undefined;
      },
      set: function () {}
    });
    model.columns.forEach(function (column) {
      Object.defineProperty(RowData.prototype, column.field, {
        get: function () { return model.cellText(this.id, column); },
        set: function () {} // the grid's writes go through filter.perform()
      });
    });
    return RowData;
  };

  FilterView.prototype.rootRows = function () {
    var RowData = this.RowData;
    return this.state.visibleRoots().map(function (i) { return new RowData(i); });
  };

  FilterView.prototype.columnDefinitions = function () {
    var self = this;
    var model = this.model;
    var doc = this.doc;
    // Fixed widths for the narrow kinds; the others share what is left.
    var widths = { boolean: 84 };
    var minWidths = { tree: 240, boolean: 70, enum: 140, number: 110, date: 120, color: 120, runtime: 120, string: 110, text: 110 };
    var grow = { tree: 3, enum: 1.1, number: 0.9, date: 1, color: 1, runtime: 0.9, string: 1.4, text: 1.4 };
    return model.columns.map(function (column) {
      var kind = column.kind;
      var def = {
        title: '',
        field: column.field,
        headerSort: false,
        resizable: true,
        minWidth: minWidths[kind] || 100,
        cssClass: 'kind-' + kind + (column.editable ? ' is-editable' : ''),
        titleFormatter: function () {
          return CellUI.renderTitle(doc, kind, model.columnTitle(column), column.editable);
        },
        formatter: function (cell) {
          var id = cell.getData().id;
          var element = cell.getElement();
          element.classList.toggle('is-cursor', self.cursor.id === id && self.cursor.col === column.index);
          element.classList.toggle('is-edited', model.isEdited(id, column));
          if (kind !== 'tree' && !model.isEntity(id)) return doc.createTextNode('');
          // The whole text on hover, for what the column cuts (an attribute: text only).
          if (kind !== 'boolean' && kind !== 'runtime') element.title = cell.getValue();
          return CellUI.render(doc, kind, cell.getValue(), {
            options: column.options,
            formatNumber: self.numberFormat,
            empty: kind === 'tree' && !model.isEntity(id)
          });
        }
      };
      if (widths[kind]) def.width = widths[kind];
      else def.widthGrow = grow[kind] || 1;
      if (kind === 'tree') def.frozen = true;
      def.contextMenu = function (e, cell) {
        return self.contextMenu(cell);
      };
      if (kind === 'number' || kind === 'runtime') def.hozAlign = 'right';
      if (kind === 'boolean') def.hozAlign = 'center';
      if (column.editable && kind !== 'boolean') {
        def.editor = function (cell, onRendered, success, cancel) {
          return self.openEditor(column, cell, onRendered, success, cancel);
        };
        def.editable = function (cell) {
          return model.canEdit(cell.getData().id, column);
        };
      }
      return def;
    });
  };

  FilterView.prototype.buildTable = function () {
    var self = this;
    if (this.table) {
      this.table.destroy();
      this.table = null;
    }
    this.RowData = this.makeRowClass();
    this.built = false;
    this.treeStale = false;
    this.rendered.clear();
    this.parents.clear();
    this.displayCache = null;
    var placeholder = this.doc.createElement('div');
    placeholder.className = 'grid-placeholder';
    placeholder.textContent = Texts.format(this.model.size ? 'NoRows' : 'EmptyDocument');

    var table = new Tabulator(this.controls.grid, {
      data: this.rootRows(),
      index: 'id',
      height: '100%',
      layout: 'fitColumns',
      renderVertical: 'virtual',
      nestedFieldSeparator: false,
      dataTree: true,
      dataTreeFilter: false,
      dataTreeSort: false,
      dataTreeChildIndent: 18,
      dataTreeBranchElement: false,
      dataTreeStartExpanded: function (row) {
        var id = row.getData().id;
        self.parents.set(id, row);
        return self.state.isExpanded(id);
      },
      selectableRows: false,
      keybindings: false,
      history: false,
      editTriggerEvent: 'dblclick',
      placeholder: placeholder,
      rowHeight: ROW_HEIGHT,
      columnDefaults: { vertAlign: 'middle' },
      rowFormatter: function (row) {
        var id = row.getData().id;
        self.rendered.set(id, row);
        self.decorateRow(row, id);
        // One tab stop for the grid, not one per editable cell: the keys move the cursor.
        row.getCells().forEach(function (cell) { cell.getElement().tabIndex = -1; });
      },
      columns: this.columnDefinitions()
    });
    this.table = table;

    table.on('tableBuilt', function () {
      self.built = true;
      if (self.treeStale) self.showTree();
      if (self.firstRender && typeof performance !== 'undefined' && performance.mark) {
        self.firstRender = false;
        performance.mark('filter-first-rows'); // "filter-init" to here: the time to first rows
      }
      if (self.cursor.id < 0 && self.model.roots.length) self.setCursor(self.model.roots[0], 0, false);
    });
    table.on('cellClick', function (e, cell) { self.onCellClick(e, cell); });
    table.on('cellDblClick', function (e, cell) {
      var column = self.columnOf(cell);
      if (column && column.kind === 'tree') self.toggleRow(cell.getData().id);
    });
    table.on('cellEdited', function (cell) { self.onCellEdited(cell); });
    table.on('cellEditCancelled', function () { self.editing = null; });
    table.on('dataTreeRowExpanded', function (row) { self.onTreeEvent(row, true); });
    table.on('dataTreeRowCollapsed', function (row) { self.onTreeEvent(row, false); });
    table.on('dataProcessed', function () { self.displayCache = null; });
  };

  FilterView.prototype.decorateRow = function (row, id) {
    var element = row.getElement();
    var state = this.state;
    element.classList.toggle('is-context', state.isContext(id));
    element.classList.toggle('is-selected', this.selection.has(id));
    element.classList.toggle('is-null', !this.model.isEntity(id));
    element.classList.toggle('is-excluded', this.model.isEntity(id) && !!this.model.boolColumn && !this.model.importFlag[id]);
    element.setAttribute('aria-level', String(this.model.depth[id] + 1));
    element.setAttribute('aria-selected', this.selection.has(id) ? 'true' : 'false');
  };

  FilterView.prototype.columnOf = function (cell) {
    var field = cell.getField();
    return this.model.columns[+field.slice(1)] || null;
  };

  // Rebuilds the rows after the shown set or the expansion changed.
  FilterView.prototype.showTree = function () {
    if (!this.table) return;
    if (!this.built) {
      this.treeStale = true; // Tabulator takes no new data while it builds
      return;
    }
    this.treeStale = false;
    this.rendered.clear();
    this.parents.clear();
    this.displayCache = null;
    this.selection.forEach(function (id) {
      if (!this.state.isVisible(id)) this.selection.delete(id);
    }, this);
    this.table.replaceData(this.rootRows());
    this.showChips();
    this.showStatus();
  };

  // Brings rendered rows in line with the model after values changed.
  FilterView.prototype.showValues = function () {
    var model = this.model;
    this.rendered.forEach(function (row, id) {
      var update = null;
      model.columns.forEach(function (column) {
        var cell = row.getCell(column.field);
        if (!cell) return;
        var value = model.cellText(id, column);
        var element = cell.getElement();
        if (element) element.classList.toggle('is-edited', model.isEdited(id, column));
        if (cell.getValue() !== value) {
          update = update || {};
          update[column.field] = value;
        }
      });
      if (update) row.update(update);
      this.decorateRow(row, id);
    }, this);
    this.showStatus();
  };

  FilterView.prototype.showExpansion = function (id, open) {
    if (!this.built) {
      this.treeStale = true;
      return;
    }
    var row = this.parents.get(id);
    // A row not made yet takes its state when made; one the user just toggled has it.
    if (!row || row.isTreeExpanded() === open) return;
    this.suppressTreeEvents = true;
    try {
      if (open) row.treeExpand();
      else row.treeCollapse();
    } finally {
      this.suppressTreeEvents = false;
    }
    this.displayCache = null;
  };

  FilterView.prototype.onTreeEvent = function (row, open) {
    this.displayCache = null;
    if (this.suppressTreeEvents) return;
    this.filter.perform({ t: open ? 'expand' : 'collapse', n: this.model.pathOf(row.getData().id) });
  };

  FilterView.prototype.toggleRow = function (id) {
    if (!this.model.hasChildren(id) || !this.state.isVisible(id)) return;
    var open = !this.state.isExpanded(id);
    this.filter.perform({ t: open ? 'expand' : 'collapse', n: this.model.pathOf(id) });
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
    var canSet = this.cursor.id >= 0 && !!column && column.editable && model.isEntity(this.cursor.id);
    c.setSubtree.disabled = !(canSet && model.hasChildren(this.cursor.id));
    c.setSelection.disabled = !(canSet && this.selection.size > 1);
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
    state.filters.forEach(function (f, k) {
      chip(this.model.columnTitle(f.column) + ' ' + Texts.format('Operator_' + f.op) + ' “' + f.value + '”', function () {
        state.removeFilter(k);
        self.criteriaChanged();
      });
    }, this);
    if (state.filters.length + (state.branch >= 0 ? 1 : 0) > 1) {
      var clear = doc.createElement('button');
      clear.type = 'button';
      clear.className = 'link-button';
      clear.textContent = Texts.format('ClearFilters');
      clear.addEventListener('click', function () {
        state.clearFilters();
        state.setBranch(-1);
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
    if (!this.state || !this.state.query || !this.state.passes) return;
    var rows = this.displayRows();
    if (!rows.length) return;
    var query = this.state.query.toLowerCase();
    var labels = this.state.lowerLabels();
    var start = Math.max(0, this.displayIndex(this.cursor.id));
    for (var k = 1; k <= rows.length; k++) {
      var at = (start + step * k + rows.length * k) % rows.length;
      var id = rows[at].getData().id;
      if (labels[id].indexOf(query) >= 0) {
        this.setCursor(id, 0, true);
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

  FilterView.prototype.setOnSelection = function () {
    var column = this.model.columns[this.cursor.col];
    if (!column || !column.editable || !this.selection.size) return;
    var value = this.cellValue(this.cursor.id, this.cursor.col);
    var ids = Array.from(this.selection).sort(function (a, b) { return a - b; });
    var model = this.model;
    this.perform({ t: 'rows', n: ids.map(function (id) { return model.pathOf(id); }), c: column.name, v: value });
  };

  FilterView.prototype.contextMenu = function (cell) {
    var self = this;
    var doc = this.doc;
    var model = this.model;
    var id = cell.getData().id;
    var column = this.columnOf(cell);
    if (!this.selection.has(id)) {
      this.anchor = id;
      this.select([id], false);
    }
    this.setCursor(id, column.index, false);
    var items = [];
    function item(text, action) {
      items.push({ label: function () { return doc.createTextNode(text); }, action: action });
    }
    var editableHere = column.editable && model.isEntity(id);
    var hasChildren = model.hasChildren(id);
    if (editableHere && hasChildren) {
      if (column.kind === 'boolean') {
        item(Texts.format('TickSubtree'), function () { self.setOnSubtree(id, column.index, 'true'); });
        item(Texts.format('UntickSubtree'), function () { self.setOnSubtree(id, column.index, 'false'); });
      } else {
        item(Texts.format('SetValueOnSubtree', this.cellValue(id, column.index)), function () {
          self.setOnSubtree(id, column.index);
        });
      }
    }
    if (editableHere && this.selection.size > 1) {
      item(Texts.format('SetValueOnSelection', this.cellValue(id, column.index), this.numberFormat(this.selection.size)), function () {
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
    return items.length ? items : false;
  };

  FilterView.prototype.setSubtreeExpanded = function (id, open) {
    this.perform({ t: open ? 'expand' : 'collapse', n: this.model.pathOf(id), s: true });
  };

  // ------------------------------------------------------------ editing

  FilterView.prototype.openEditor = function (column, cell, onRendered, success, cancel) {
    var self = this;
    var id = cell.getData().id;
    this.setCursor(id, column.index, false);
    var startText = this.pendingText;
    this.pendingText = undefined;
    var editor = CellUI.editor(this.doc, column.kind, cell.getValue(), column.options, {
      anchor: cell.getElement(),
      startText: startText,
      done: function (value) {
        self.editing = null;
        success(value);
      },
      cancel: function () {
        self.editing = null;
        cancel();
      },
      after: function (move) {
        self.focusGrid();
        if (move === 'down') self.moveCursor(1, 0);
        else if (move === 'right') self.moveCursor(0, 1);
        else if (move === 'left') self.moveCursor(0, -1);
      }
    });
    this.editing = editor;
    onRendered(function () { editor.focus(); });
    return editor.element;
  };

  FilterView.prototype.commitEditing = function () {
    if (this.editing) this.editing.commit();
  };

  FilterView.prototype.onCellEdited = function (cell) {
    this.editing = null;
    var column = this.columnOf(cell);
    var id = cell.getData().id;
    var value = cell.getValue();
    var done = this.filter.perform({ t: 'edit', n: this.model.pathOf(id), c: column.name, v: String(value) });
    if (!done) this.showValues();
  };

  FilterView.prototype.toggleBoolean = function (id, column) {
    if (!this.model.canEdit(id, column)) return;
    var next = this.model.cellText(id, column) === 'true' ? 'false' : 'true';
    this.perform({ t: 'edit', n: this.model.pathOf(id), c: column.name, v: next });
  };

  FilterView.prototype.startEdit = function (text) {
    var column = this.model.columns[this.cursor.col];
    var id = this.cursor.id;
    if (id < 0 || !column || !this.model.canEdit(id, column)) return false;
    if (column.kind === 'boolean') {
      this.toggleBoolean(id, column);
      return true;
    }
    var cell = this.cellOf(id, column);
    if (!cell) return false;
    this.pendingText = text;
    cell.edit(true);
    return true;
  };

  // ------------------------------------------------------------ cursor & selection

  // The rows in the order shown, with each entity's place: kept until the rows change.
  FilterView.prototype.displayRows = function () {
    if (!this.displayCache) {
      var rows = this.table ? this.table.getRows('display') : [];
      var places = new Map();
      for (var k = 0; k < rows.length; k++) places.set(rows[k].getData().id, k);
      this.displayCache = { rows: rows, places: places };
    }
    return this.displayCache.rows;
  };

  FilterView.prototype.displayIndex = function (id) {
    this.displayRows();
    var k = this.displayCache.places.get(id);
    return k === undefined ? -1 : k;
  };

  FilterView.prototype.rowOf = function (id) {
    var row = this.rendered.get(id) || this.parents.get(id);
    if (row) return row;
    var k = this.displayIndex(id);
    return k >= 0 ? this.displayRows()[k] : null;
  };

  FilterView.prototype.cellOf = function (id, column) {
    var row = this.rowOf(id);
    return row ? row.getCell(column.field) : null;
  };

  FilterView.prototype.cursorElement = function () {
    if (this.cursor.id < 0) return null;
    var row = this.rendered.get(this.cursor.id);
    if (!row) return null;
    var cell = row.getCell(this.model.columns[this.cursor.col].field);
    return cell ? cell.getElement() : null;
  };

  FilterView.prototype.setCursor = function (id, col, scroll) {
    var old = this.cursorElement();
    if (old) old.classList.remove('is-cursor');
    this.cursor = { id: id, col: Math.max(0, Math.min(col, this.model.columns.length - 1)) };
    var now = this.cursorElement();
    if (now) now.classList.add('is-cursor');
    if (scroll) {
      var row = this.rowOf(id);
      var self = this;
      if (row) {
        Promise.resolve(this.table.scrollToRow(row, 'nearest', false)).then(function () {
          var element = self.cursorElement();
          if (element) {
            element.classList.add('is-cursor');
            if (element.scrollIntoView) element.scrollIntoView({ block: 'nearest', inline: 'nearest' });
          }
        }, function () {});
      }
    }
    this.showStatus();
  };

  FilterView.prototype.select = function (ids, add) {
    if (!add) this.selection.clear();
    ids.forEach(function (id) { this.selection.add(id); }, this);
    this.refreshSelection();
  };

  FilterView.prototype.refreshSelection = function () {
    this.rendered.forEach(function (row, id) {
      var element = row.getElement();
      element.classList.toggle('is-selected', this.selection.has(id));
      element.setAttribute('aria-selected', this.selection.has(id) ? 'true' : 'false');
    }, this);
    this.showStatus();
  };

  FilterView.prototype.selectRange = function (fromId, toId) {
    var a = this.displayIndex(fromId);
    var b = this.displayIndex(toId);
    if (a < 0 || b < 0) return this.select([toId], false);
    var rows = this.displayRows();
    var ids = [];
    for (var k = Math.min(a, b); k <= Math.max(a, b); k++) ids.push(rows[k].getData().id);
    this.select(ids, false);
  };

  FilterView.prototype.onCellClick = function (e, cell) {
    var id = cell.getData().id;
    var column = this.columnOf(cell);
    if (!column) return;
    if (e.shiftKey && this.anchor >= 0) {
      this.selectRange(this.anchor, id);
    } else if (e.ctrlKey || e.metaKey) {
      if (this.selection.has(id)) this.selection.delete(id);
      else this.selection.add(id);
      this.anchor = id;
      this.refreshSelection();
    } else {
      this.anchor = id;
      this.select([id], false);
    }
    this.setCursor(id, column.index, false);
    if (column.kind === 'boolean' && !e.shiftKey && !e.ctrlKey && !e.metaKey &&
        e.target && e.target.classList && e.target.classList.contains('tick')) {
      this.toggleBoolean(id, column);
    }
    this.focusGrid();
  };

  // The grid's scrolling part takes the keys (Tabulator makes it focusable).
  FilterView.prototype.focusTarget = function () {
    return this.controls.grid.querySelector('.tabulator-tableholder') || this.controls.grid;
  };

  FilterView.prototype.focusGrid = function () {
    var target = this.focusTarget();
    if (this.doc.activeElement !== target) target.focus({ preventScroll: true });
  };

  FilterView.prototype.moveCursor = function (rowStep, colStep, extend) {
    var rows = this.displayRows();
    if (!rows.length) return;
    var k = this.displayIndex(this.cursor.id);
    if (k < 0) k = 0;
    var next = Math.max(0, Math.min(rows.length - 1, k + rowStep));
    var id = rows[next].getData().id;
    var col = Math.max(0, Math.min(this.model.columns.length - 1, this.cursor.col + colStep));
    if (extend) {
      if (this.anchor < 0) this.anchor = this.cursor.id >= 0 ? this.cursor.id : id;
      this.selectRange(this.anchor, id);
    } else if (rowStep) {
      this.anchor = id;
    }
    this.setCursor(id, col, true);
  };

  FilterView.prototype.pageSize = function () {
    var height = this.controls.grid.clientHeight || ROW_HEIGHT * 20;
    return Math.max(1, Math.floor(height / ROW_HEIGHT) - 2);
  };

  // ------------------------------------------------------------ keyboard

  FilterView.prototype.bindKeyboard = function () {
    var self = this;
    var grid = this.controls.grid;
    grid.addEventListener('keydown', function (e) { self.onGridKey(e); });
    grid.addEventListener('focusin', function () {
      if (self.model && self.table && self.cursor.id < 0) {
        var rows = self.displayRows();
        if (rows.length) self.setCursor(rows[0].getData().id, 0, false);
      }
    });
    this.doc.addEventListener('keydown', function (e) {
      var target = e.target;
      var inField = target && (target.tagName === 'INPUT' || target.tagName === 'SELECT' || target.tagName === 'TEXTAREA');
      if ((e.ctrlKey || e.metaKey) && !e.altKey && (e.key === 'z' || e.key === 'Z') && !e.shiftKey && !inField) {
        e.preventDefault();
        self.perform({ t: 'undo' });
      } else if ((e.ctrlKey || e.metaKey) && (e.key === 'f' || e.key === 'F')) {
        e.preventDefault();
        self.controls.search.focus();
        self.controls.search.select();
      }
    });
  };

  FilterView.prototype.onGridKey = function (e) {
    if (!this.model || !this.table || this.editing) return;
    var target = e.target;
    if (target && target.closest && target.closest('input, select, textarea, .tabulator-menu')) return;
    var column = this.model.columns[this.cursor.col];
    var id = this.cursor.id;
    var handled = true;
    switch (e.key) {
      case 'ArrowDown': this.moveCursor(1, 0, e.shiftKey); break;
      case 'ArrowUp': this.moveCursor(-1, 0, e.shiftKey); break;
      case 'PageDown': this.moveCursor(this.pageSize(), 0, e.shiftKey); break;
      case 'PageUp': this.moveCursor(-this.pageSize(), 0, e.shiftKey); break;
      case 'Home':
        if (e.ctrlKey) this.moveCursor(-Infinity, 0);
        else this.setCursor(id, 0, true);
        break;
      case 'End':
        if (e.ctrlKey) this.moveCursor(Infinity, 0);
        else this.setCursor(id, this.model.columns.length - 1, true);
        break;
      case 'ArrowRight':
        if (column && column.kind === 'tree' && id >= 0 && this.model.hasChildren(id) && !this.state.isExpanded(id)) {
          this.toggleRow(id);
        } else {
          this.moveCursor(0, 1);
        }
        break;
      case 'ArrowLeft':
        if (column && column.kind === 'tree' && id >= 0) {
          if (this.model.hasChildren(id) && this.state.isExpanded(id)) this.toggleRow(id);
          else if (this.model.parent[id] >= 0) this.setCursor(this.model.parent[id], 0, true);
        } else {
          this.moveCursor(0, -1);
        }
        break;
      case '+':
        if (id >= 0 && !this.state.isExpanded(id)) this.toggleRow(id);
        break;
      case '-':
        if (id >= 0 && this.state.isExpanded(id)) this.toggleRow(id);
        break;
      case 'Enter':
      case 'F2':
        if (column && column.kind === 'tree') this.toggleRow(id);
        else this.startEdit(undefined);
        break;
      case ' ':
        if (column && column.kind === 'boolean') {
          this.startEdit(undefined);
        } else if (id >= 0) {
          if (this.selection.has(id)) this.selection.delete(id);
          else this.selection.add(id);
          this.anchor = id;
          this.refreshSelection();
        }
        break;
      case 'Escape':
        if (this.selection.size) this.select([], false);
        else handled = false;
        break;
      case 'a':
      case 'A':
        if (e.ctrlKey || e.metaKey) {
          this.select(this.displayRows().map(function (row) { return row.getData().id; }), false);
        } else {
          handled = this.typeToEdit(e);
        }
        break;
      default:
        handled = this.typeToEdit(e);
    }
    if (handled) {
      e.preventDefault();
      e.stopPropagation();
    }
  };

  // A printable key on an editable text cell opens its editor with that key typed.
  FilterView.prototype.typeToEdit = function (e) {
    if (e.key.length !== 1 || e.ctrlKey || e.metaKey || e.altKey) return false;
    var column = this.model.columns[this.cursor.col];
    if (!column || column.kind === 'enum' || column.kind === 'boolean') return false;
    return this.startEdit(e.key);
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
  };

  return FilterView;
});
