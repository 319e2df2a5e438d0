/*
 * CarryMarks - what the page shows of a carry from the last filter: a badge on the
 * entities that are new, a filter "new since the last filter", a panel listing the
 * entities that are gone, and a line with the counts. No DOM here.
 *
 * It reads the document's data.carry as the carry writes it:
 *   { from: "<old filterID>", carried: 412, new: [uid, ...], gone: [uid, ...], dropped: 0 }
 * where each uid is an entity's first uid. A document without a carry marks nothing.
 * Anything of another shape counts as absent: a count that is not a whole number of
 * zero or more is 0, and list entries that are not strings are skipped. Numbers may come
 * as numbers (JSON.parse) or as RawJson's number tokens.
 */
define([], function () {
  'use strict';

  var ENGLISH = {
    NewBadge: 'New',
    NewBadgeTooltip: 'Not in the last filter ({0})',
    NewFilter: 'New since the last filter',
    GoneTitle: 'Gone since the last filter',
    GoneButton: 'Gone ({0})',
    GoneClose: 'Close',
    GoneNone: 'No entity of the last filter is gone.',
    GoneCount: '{0} entities of the last filter are not in this file',
    GoneCountOne: '1 entity of the last filter is not in this file',
    Summary: '{0} carried, {1} new, {2} gone, {3} dropped',
    EditsOne: '1 edit',
    Edits: '{0} edits',
    DroppedHint: '{0} of the last filter\'s edits could not be carried: their entity or column is gone, or the value no longer fits'
  };

  var texts = Object.assign({}, ENGLISH);
  var hasOwn = Object.prototype.hasOwnProperty;

  function format(key) {
    var args = Array.prototype.slice.call(arguments, 1);
    var template = hasOwn.call(texts, key) ? texts[key] : key;
    return template.replace(/\{(\d+)\}/g, function (whole, k) {
      return k < args.length ? String(args[k]) : whole;
    });
  }

  function isObject(v) {
    return v !== null && typeof v === 'object' && !Array.isArray(v);
  }

  function member(obj, key) {
    return isObject(obj) && hasOwn.call(obj, key) ? obj[key] : undefined;
  }

  // A whole number of zero or more, else 0.
  function count(v) {
    var n;
    if (typeof v === 'number') n = v;
    else if (v !== null && typeof v === 'object' && typeof v.raw === 'string' && /^[0-9]+$/.test(v.raw)) n = Number(v.raw);
    else return 0;
    return Number.isSafeInteger(n) && n >= 0 ? n : 0;
  }

  // The strings of a list, each once, in order.
  function uids(v) {
    if (!Array.isArray(v)) return [];
    var seen = new Set();
    return v.filter(function (uid) {
      if (typeof uid !== 'string' || seen.has(uid)) return false;
      seen.add(uid);
      return true;
    });
  }

  // data: the document's top-level "data" object (or undefined).
  function CarryMarks(data) {
    var carry = member(data, 'carry');
    this.present = isObject(carry);
    var from = member(carry, 'from');
    this.from = typeof from === 'string' ? from : '';
    this.newUids = uids(member(carry, 'new'));
    this.goneUids = uids(member(carry, 'gone'));
    this.newSet = new Set(this.newUids);
    this.carried = count(member(carry, 'carried'));
    this.dropped = count(member(carry, 'dropped'));
  }

  // True for an entity that the last filter did not have; uid is its first uid.
  CarryMarks.prototype.isNew = function (uid) {
    return typeof uid === 'string' && this.newSet.has(uid);
  };

  // The uids of the entities that are gone, for the panel.
  CarryMarks.prototype.gone = function () {
    return this.goneUids.slice();
  };

  CarryMarks.prototype.counts = function () {
    return { carried: this.carried, new: this.newUids.length, gone: this.goneUids.length, dropped: this.dropped };
  };

  // The badge and the filter are offered only when there is something new to show.
  CarryMarks.prototype.hasNew = function () {
    return this.newUids.length > 0;
  };

  CarryMarks.prototype.summary = function () {
    if (!this.present) return '';
    var edits = this.carried === 1 ? format('EditsOne') : format('Edits', this.carried);
    return format('Summary', edits, this.newUids.length, this.goneUids.length, this.dropped);
  };

  CarryMarks.prototype.badge = function () {
    return format('NewBadge');
  };

  CarryMarks.prototype.badgeTooltip = function () {
    return format('NewBadgeTooltip', this.from);
  };

  CarryMarks.prototype.filterLabel = function () {
    return format('NewFilter');
  };

  CarryMarks.prototype.goneClose = function () {
    return format('GoneClose');
  };

  CarryMarks.prototype.goneTitle = function () {
    return format('GoneTitle');
  };

  // The line above the panel's list.
  CarryMarks.prototype.goneText = function () {
    var n = this.goneUids.length;
    if (n === 0) return format('GoneNone');
    return n === 1 ? format('GoneCountOne') : format('GoneCount', n);
  };

  // Why some edits did not arrive; empty when all did.
  CarryMarks.prototype.droppedText = function () {
    return this.dropped > 0 ? format('DroppedHint', this.dropped) : '';
  };

  // Sets model.flags to 1 on the new entities the model has; returns how many it marked.
  // A uid several entities carry names none of them, so none is marked.
  CarryMarks.prototype.markModel = function (model) {
    model.flags.fill(0);
    var marked = 0;
    for (var k = 0; k < this.newUids.length; k++) {
      var i = model.indexOfUid(this.newUids[k]);
      if (i >= 0 && model.flags[i] === 0) {
        model.flags[i] = 1;
        marked++;
      }
    }
    return marked;
  };

  // The test of "new since the last filter", for the filter state.
  CarryMarks.newOnly = function (model) {
    return function (i) { return model.flags[i] === 1; };
  };

  CarryMarks.prototype.goneButton = function () {
    return format('GoneButton', this.goneUids.length);
  };

  // Takes a catalog's messages over the English ones; other keys are ignored.
  CarryMarks.use = function (catalog) {
    if (!isObject(catalog)) return;
    Object.keys(ENGLISH).forEach(function (key) {
      if (typeof catalog[key] === 'string') texts[key] = catalog[key];
    });
  };

  CarryMarks.reset = function () {
    texts = Object.assign({}, ENGLISH);
  };

  CarryMarks.ENGLISH = ENGLISH;
  return CarryMarks;
});
