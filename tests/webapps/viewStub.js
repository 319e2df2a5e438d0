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
  ViewStub.prototype.commitEditing = function () {};
  ViewStub.prototype.showStatus = function () {};
  ViewStub.prototype.showValues = function () {};
  ViewStub.prototype.showTree = function () {};
  ViewStub.prototype.showExpansion = function () {};
  return ViewStub;
});
