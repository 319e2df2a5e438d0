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
 * A subtree edit is a range of entities: its in-place values are set in one loop, its
 * undo keeps the range's values before as a byte a cell, and its counts are made again
 * in one pass over the range and one walk up. A tick on a project of a million entities
 * allocates a few arrays, not an object a cell.
 *
 * Edited cells are marked per column in typed arrays: how many steps not undone wrote
 * the cell, and when the first of them did, so that the record of edits lists cells in
 * the order they were first edited.
 *
 * The answer also records the user's edits in data.userEdits: first uid -> column ->
 * value, merged over those a carried document already holds.
 */
define(['./RawJson', './Nls', './DocumentIndex'], function (RawJson, Nls, DocumentIndex) {
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
  // Entities of table work per node a sliced read is given (see readSome): the tables
  // cost a few dozen times less a node than the pass over the text.
  var TABLE_STEP = 32;
  var NLS_WINDOW = 1 << 20;

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
    this.reading = DocumentIndex.start(sourceText, function (columnsText) {
      self.readColumns(columnsText);
      // The columns come first: their catalogs can be on their way while the rest is read.
      if (options.onColumns) options.onColumns(self.columnCatalogs());
      return self.wantedKeys();
    }, options.limit);
    if (!options.sliced) this.readSome();
  }

  // With the "sliced" option the document is read here, `nodes` at a time (all when
  // not given), until this returns true; the model is usable only from then. The
  // per-entity tables made after the pass go a few thousand entities a step: at a
  // million entities they held the page for half a second in one block.
  FilterModel.prototype.readSome = function (nodes) {
    var budget = nodes > 0 && nodes < Infinity ? nodes * TABLE_STEP : Infinity;
    if (this.reading) {
      var index = this.reading.step(nodes);
      if (!index) return false;
      this.reading = null;
      this.tables = this.indexed(index);
      this.tables.next(); // to its first step
    }
    if (!this.tables) return true;
    if (!this.tables.next(budget).done) return false;
    this.tables = null;
    return true;
  };

  // Makes the model's tables from the index; a generator whose next(budget) does about
  // `budget` entities' worth of work.
  FilterModel.prototype.indexed = function* (index) {
    var budget = yield;
    var work = 0;
    var sourceText = this.text;
    if (!this.columns) this.readColumns(null);
    this.index = index;
    // A preview: the document's first nodes only, shown while the whole is read. Nodes
    // it left open count only what it holds, so their counts are not shown. Its edits
    // are shown at once and made again on the whole (see Filter).
    this.partial = index.partial;
    this.cut = new Uint8Array(index.size);
    for (var o = 0; o < index.open.length; o++) this.cut[index.open[o]] = 1;
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
    // Data spans come in text order: one forward search finds them all, where a copy of
    // each span cost a string a node.
    // A preview searches only the text it read.
    var scope = index.partial ? sourceText.slice(0, index.readTo) : sourceText;
    // A window at a time: one search through 200 MB that holds none took 200 ms.
    var find = function* (from) {
      for (; from < scope.length; from += NLS_WINDOW) {
        var k = scope.slice(from, from + NLS_WINDOW + 4).indexOf('"NLS_');
        if (k >= 0) return from + k;
        if (budget !== Infinity) yield; // a read in one block goes on
      }
      return -1;
    };
    var next = yield* find(0);
    for (var d = 0; d < n && next >= 0; d++) {
      if (++work >= budget) budget = yield (work = 0);
      if (dataAt[d] < 0) continue;
      if (next < dataAt[d]) next = yield* find(dataAt[d]);
      if (next >= 0 && next < dataEnd[d]) nls[d] = 1;
    }
    this.nls = nls;

    this.entity = new Uint8Array(n);
    var i;
    for (i = 0; i < n; i++) {
      if (++work >= budget) budget = yield (work = 0);
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
    this.inPlace = new Uint8Array(n); // 1: entity with values edited in place
    this.brokenAt = new Uint8Array(n); // 1: entity whose values were found not to parse

    this.importFlag = new Uint8Array(n);
    this.totalCount = new Int32Array(n);
    this.importCount = new Int32Array(n);
    for (i = 0; i < n; i++) {
      if (++work >= budget) budget = yield (work = 0);
      this.importFlag[i] = this.entity[i] && this.computeImportFlag(i) ? 1 : 0;
    }
    for (i = n - 1; i >= 0; i--) {
      if (++work >= budget) budget = yield (work = 0);
      this.totalCount[i] += this.entity[i];
      this.importCount[i] += this.importFlag[i];
      var p = this.parent[i];
      if (p >= 0) {
        this.totalCount[p] += this.totalCount[i];
        this.importCount[p] += this.importCount[i];
      }
    }

    this.boolCounts = new Map(); // column -> { value, on, off }
    for (var c = 1; c < this.columns.length; c++) {
      var column = this.columns[c];
      if (column.kind !== 'boolean' || column === this.boolColumn) continue;
      // value[i]: 1 "true", 2 "false", 0 anything else; on[i] and off[i]: the subtree's
      // entities (i included) holding "true" and "false".
      var counts = { value: new Uint8Array(n), on: new Int32Array(n), off: new Int32Array(n) };
      for (i = 0; i < n; i++) {
        if (++work >= budget) budget = yield (work = 0);
        counts.value[i] = this.booleanCode(i, column);
      }
      for (i = n - 1; i >= 0; i--) {
        if (++work >= budget) budget = yield (work = 0);
        if (counts.value[i] === 1) counts.on[i]++;
        else if (counts.value[i] === 2) counts.off[i]++;
        p = this.parent[i];
        if (p >= 0) {
          counts.on[p] += counts.on[i];
          counts.off[p] += counts.off[i];
        }
      }
      this.boolCounts.set(column, counts);
    }

    // Per-entity flags and a predicate slot for views that mark entities (e.g. new ones).
    this.flags = new Uint8Array(n);

    this.undoStack = [];
    this.marks = new Map(); // column name -> { count, first } (see the top)
    this.markedCells = 0;
    this.nextStamp = 0;
    this.nextGroupId = 1;
    this.sentGroupId = 0;
    this.uidIndex = null; // uid -> entity, made when first asked
    this.typeIndex = null;
  };

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

  FilterModel.prototype.booleanCode = function (i, column) {
    if (!this.entity[i]) return 0;
    var value = this.collected(i, column.name);
    if (value === undefined) {
      var source = this.cellSource(i, column);
      value = source ? source.text : '';
    }
    return value === 'true' ? 1 : value === 'false' ? 2 : 0;
  };

  // A cell's value as the first pass collected it, when that is what the cell holds;
  // undefined when the node is to be asked. Counts over a million entities read it
  // without an object a cell.
  FilterModel.prototype.collected = function (i, name) {
    if (this.nls[i] || (this.pinned.size && this.pinned.has(i))) return undefined;
    var known = this.gridValues[name];
    return known === undefined ? undefined : known[i];
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
        this.brokenAt[i] = 1;
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
      if (this.inPlace[i] && isObject(o.grid)) {
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
    return !!at && at[i] >= 0 && !this.nls[i] && !this.brokenAt[i] && column.editable && this.entity[i] === 1 &&
      !(this.pinned.size && this.pinned.has(i));
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
    if (!this.nls[i] && !(this.pinned.size && this.pinned.has(i))) {
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
    if (this.cut[i]) return '…';
    if (!this.boolColumn) return String(this.totalCount[i]);
    return this.importCount[i] + ' / ' + this.totalCount[i];
  };

  FilterModel.prototype.computeImportFlag = function (i) {
    if (!this.boolColumn) return true;
    var value = this.collected(i, this.boolColumn.name);
    if (value !== undefined) return value === 'true';
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

  // An undoable step. inPlace: entity, column name, value before, for each value edited
  // in place; saved: entity -> its parsed values before; ranges: subtree edits (see
  // applySubtree); cells: entity, column name of each other cell written.
  FilterModel.prototype.newGroup = function () {
    return { id: 0, saved: new Map(), inPlace: [], changed: [], cells: [], ranges: [] };
  };

  // Applies [{ index, column, value }] as one undoable step. Cells that cannot be
  // edited, or already show the value, are left alone. Returns the changed entities
  // (ancestors whose counts moved included), or null when nothing changed.
  FilterModel.prototype.applyEdits = function (edits) {
    var group = this.newGroup();
    var stamp = this.nextStamp;
    this.nextStamp += edits.length;
    for (var k = 0; k < edits.length; k++) {
      var e = edits[k];
      if (!(e.index >= 0 && e.index < this.size) || !e.column) continue;
      this.editCell(group, e.index, e.column, String(e.value), stamp + k);
    }
    if (!group.changed.length) return null;
    this.push(group);
    return this.updateCounts(group.changed);
  };

  // The same value on an entity and every entity below it, as one undoable step: the
  // range i .. end[i]-1. Returns what applyEdits returns.
  FilterModel.prototype.applySubtree = function (i, column, value) {
    if (!(i >= 0 && i < this.size) || !column) return null;
    value = String(value);
    var from = i;
    var to = this.end[i];
    var group = this.newGroup();
    var stamp = this.nextStamp - from; // stamp + j: the cells in entity order
    this.nextStamp += to - from;
    var name = column.name;
    var at = column.editable ? this.valueAt[name] : undefined;
    if (!at) {
      for (var j = from; j < to; j++) this.editCell(group, j, column, value, stamp + j);
    } else {
      var known = this.gridValues[name];
      // The values before, as codes into `values` (0: not changed): a byte a cell, as a
      // range holds few distinct values (a tick's two); wider when it holds more.
      var range = { column: column, from: from, codes: new Uint8Array(to - from), values: [undefined] };
      var codes = range.codes;
      var lastValue;
      var lastCode = 0;
      var marks = this.marksOf(name);
      var markCount = marks.count;
      var markFirst = marks.first;
      var newlyMarked = 0;
      var nls = this.nls;
      var entity = this.entity;
      var pinned = this.pinned;
      var broken = this.brokenAt;
      var inPlace = this.inPlace;
      var any = false;
      for (j = from; j < to; j++) {
        if (at[j] < 0 || nls[j] || broken[j] || entity[j] !== 1 || (pinned.size && pinned.has(j))) {
          this.editCell(group, j, column, value, stamp + j); // the full road, or none
        } else if (known[j] !== value) {
          if (lastCode === 0 || known[j] !== lastValue) {
            lastValue = known[j];
            lastCode = range.values.indexOf(lastValue, 1);
            if (lastCode < 0) {
              lastCode = range.values.push(lastValue) - 1;
              if (lastCode === 256 || lastCode === 65536) {
                var wider = lastCode === 256 ? new Uint16Array(to - from) : new Uint32Array(to - from);
                wider.set(codes);
                codes = range.codes = wider;
              }
            }
          }
          codes[j - from] = lastCode;
          known[j] = value;
          inPlace[j] = 1;
          // mark(), written out: a call a cell shows over a million
          if (markCount[j]++ === 0) {
            markFirst[j] = stamp + j;
            newlyMarked++;
          }
          any = true;
        }
      }
      this.markedCells += newlyMarked;
      if (any) group.ranges.push(range);
    }
    if (!group.ranges.length && !group.changed.length) return null;
    this.push(group);
    // Counts: the subtree's are made again; the ancestors' move by what its root's did.
    this.recount(from, to, column);
    return this.rangeAndAncestors(from, to);
  };

  FilterModel.prototype.push = function (group) {
    group.id = this.nextGroupId++;
    this.undoStack.push(group);
  };

  // One cell of a step; true when it changed.
  FilterModel.prototype.editCell = function (group, i, column, value, stamp) {
    if (this.editsInPlace(i, column)) {
      var known = this.gridValues[column.name];
      if (known[i] === value) return false;
      group.inPlace.push(i, column.name, known[i]);
      known[i] = value;
      this.inPlace[i] = 1;
    } else {
      if (!this.canEdit(i, column)) return false;
      var source = this.cellSource(i, column);
      if (source && !source.nls && source.text === value) return false;
      if (source && source.nls && this.resolve(source.text) === value) return false;
      if (column === this.nameColumn && !this.renamed.has(i)) {
        // The tree shows the new name only where the label was the name.
        this.renamed.set(i, this.label(i) === (source ? this.cellText(i, column) : ''));
      }
      this.saveForUndo(group, i);
      this.writeCell(i, column, value);
    }
    group.changed.push(i);
    group.cells.push(i, column.name);
    this.mark(this.marksOf(column.name), i, stamp, 1);
    return true;
  };

  FilterModel.prototype.marksOf = function (name) {
    var marks = this.marks.get(name);
    if (!marks) {
      marks = { count: new Int32Array(this.size), first: new Float64Array(this.size) };
      this.marks.set(name, marks);
    }
    return marks;
  };

  // Counts a step that wrote the cell (step 1) or was undone (-1).
  FilterModel.prototype.mark = function (marks, i, stamp, step) {
    var was = marks.count[i];
    marks.count[i] = was + step;
    if (was === 0) {
      marks.first[i] = stamp;
      this.markedCells++;
    } else if (was + step === 0) {
      this.markedCells--;
    }
  };

  // A typed array: a plain one of a million entries is made slowly, as a dictionary.
  FilterModel.prototype.rangeAndAncestors = function (from, to) {
    var above = from >= 0 ? this.depth[from] : 0;
    var out = new Int32Array(to - from + above);
    for (var j = from; j < to; j++) out[j - from] = j;
    for (var a = this.parent[from], k = to - from; a >= 0; a = this.parent[a]) out[k++] = a;
    return out;
  };

  // The import flags and a boolean column's counts of the subtree from .. to-1 made
  // again from its values, in one backward pass (children come after their parent);
  // the ancestors move by what the subtree's root moved.
  FilterModel.prototype.recount = function (from, to, column) {
    var isImport = column === this.boolColumn;
    var counts = this.boolCounts.get(column);
    if (!isImport && !counts) return;
    var parent = this.parent;
    var entity = this.entity;
    var nls = this.nls;
    var pinned = this.pinned;
    var known = this.gridValues[column.name];
    var flag = this.importFlag;
    var count = this.importCount;
    var value = counts ? counts.value : null;
    var on = counts ? counts.on : null;
    var off = counts ? counts.off : null;
    var was = isImport ? count[from] : 0;
    var wasOn = counts ? on[from] : 0;
    var wasOff = counts ? off[from] : 0;
    var j;
    // The flag and the counts read the same value: its code once a cell, read here from
    // the collected values where they hold it (a call a cell is most of a million's cost).
    for (j = from; j < to; j++) {
      var code = 0;
      if (entity[j]) {
        if (known !== undefined && !nls[j] && !(pinned.size && pinned.has(j))) {
          var v = known[j];
          code = v === 'true' ? 1 : v === 'false' ? 2 : 0;
        } else {
          code = this.booleanCode(j, column);
        }
      }
      if (isImport) {
        flag[j] = code === 1 ? 1 : 0;
        count[j] = 0;
      }
      if (counts) {
        value[j] = code;
        on[j] = off[j] = 0;
      }
    }
    for (j = to - 1; j >= from; j--) {
      var up = j > from ? parent[j] : -1;
      if (isImport) {
        count[j] += flag[j];
        if (up >= 0) count[up] += count[j];
      }
      if (counts) {
        if (value[j] === 1) on[j]++;
        else if (value[j] === 2) off[j]++;
        if (up >= 0) {
          on[up] += on[j];
          off[up] += off[j];
        }
      }
    }
    var delta = isImport ? count[from] - was : 0;
    var dOn = counts ? on[from] - wasOn : 0;
    var dOff = counts ? off[from] - wasOff : 0;
    for (var a = parent[from]; a >= 0 && (delta || dOn || dOff); a = parent[a]) {
      if (isImport) count[a] += delta;
      if (counts) {
        on[a] += dOn;
        off[a] += dOff;
      }
    }
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

  // True for a cell that an edit not undone has written.
  FilterModel.prototype.isEdited = function (i, column) {
    if (!column || this.markedCells === 0) return false;
    var marks = this.marks.get(column.name);
    return !!marks && marks.count[i] > 0;
  };

  FilterModel.prototype.canUndo = function () {
    return this.undoStack.length > 0;
  };

  // Puts back the containers of the last step as they were, key order included.
  FilterModel.prototype.undo = function () {
    var group = this.undoStack.pop();
    if (!group) return null;
    for (var c = 0; c < group.cells.length; c += 2) this.mark(this.marksOf(group.cells[c + 1]), group.cells[c], 0, -1);
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
    if (!group.ranges.length) return this.updateCounts(indices);
    // A subtree step: the saved entities are inside its range, made again with it.
    var range = group.ranges[0];
    var column = range.column;
    var known = this.gridValues[column.name];
    var marks = this.marksOf(column.name);
    var codes = range.codes;
    for (var d = 0; d < codes.length; d++) {
      if (!codes[d]) continue;
      var j = range.from + d;
      var before = range.values[codes[d]];
      known[j] = before;
      this.mark(marks, j, 0, -1);
      var since = this.pinned.size ? this.pinned.get(j) : undefined;
      if (since && isObject(since.grid)) RawJson.setMember(since.grid, column.name, before);
    }
    var to = range.from + codes.length;
    this.recount(range.from, to, column);
    return this.rangeAndAncestors(range.from, to);
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

  // ------------------------------------------------------------ writing

  // Edited cells, not undone, by the entity's first uid in the order first edited:
  // { uids, cells }, cells[k] the uid's [name, value, name, value...] (the last value
  // written). Arrays, not maps: after a tick on the whole model there is one an entity.
  FilterModel.prototype.userEdits = function () {
    // Each column's cells come in entity order; sorted by when first edited only when
    // that differs (edits of several columns or steps out of order).
    var first = [];
    var who = [];
    var columns = [];
    var sorted = true;
    if (this.markedCells) {
      this.marks.forEach(function (marks, name) {
        var column = this.column(name);
        if (!column) return;
        for (var i = 0; i < this.size; i++) {
          if (marks.count[i] <= 0) continue;
          if (first.length && marks.first[i] < first[first.length - 1]) sorted = false;
          first.push(marks.first[i]);
          who.push(i);
          columns.push(column);
        }
      }, this);
    }
    var order = null;
    if (!sorted) {
      order = who.map(function (i, k) { return k; });
      order.sort(function (a, b) { return first[a] - first[b]; });
    }
    var uids = [];
    var cells = [];
    var slot = new Map();
    for (var k = 0; k < who.length; k++) {
      var o = order ? order[k] : k;
      var i = who[o];
      var column = columns[o];
      var uid = this.recordedUid(i);
      if (uid === null) continue;
      var s = slot.get(uid);
      if (s === undefined) {
        slot.set(uid, uids.length);
        uids.push(uid);
        cells.push([column.name, this.cellText(i, column)]);
        continue;
      }
      var list = cells[s];
      var m = 0;
      while (m < list.length && list[m] !== column.name) m += 2;
      list[m] = column.name;
      list[m + 1] = this.cellText(i, column);
    }
    return { uids: uids, cells: cells };
  };

  // firstUid without keeping the parsed node: an answer after a tick on the whole model
  // asks it of every entity, and the parse cache would only churn. A node whose values
  // do not all parse names none, as own() finds.
  FilterModel.prototype.recordedUid = function (i) {
    if (!this.entity[i] || this.brokenAt[i] || this.pinned.has(i) || this.cache.has(i) || this.olderCache.has(i)) {
      return this.firstUid(i);
    }
    var index = this.index;
    var t = this.text;
    var data;
    try {
      if (index.labelAt[i] >= 0) JSON.parse(t.slice(index.labelAt[i], index.labelEnd[i]));
      if (index.gridAt[i] >= 0) JSON.parse(t.slice(index.gridAt[i], index.gridEnd[i]));
      if (index.dataAt[i] >= 0) data = JSON.parse(t.slice(index.dataAt[i], index.dataEnd[i]));
    } catch (e) {
      return this.firstUid(i); // marks it broken
    }
    var ids = get(data, 'uid');
    return Array.isArray(ids) && typeof ids[0] === 'string' && ids[0] ? ids[0] : null;
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
    // Only a column some edit has marked holds values changed in place.
    var names = Object.keys(this.valueAt).filter(function (name) { return this.marks.has(name); }, this);
    for (var c = 0; c < names.length; c++) {
      var valueAt = this.valueAt[names[c]];
      var known = this.gridValues[names[c]];
      for (var i = 0; i < this.size; i++) {
        if (!this.inPlace[i] || valueAt[i] < 0 || this.pinned.has(i)) continue; // a parsed one is written with its grid below
        var at = valueAt[i];
        var end = stringEnd(t, at);
        var token = typeof known[i] === 'string' ? RawJson.quote(known[i]) : RawJson.stringify(known[i]);
        if (token !== t.slice(at, end)) pieces.push([at, end, token]);
      }
    }
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
    if (edits.uids.length && isObject(this.topData)) {
      var top = RawJson.parse(t.slice(index.top.dataAt, index.top.dataEnd));
      var recorded = get(top, 'userEdits');
      if (!isObject(recorded)) recorded = {};
      // Entities not in the record yet (after a tick on the whole model, every one) are
      // appended as text: an object of that many members is slow to build and to write.
      var added = [];
      for (var e = 0; e < edits.uids.length; e++) {
        var uid = edits.uids[e];
        var cells = edits.cells[e];
        var entry = get(recorded, uid);
        var m;
        if (entry === undefined) {
          var text = RawJson.quote(uid) + ':{';
          for (m = 0; m < cells.length; m += 2) text += (m ? ',' : '') + RawJson.quote(cells[m]) + ':' + RawJson.quote(cells[m + 1]);
          added.push(text + '}');
          continue;
        }
        if (!isObject(entry)) {
          // A member that is no object is written anew in its place.
          entry = {};
          RawJson.setMember(recorded, uid, entry);
        }
        for (m = 0; m < cells.length; m += 2) RawJson.setMember(entry, cells[m], cells[m + 1]);
      }
      var recordText = RawJson.stringify(recorded);
      if (added.length) recordText = recordText.slice(0, -1) + (recordText.length > 2 ? ',' : '') + added.join(',') + '}';
      RawJson.setMember(top, 'userEdits', new RawJson.RawNumber(recordText));
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
