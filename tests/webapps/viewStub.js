// A view that notes each document the page shows, for tests of the page's loading in node.
/* global define */
define([], function () {
  'use strict';

  function ViewStub(root, filter) {
    this.filter = filter;
    this.shown = [];
    this.onShow = null;
  }
  ViewStub.prototype.showDocument = function () {
    var model = this.filter.model();
    this.shown.push(model ? { partial: model.partial, size: model.size } : null);
    if (this.onShow) this.onShow();
  };
  // What else the page asks of its view: nothing to note.
  ['commitEditing', 'showStatus', 'showValues', 'showTree', 'showExpansion'].forEach(function (name) {
    ViewStub.prototype[name] = function () {};
  });
  return ViewStub;
});
