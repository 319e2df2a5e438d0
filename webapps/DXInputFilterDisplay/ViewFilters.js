/*
 * ViewFilters - column filters and their chips: the column, operator and value fields,
 * the value suggestions, and one chip a criterion (branch, type, column filter) that
 * removes it.
 */
define(['./Texts'], function (Texts) {
  'use strict';

  var ViewFilters = {};

  ViewFilters.bindFilters = function () {
    var self = this;
    var c = this.controls;
    c.filterColumn.addEventListener('change', function () { self.fillValueSuggestions(); });
    c.filterValue.addEventListener('focus', function () { self.fillValueSuggestions(); });
    c.filterValue.addEventListener('keydown', function (e) {
      if (e.key === 'Enter') {
        e.preventDefault();
        self.addFilter();
      }
    });
    c.filterAdd.addEventListener('click', function () { self.addFilter(); });
  };

  ViewFilters.fillFilterControls = function () {
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
  };

  // The value suggestions read a column of every entity: made when asked, not at load.
  ViewFilters.fillValueSuggestions = function () {
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

  ViewFilters.filterColumn = function () {
    var value = this.controls.filterColumn.value;
    return value === '' ? null : this.model.columns[+value] || null;
  };

  ViewFilters.addFilter = function () {
    var column = this.filterColumn();
    if (!column || !this.state) return;
    if (this.state.addFilter(column, this.controls.filterOp.value, this.controls.filterValue.value)) {
      this.controls.filterValue.value = '';
      this.criteriaChanged();
    }
  };

  ViewFilters.criteriaChanged = function () {
    this.state.recompute();
    this.showTree();
  };

  ViewFilters.showChips = function () {
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

  return ViewFilters;
});
