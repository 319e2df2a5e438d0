/*
 * ViewEditing - changing values: the in-cell editor, a value set on a subtree or on the
 * selected rows, and the context menu that offers these.
 */
define(['./Texts', './CellUI', './ContextMenu'], function (Texts, CellUI, ContextMenu) {
  'use strict';

  var ViewEditing = {};

  ViewEditing.cellValue = function (id, colIndex) {
    return this.model.cellText(id, this.model.columns[colIndex]);
  };

  ViewEditing.setOnSubtree = function (id, colIndex, value) {
    var column = this.model.columns[colIndex];
    if (id < 0 || !column || !column.editable) return;
    var v = value !== undefined ? value : this.cellValue(id, colIndex);
    this.perform({ t: 'subtree', n: this.model.pathOf(id), c: column.name, v: v });
  };

  // The cursor's value on the selected rows; from a column that cannot be edited, the
  // first editable column's value of the cursor's entity.
  ViewEditing.selectionColumn = function () {
    var column = this.model.columns[this.cursor.col];
    if (column && column.editable) return column;
    for (var c = 1; c < this.model.columns.length; c++) {
      if (this.model.columns[c].editable) return this.model.columns[c];
    }
    return null;
  };

  ViewEditing.setOnSelection = function () {
    var column = this.selectionColumn();
    if (!column || !this.selection.size || this.cursor.id < 0) return;
    var value = this.model.cellText(this.cursor.id, column);
    var ids = Array.from(this.selection).sort(function (a, b) { return a - b; });
    var model = this.model;
    this.perform({ t: 'rows', n: ids.map(function (id) { return model.pathOf(id); }), c: column.name, v: value });
  };

  ViewEditing.menuItems = function (row, col) {
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
  ViewEditing.openMenu = function (row, col, x, y) {
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

  ViewEditing.setSubtreeExpanded = function (id, open) {
    this.perform({ t: open ? 'expand' : 'collapse', n: this.model.pathOf(id), s: true });
  };

  ViewEditing.startEdit = function (text, row, col) {
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

  ViewEditing.commitEditing = function () {
    if (this.editing) this.editing.commit();
  };

  return ViewEditing;
});
