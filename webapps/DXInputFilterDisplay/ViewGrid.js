/*
 * ViewGrid - what the pointer does on the grid (chevrons, ticks, selection) and the
 * cursor cell that the keys move (see Keyboard).
 */
define([], function () {
  'use strict';

  var ViewGrid = {};

  ViewGrid.idAt = function (row) {
    return row >= 0 && row < this.rows.count ? this.rows.rows[row] : null;
  };

  ViewGrid.toggleRow = function (row) {
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

  ViewGrid.setGrouping = function (on) {
    this.rows.setGrouping(on);
    this.showTree();
  };

  // A click on a tick: the entity and its subtree, or the entity alone (Alt, or a leaf).
  ViewGrid.tick = function (row, column, alone) {
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

  ViewGrid.setOnEntities = function (ids, column, value) {
    var model = this.model;
    var editable = ids.filter(function (i) { return model.canEdit(i, column); });
    if (!editable.length) return;
    this.perform({ t: 'rows', n: editable.map(function (i) { return model.pathOf(i); }), c: column.name, v: value });
  };

  ViewGrid.onGridPointer = function (what, row, col, part, e) {
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

  // After the grid painted: the cursor cell is the active one for assistive technology.
  ViewGrid.onRendered = function () {
    if (this.grid && this.cursor.row >= 0) this.grid.setActiveCell(this.cursor.row, this.cursor.col);
  };

  ViewGrid.setCursor = function (row, col, scroll) {
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

  ViewGrid.select = function (ids, add) {
    if (!add) this.selection.clear();
    ids.forEach(function (id) { if (id >= 0) this.selection.add(id); }, this);
    this.refreshSelection();
  };

  ViewGrid.refreshSelection = function () {
    this.grid.repaint();
    this.showStatus();
  };

  ViewGrid.selectRange = function (fromRow, toRow) {
    var ids = [];
    for (var k = Math.min(fromRow, toRow); k <= Math.max(fromRow, toRow); k++) {
      var id = this.rows.rows[k];
      if (id >= 0) ids.push(id);
    }
    this.select(ids, false);
  };

  ViewGrid.moveCursor = function (rowStep, colStep, extend) {
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
  ViewGrid.moveToParent = function (row) {
    var level = this.rows.levels[row];
    for (var k = row - 1; k >= 0; k--) {
      if (this.rows.levels[k] < level) {
        this.setCursor(k, 0, true);
        return;
      }
    }
  };

  ViewGrid.pageSize = function () {
    return this.grid.pageRows();
  };

  ViewGrid.focusGrid = function () {
    this.grid.focus();
  };

  return ViewGrid;
});
