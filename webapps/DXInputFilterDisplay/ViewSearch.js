/*
 * ViewSearch - the search field: the search runs a moment after typing stops, Enter
 * jumps to the next match (Shift+Enter the one before), Escape clears it.
 */
define([], function () {
  'use strict';

  var SEARCH_DELAY_MS = 180;

  var ViewSearch = {};

  ViewSearch.bindSearch = function () {
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
  };

  ViewSearch.applySearch = function () {
    if (!this.state) return;
    this.state.setQuery(this.controls.search.value);
    this.criteriaChanged();
  };

  ViewSearch.jumpToMatch = function (step) {
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

  return ViewSearch;
});
