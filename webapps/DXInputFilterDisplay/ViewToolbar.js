/*
 * ViewToolbar - the toolbar's buttons (expand, collapse, levels, grouping, types, undo,
 * set on subtree or selection, the carry's) and the list of levels to expand to.
 */
define(['./Texts'], function (Texts) {
  'use strict';

  var ViewToolbar = {};

  ViewToolbar.bindToolbar = function () {
    var self = this;
    var c = this.controls;
    c.groupTypes.addEventListener('change', function () { self.setGrouping(c.groupTypes.checked); });
    c.types.addEventListener('click', function () { self.typeList.toggle(); });
    c.expandAll.addEventListener('click', function () { self.perform({ t: 'level', d: -1 }); });
    c.collapseAll.addEventListener('click', function () { self.perform({ t: 'level', d: 0 }); });
    c.level.addEventListener('change', function () {
      if (c.level.value !== '') self.perform({ t: 'level', d: +c.level.value });
      c.level.value = '';
    });
    c.undo.addEventListener('click', function () { self.perform({ t: 'undo' }); });
    c.setSubtree.addEventListener('click', function () { self.setOnSubtree(self.cursor.id, self.cursor.col); });
    c.setSelection.addEventListener('click', function () { self.setOnSelection(); });
    c.carryNew.addEventListener('click', function () { self.setNewOnly(!self.newOnly); });
    function toggleGone() { self.setGoneOpen(c.gonePanel.hidden); }
    c.carryGone.addEventListener('click', toggleGone);
    c.carrySummary.addEventListener('click', toggleGone);
    function closeGone() {
      self.setGoneOpen(false);
      c.carryGone.focus();
    }
    c.goneClose.addEventListener('click', closeGone);
    c.gonePanel.addEventListener('keydown', function (e) {
      if (e.key === 'Escape') {
        e.preventDefault();
        closeGone();
      }
    });
  };

  ViewToolbar.fillLevels = function () {
    var doc = this.doc;
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

  return ViewToolbar;
});
