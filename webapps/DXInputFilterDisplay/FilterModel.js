/*
 * FilterModel - the filter document as the page edits it. No DOM here.
 *
 * The document stays the parsed tree (RawJson) so that whatever the user does not edit
 * is written back as it came. Entities are numbered in pre-order: the subtree of
 * entity i is i .. end[i]-1, which makes subtree edits and counts plain index ranges.
 *
 * A cell's value is in the node's data.NLS_grid (an NLS text) or in its grid (a
 * literal), never both. An edit writes the grid and drops the NLS_grid entry: the
 * reader looks at NLS_grid first, so a stale entry there would hide the edit.
 *
 * Runtime columns are computed here: per entity, how many entities of its subtree
 * (itself included) will be imported, out of how many, as "12 / 40". An entity will
 * be imported when the value of the first boolean column is "true". Without a boolean
 * column the text is the number of entities of the subtree. Empty nodes ({}) stand for
 * no entity: they are not counted and cannot be edited.
 */
define(['./RawJson', './Nls'], function (RawJson, Nls) {
  'use strict';

  var get = RawJson.getMember;
  var has = RawJson.hasMember;
  var isObject = RawJson.isObject;

  var REPRESENTATIONS = { string: 'string', boolean: 'boolean', number: 'number', date: 'date', color: 'color' };

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

  function FilterModel(sourceText, options) {
    options = options || {};
    this.text = sourceText;
    var doc = RawJson.parse(sourceText, true);
    if (!isObject(doc)) throw new SyntaxError('the filter document is not an object');
    this.doc = doc;
    this.resolver = options.resolver || new Nls.Resolver({});

    var columnDefs = get(doc, 'columns');
    this.columns = Array.isArray(columnDefs) ? columnDefs.map(readColumn) : [];
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

    // Flatten the tree in pre-order.
    var nodes = [];
    var parent = [];
    var depth = [];
    var pos = [];
    var end = [];
    var roots = [];
    function walk(list, parentIndex, level) {
      for (var k = 0; k < list.length; k++) {
        var i = nodes.length;
        var node = list[k];
        nodes.push(node);
        parent.push(parentIndex);
        depth.push(level);
        pos.push(k);
        end.push(0);
        if (parentIndex < 0) roots.push(i);
        var children = get(node, 'children');
        if (Array.isArray(children) && children.length) walk(children, i, level + 1);
        end[i] = nodes.length;
      }
    }
    var rootList = get(doc, 'roots');
    if (Array.isArray(rootList)) walk(rootList, -1, 0);

    var n = nodes.length;
    this.size = n;
    this.nodes = nodes;
    this.parent = Int32Array.from(parent);
    this.depth = Int32Array.from(depth);
    this.pos = Int32Array.from(pos);
    this.end = Int32Array.from(end);
    this.roots = roots;
    this.maxDepth = 0;
    for (var d = 0; d < n; d++) if (this.depth[d] > this.maxDepth) this.maxDepth = this.depth[d];

    // Counts for the runtime columns and the summary.
    this.entity = new Uint8Array(n);
    this.importFlag = new Uint8Array(n);
    this.totalCount = new Int32Array(n);
    this.importCount = new Int32Array(n);
    for (var i = 0; i < n; i++) {
      this.entity[i] = isObject(nodes[i]) && RawJson.memberCount(nodes[i]) > 0 ? 1 : 0;
      this.importFlag[i] = this.entity[i] && this.computeImportFlag(i) ? 1 : 0;
    }
    for (i = n - 1; i >= 0; i--) {
      this.totalCount[i] += this.entity[i];
      this.importCount[i] += this.importFlag[i];
      var p = this.parent[i];
      if (p >= 0) {
        this.totalCount[p] += this.totalCount[i];
        this.importCount[p] += this.importCount[i];
      }
    }

    this.undoStack = [];
    this.editedCells = new Map(); // "entity column" -> edits not undone
    this.nextGroupId = 1;
    this.sentGroupId = 0;
    this.uidIndex = null; // uid -> entity, made when first asked
  }

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
    var ids = get(get(this.nodes[i], 'data'), 'uid');
    var uid = Array.isArray(ids) && typeof ids[0] === 'string' && ids[0] ? ids[0] : null;
    return uid !== null && this.indexOfUid(uid) === i ? uid : null;
  };

  // The entity carrying the uid; -1 when none does, -2 when several do.
  FilterModel.prototype.indexOfUid = function (uid) {
    if (!this.uidIndex) {
      var index = new Map();
      for (var i = 0; i < this.size; i++) {
        var ids = get(get(this.nodes[i], 'data'), 'uid');
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

  // Catalog names the document's NLS texts refer to.
  FilterModel.prototype.catalogNames = function () {
    var names = new Set();
    function note(t) {
      var parts = Nls.split(t);
      if (parts) names.add(parts.catalog);
    }
    this.columns.forEach(function (c) { note(c.title); });
    for (var i = 0; i < this.size; i++) {
      var data = get(this.nodes[i], 'data');
      if (!isObject(data)) continue;
      var label = get(data, 'NLS_label');
      if (typeof label === 'string' && !has(this.nodes[i], 'label')) note(label);
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
    var node = this.nodes[i];
    if (!isObject(node)) return null;
    if (has(node, 'label')) return { text: text(node.label), nls: false };
    var data = get(node, 'data');
    if (has(data, 'NLS_label')) return { text: text(data.NLS_label), nls: true };
    return null;
  };

  FilterModel.prototype.label = function (i) {
    var source = this.labelSource(i);
    if (!source) return '';
    return source.nls ? this.resolve(source.text) : source.text;
  };

  // Where a cell's value is: { text, nls } or null when the cell is empty.
  FilterModel.prototype.cellSource = function (i, column) {
    var node = this.nodes[i];
    if (!isObject(node)) return null;
    var name = column.name;
    var data = get(node, 'data');
    var nlsGrid = get(data, 'NLS_grid');
    if (isObject(nlsGrid) && has(nlsGrid, name)) return { text: text(nlsGrid[name]), nls: true };
    var grid = get(node, 'grid');
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
    return !!column && column.editable && this.entity[i] === 1;
  };

  // ------------------------------------------------------------ edits

  // Applies [{ index, column, value }] as one undoable step. Cells that cannot be
  // edited, or already show the value, are left alone. Returns the changed entities
  // (ancestors whose counts moved included), or null when nothing changed.
  FilterModel.prototype.applyEdits = function (edits) {
    var group = { id: 0, saved: new Map(), changed: [], cells: [] };
    for (var k = 0; k < edits.length; k++) {
      var e = edits[k];
      var i = e.index;
      var column = e.column;
      if (!(i >= 0 && i < this.size) || !this.canEdit(i, column)) continue;
      var value = String(e.value);
      var source = this.cellSource(i, column);
      if (source && !source.nls && source.text === value && typeof this.nodes[i].grid[column.name] === 'string') continue;
      if (source && source.nls && this.resolve(source.text) === value) continue;
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
    var node = this.nodes[i];
    var data = get(node, 'data');
    var grid = get(node, 'grid');
    var nlsGrid = isObject(data) ? get(data, 'NLS_grid') : undefined;
    group.saved.set(i, {
      node: RawJson.snapshot(node),
      data: isObject(data) ? { obj: data, snap: RawJson.snapshot(data) } : null,
      grid: isObject(grid) ? { obj: grid, snap: RawJson.snapshot(grid) } : null,
      nlsGrid: isObject(nlsGrid) ? { obj: nlsGrid, snap: RawJson.snapshot(nlsGrid) } : null
    });
  };

  FilterModel.prototype.writeCell = function (i, column, value) {
    var node = this.nodes[i];
    var name = column.name;
    var data = get(node, 'data');
    var nlsGrid = isObject(data) ? get(data, 'NLS_grid') : undefined;
    if (isObject(nlsGrid) && has(nlsGrid, name)) {
      RawJson.deleteMember(nlsGrid, name);
      if (RawJson.memberCount(nlsGrid) === 0) RawJson.deleteMember(data, 'NLS_grid');
    }
    var grid = get(node, 'grid');
    if (!isObject(grid)) {
      grid = {};
      if (!has(node, 'grid') && has(node, 'children')) {
        // The generator writes grid before children; keep that layout.
        var children = node.children;
        RawJson.deleteMember(node, 'children');
        RawJson.setMember(node, 'grid', grid);
        RawJson.setMember(node, 'children', children);
      } else {
        RawJson.setMember(node, 'grid', grid);
      }
    }
    RawJson.setMember(grid, name, value);
    this.touch(i);
  };

  // The entity and those holding it are no longer as in the source text.
  FilterModel.prototype.touch = function (i) {
    for (var j = i; j >= 0; j = this.parent[j]) RawJson.touch(this.nodes[j]);
  };

  // Refreshes import flags of the given entities and moves the counts of their
  // ancestors; returns every entity whose shown values may have changed.
  FilterModel.prototype.updateCounts = function (indices) {
    var touched = new Set(indices);
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
    return this.editedCells.size > 0 && this.editedCells.has(i + ' ' + column.name);
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
    group.saved.forEach(function (saved, i) {
      RawJson.restore(this.nodes[i], saved.node);
      if (saved.data) RawJson.restore(saved.data.obj, saved.data.snap);
      if (saved.grid) RawJson.restore(saved.grid.obj, saved.grid.snap);
      if (saved.nlsGrid) RawJson.restore(saved.nlsGrid.obj, saved.nlsGrid.snap);
      this.touch(i);
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

  FilterModel.prototype.serialize = function () {
    // Nothing applied (or all undone): the document is the text that came.
    if (!this.undoStack.length) return this.text;
    return RawJson.stringify(this.doc);
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
