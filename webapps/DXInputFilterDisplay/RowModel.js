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
define([], function () {
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
