/*
 * ViewCarry - the view's part of a carried filter: what is new since the last filter
 * (a toggle that shows only that) and the list of what is gone. Only the view shows
 * these marks; the document never holds them.
 */
define(['./CarryMarks'], function (CarryMarks) {
  'use strict';

  var ViewCarry = {};

  // The carry's marks: only the view shows them, the document never holds them.
  ViewCarry.showCarry = function () {
    var c = this.controls;
    var marks = new CarryMarks(this.model.topData);
    this.marks = marks.present ? marks : null;
    this.newOnly = false;
    if (this.state.extra !== null) {
      this.state.setExtra(null);
      this.state.recompute();
    }
    this.setGoneOpen(false);
    c.goneList.textContent = '';
    c.carryGroup.hidden = !marks.present;
    c.carrySummary.hidden = !marks.present;
    if (!marks.present) {
      this.model.flags.fill(0);
      return;
    }
    marks.markModel(this.model);
    c.carryNew.textContent = marks.filterLabel();
    c.carryNew.hidden = !marks.hasNew();
    c.carryNew.setAttribute('aria-pressed', 'false');
    c.carryGone.textContent = marks.goneButton();
    c.carrySummary.textContent = marks.summary();
    c.carrySummary.title = marks.droppedText() || marks.goneTitle();
    c.goneTitle.textContent = marks.goneTitle();
    c.goneClose.textContent = marks.goneClose();
  };

  ViewCarry.setNewOnly = function (on) {
    if (!this.marks || !this.state) return;
    this.newOnly = !!on;
    this.state.setExtra(this.newOnly ? CarryMarks.newOnly(this.model) : null);
    this.controls.carryNew.setAttribute('aria-pressed', this.newOnly ? 'true' : 'false');
    this.criteriaChanged();
  };

  // The list is made when first opened: a week's removals may be thousands of uids.
  ViewCarry.setGoneOpen = function (open) {
    var c = this.controls;
    open = !!open && !!this.marks;
    c.gonePanel.hidden = !open;
    c.carryGone.setAttribute('aria-expanded', open ? 'true' : 'false');
    c.carrySummary.setAttribute('aria-expanded', open ? 'true' : 'false');
    if (!open || c.goneList.firstChild) return;
    c.goneText.textContent = this.marks.goneText();
    var doc = this.doc;
    this.marks.gone().forEach(function (uid) {
      var item = doc.createElement('li');
      item.textContent = uid;
      c.goneList.appendChild(item);
    });
  };

  return ViewCarry;
});
