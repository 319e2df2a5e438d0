/*
 * FilterState - what the grid shows of the model: expanded entities, the label search,
 * the value filters and the branch the user narrowed the view to. No DOM here.
 *
 * An entity shows when it passes (every value filter, inside the branch, and the
 * search matches its label or an ancestor's), or when something below it passes: it
 * is then shown as context only. Changing the criteria expands the context entities,
 * so whatever passes is in sight.
 */
define([], function () {
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
