/*
 * Filter - the page's face to the dialog.
 *
 *   init(text)          the filter document, as JSON text; before or after the page is up
 *   sendNewJson(tag)    posts [tag, the document as JSON text]
 *   registerInteractions(services)   test mode: user interactions are reported through
 *                       services.report(text) (see SelectiveWebUI_TST/InputFilteringSimulateScenario)
 *   simulate(text)      replays one reported interaction
 *
 * Runtime columns show, per entity, the entities of its subtree (itself included) that
 * will be imported out of all of them, e.g. "12 / 40": an entity will be imported when
 * its first boolean column holds "true". Without a boolean column they show the number
 * of entities of the subtree. See FilterModel.
 *
 * Every change of the document goes through perform(): the view calls it for what the
 * user does, simulate() for replays. Replays are not reported again.
 *
 * The edits of a dialog are kept in the tab's session storage as they are made, and
 * made again when the same document comes back to the same dialog (a reload): a
 * reload does not lose them. OK, once the answer is sent, forgets them.
 */
define(['require', './FilterModel', './FilterState', './Interaction', './Nls', './Texts', './CarryMarks', './AnswerBody'], function (
  localRequire, FilterModel, FilterState, Interaction, Nls, Texts, CarryMarks, AnswerBody) {
  'use strict';

  var CATALOG_TIMEOUT_MS = 3000;
  var EDIT_ACTIONS = { edit: 1, subtree: 1, rows: 1, undo: 1 };
  var START_LEVEL = 3; // project, site and building open: the storeys show, closed
  // From this size (characters) the first rows come from a first pass over the first
  // nodes, enough to fill a window; the whole document is read after they are painted.
  var PREVIEW_FROM = 4 << 20;
  var PREVIEW_NODES = 8000;
  var SLICE_MS = 8;
  var SLICE_NODES = 256;

  var sourceText = null;
  var model = null;
  var state = null;
  var error = null;
  var currentView = null;
  var recorder = null;
  var loaded = null; // promise of the current document's load
  var resolveFirstDocument;
  // Replays may come before the document: the dialog's script that gives it waits for
  // more modules (test mode) than a replay's script does.
  var firstDocument = new Promise(function (resolve) { resolveFirstDocument = resolve; });
  var pageTexts = null; // promise of the page's own catalog
  var restoring = false; // edits of an earlier load are being made again
  var sourcePrint = null; // fingerprint(sourceText), made once a document
  var kept = null; // what the storage holds for this document, as written last
  var answer = null; // the answer's message, made ready while the page is idle
  var earlier = null; // edits kept from an earlier load of this document
  var previewEdits = []; // edits made on a preview: made again on the whole once it is read

  // ------------------------------------------------------------ kept edits

  function storage() {
    try {
      return typeof sessionStorage !== 'undefined' ? sessionStorage : null;
    } catch (e) {
      return null; // storage refused (privacy settings): edits are not kept
    }
  }

  // One key per dialog: the dialog's address holds its own token.
  function storageKey() {
    var where = typeof location !== 'undefined' ? location.pathname : '';
    return 'dx.filter.edits:' + where;
  }

  // Says whether a kept list of edits belongs to this document: its length and a
  // sample of its characters.
  function fingerprint(text) {
    var hash = 2166136261;
    var step = Math.max(1, Math.floor(text.length / 4096));
    for (var k = 0; k < text.length; k += step) hash = Math.imul(hash ^ text.charCodeAt(k), 16777619) >>> 0;
    return text.length + ':' + hash.toString(16);
  }

  function keptEdits() {
    var store = storage();
    if (!store) return null;
    try {
      var kept = JSON.parse(store.getItem(storageKey()) || 'null');
      return kept && typeof kept.doc === 'string' && Array.isArray(kept.actions) ? kept : null;
    } catch (e) {
      return null;
    }
  }

  function documentPrint() {
    if (sourcePrint === null) sourcePrint = fingerprint(sourceText);
    return sourcePrint;
  }

  // Read once a document, then written from memory: an edit costs no parse of the list.
  function keepEdit(text) {
    var store = storage();
    if (!store || !sourceText) return;
    var doc = documentPrint();
    if (!kept) kept = keptEdits();
    if (!kept || kept.doc !== doc) kept = { doc: doc, actions: [] };
    kept.actions.push(text);
    try {
      store.setItem(storageKey(), JSON.stringify(kept));
    } catch (e) {
      // over the storage's quota: what is kept stays as it was
    }
  }

  function forgetEdits() {
    kept = null;
    var store = storage();
    if (store) store.removeItem(storageKey());
  }

  // The kept edits of an earlier load of this document, as actions.
  function earlierEdits() {
    var stored = keptEdits();
    if (!stored || stored.doc !== documentPrint()) return [];
    return stored.actions.map(function (text) {
      try {
        return Interaction.decode(text);
      } catch (e) {
        return null;
      }
    });
  }

  // Makes actions again on `target` (the current model when not given), from `from` on,
  // while hasTime() says so; returns where it stopped. Those that no longer apply are
  // skipped.
  function restoreEdits(actions, from, target, hasTime) {
    var current = { model: model, state: state };
    if (target) {
      model = target.model;
      state = target.state;
    }
    restoring = true;
    var k = from;
    try {
      while (k < actions.length && (!hasTime || k === from || hasTime())) {
        try {
          if (actions[k]) apply(actions[k]);
        } catch (e) {
          // an action that no longer names an entity
        }
        k++;
      }
    } finally {
      restoring = false;
      if (target) {
        model = current.model;
        state = current.state;
      }
    }
    return k;
  }

  function bridge() {
    if (typeof window !== 'undefined' && window.qor) return window.qor;
    return null;
  }

  function post(message) {
    var qor = bridge();
    if (!qor || typeof qor.post !== 'function') return;
    var sent = qor.post(message);
    // A closed dialog refuses messages; nothing on the page can do better than say so.
    if (sent && typeof sent.catch === 'function') {
      sent.catch(function (e) {
        if (typeof console !== 'undefined') console.warn(e && e.message ? e.message : e);
      });
    }
    return sent;
  }

  function loadPageTexts() {
    if (!pageTexts) {
      pageTexts = Nls.loadCatalogs([Texts.CATALOG], bridge(), CATALOG_TIMEOUT_MS).then(function (catalogs) {
        Texts.use(catalogs[Texts.CATALOG]);
        CarryMarks.use(catalogs[Texts.CATALOG]);
      });
    }
    return pageTexts;
  }

  // The time to the next paint, or a moment where there is none (a hidden page).
  // The next slice of background work: in idle time, but not starved by a busy page.
  function later(work) {
    if (typeof requestIdleCallback === 'function') requestIdleCallback(work, { timeout: 50 });
    else setTimeout(work, 0);
  }

  function afterPaint() {
    return new Promise(function (resolve) {
      var timer = setTimeout(resolve, 100);
      requestAnimationFrame(function () {
        clearTimeout(timer);
        setTimeout(resolve, 0);
      });
    });
  }

  function init(text) {
    if (typeof performance !== 'undefined' && performance.mark) performance.mark('filter-init');
    sourceText = typeof text === 'string' ? text : String(text);
    sourcePrint = null;
    kept = null;
    answer = null;
    model = null;
    state = null;
    error = null;
    earlier = earlierEdits(); // before the page keeps any edit of its own
    previewEdits = [];
    var current;
    var early = { names: [], catalogs: Promise.resolve({}) };
    function onColumns(names) {
      early = { names: names, catalogs: Nls.loadCatalogs(names, bridge(), CATALOG_TIMEOUT_MS) };
    }
    function catalogsOf(parsed) {
      var others = parsed ? parsed.catalogNames().filter(function (name) { return early.names.indexOf(name) < 0; }) : [];
      return Promise.all([early.catalogs, Nls.loadCatalogs(others, bridge(), CATALOG_TIMEOUT_MS), loadPageTexts()])
        .then(function (results) { return new Nls.Resolver(Object.assign({}, results[0], results[1])); });
    }

    // A large document shows its first rows from its first nodes while the whole is read.
    var preview = null;
    if (sourceText.length >= PREVIEW_FROM && typeof requestAnimationFrame === 'function') {
      try {
        preview = new FilterModel(sourceText, { onColumns: onColumns, limit: PREVIEW_NODES });
        if (preview.partial && preview.index.top.columnsAt < 0) preview = null; // no columns yet
      } catch (e) {
        preview = null; // the whole pass says what is wrong
      }
    }

    function failed(e) {
      error = e && e.message ? e.message : String(e);
      return null;
    }

    function readWhole() {
      if (preview && !preview.partial) return preview;
      try {
        return new FilterModel(sourceText, { onColumns: preview ? null : onColumns });
      } catch (e) {
        return failed(e);
      }
    }

    // Behind a painted preview the whole is read a few milliseconds at a time, so a
    // tick or a scroll is answered while it loads (read in one block, input waited
    // seconds at 100,000 entities).
    function readWholeInSlices() {
      var whole;
      try {
        whole = new FilterModel(sourceText, { sliced: true });
      } catch (e) {
        return Promise.resolve(failed(e));
      }
      return new Promise(function (resolve) {
        function slice() {
          if (current !== loaded) return resolve(null); // a newer document came meanwhile
          var until = Date.now() + SLICE_MS;
          try {
            while (!whole.readSome(SLICE_NODES)) {
              if (Date.now() >= until) return later(slice);
            }
          } catch (e) {
            return resolve(failed(e));
          }
          resolve(whole);
        }
        later(slice);
      });
    }

    // The edits of an earlier load, then those made on the preview (more may come
    // meanwhile), made on the whole a few milliseconds at a time before it is shown.
    function catchUp(whole) {
      var done = 0;
      var actions = earlier.concat(previewEdits);
      return new Promise(function (resolve) {
        function slice() {
          if (current !== loaded) return resolve(false);
          actions = actions.concat(previewEdits.slice(actions.length - earlier.length));
          var until = Date.now() + SLICE_MS;
          done = restoreEdits(actions, done, whole, function () { return Date.now() < until; });
          if (done < actions.length || previewEdits.length > actions.length - earlier.length) return later(slice);
          resolve(true);
        }
        later(slice);
      });
    }

    function show(parsed) {
      return catalogsOf(parsed).then(function (resolver) {
        if (current !== loaded) return; // a newer document came meanwhile
        if (parsed) {
          parsed.resolver = resolver;
          var whole = { model: parsed, state: new FilterState(parsed) };
          whole.state.expandToLevel(START_LEVEL);
          if (model && model.partial) {
            return catchUp(whole).then(function (caughtUp) {
              if (!caughtUp) return;
              // What the user opened on the preview stays open: its entities are the
              // whole's first ones.
              whole.state.expanded.set(state.expanded);
              showWhole(parsed, whole.state);
            });
          }
          restoreEdits(earlier, 0, whole);
          showWhole(parsed, whole.state);
        } else {
          model = null;
          state = null;
          shown();
        }
      });
    }

    function showWhole(parsed, wholeState) {
      var fromPreview = !!model && model.partial;
      model = parsed;
      state = wholeState;
      previewEdits = [];
      shown(fromPreview);
      if (typeof Blob === 'function') {
        answer = new AnswerBody(sourceText);
        answer.prepareWhenIdle();
      }
    }

    function shown(fromPreview) {
      if (currentView) currentView.showDocument(fromPreview);
      if (typeof performance !== 'undefined' && performance.mark) performance.mark('filter-ready');
    }

    if (preview && preview.partial) {
      current = loaded = catalogsOf(preview).then(function (resolver) {
        if (current !== loaded || !currentView) return;
        preview.resolver = resolver;
        model = preview;
        state = new FilterState(model);
        state.expandToLevel(START_LEVEL);
        currentView.showDocument();
        return afterPaint();
      }).then(function () {
        if (current !== loaded) return;
        // The preview is painted: the whole is read from here on (the benchmark's mark).
        if (typeof performance !== 'undefined' && performance.mark) performance.mark('filter-preview-painted');
        return readWholeInSlices().then(show);
      });
    } else {
      var whole = readWhole();
      current = loaded = show(whole);
    }
    resolveFirstDocument();
    return current;
  }

  // The page calls this once its DOM is there; the view is loaded only in a browser.
  function attach(root) {
    // The view's modules load while the page's texts come.
    var viewModule = new Promise(function (resolve, reject) {
      localRequire(['./FilterView'], resolve, reject);
    });
    return Promise.all([viewModule, loadPageTexts()]).then(function (loaded) {
      var FilterView = loaded[0];
      currentView = new FilterView(root, api);
      if (model || error) currentView.showDocument();
      return currentView;
    });
  }

  // Returns the document's text when it was made as one string.
  function sendNewJson(tag) {
    var view = currentView;
    if (view) view.commitEditing();
    if (model && model.partial && (model.isDirty() || (earlier && earlier.length))) {
      // Edits made on a preview, and those kept from an earlier load, reach every entity
      // they name only on the whole.
      var waited = loaded;
      loaded.then(function () {
        if (waited === loaded) sendNewJson(tag);
      });
      return undefined;
    }
    var qor = bridge();
    var text;
    var sent;
    if (model && answer && qor && typeof qor.postJson === 'function') {
      // Only the changed parts are written and escaped anew: see AnswerBody.
      sent = qor.postJson(answer.body(String(tag), model.answerPieces()));
      if (sent && typeof sent.catch === 'function') {
        sent.catch(function (e) {
          if (typeof console !== 'undefined') console.warn(e && e.message ? e.message : e);
        });
      }
    } else {
      text = model ? model.serialize() : sourceText !== null ? sourceText : '';
      sent = post([String(tag), text]);
    }
    if (String(tag) === 'onOkClick' && sent && typeof sent.then === 'function') sent.then(forgetEdits, function () {});
    if (model) model.markSent();
    if (view) view.showStatus();
    return text;
  }

  // Test mode from here on; services without report() still get the interactions posted.
  function registerInteractions(services) {
    recorder = services && typeof services.report === 'function' ? services : {
      report: function (text) { post(['registerInteraction', text]); }
    };
  }

  function entityAt(path) {
    var i = model.indexOf(path);
    if (i < 0) throw new Error('no entity at ' + JSON.stringify(path));
    return i;
  }

  // The entity an interaction names: by its uid when it has one (-1 when this model
  // holds no such entity), else by its path.
  function entityOf(path, uid) {
    if (uid === undefined || uid === null) return entityAt(path);
    var i = model.indexOfUid(uid);
    return i === -2 ? entityAt(path) : i; // a uid several entities carry says nothing
  }

  // The action with the uids of the entities it names, as it is applied and reported.
  function withUids(action) {
    if (!model || action.u !== undefined) return action;
    switch (action.t) {
      case 'edit':
      case 'subtree':
      case 'expand':
      case 'collapse': {
        var uid = model.uidOf(entityAt(action.n));
        return uid ? Object.assign({}, action, { u: uid }) : action;
      }
      case 'rows': {
        var uids = action.n.map(function (path) { return model.uidOf(entityAt(path)); });
        return uids.some(Boolean) ? Object.assign({}, action, { u: uids }) : action;
      }
      default:
        return action;
    }
  }

  function columnNamed(name) {
    var column = model.column(name);
    if (!column) throw new Error('no column ' + name);
    return column;
  }

  // Applies an interaction to the document and the view; true when something changed.
  function apply(action) {
    if (!model) return false;
    var view = restoring ? null : currentView;
    var changed = null;
    var i;
    switch (action.t) {
      case 'edit':
      case 'subtree': {
        var target = columnNamed(action.c);
        i = entityOf(action.n, action.u);
        if (i < 0) return false;
        changed = action.t === 'edit'
          ? model.applyEdits([{ index: i, column: target, value: action.v }])
          : model.applySubtree(i, target, action.v);
        break;
      }
      case 'rows': {
        var column = columnNamed(action.c);
        var edits = [];
        action.n.forEach(function (path, k) {
          var j = entityOf(path, action.u ? action.u[k] : undefined);
          if (j >= 0) edits.push({ index: j, column: column, value: action.v });
        });
        changed = model.applyEdits(edits);
        break;
      }
      case 'undo':
        changed = model.undo();
        break;
      case 'expand':
      case 'collapse': {
        i = entityOf(action.n, action.u);
        if (i < 0) return false;
        var open = action.t === 'expand';
        if (action.s) {
          if (!model.hasChildren(i)) return false;
          state.setSubtreeExpanded(i, open);
          if (view) view.showTree();
        } else {
          if (!model.hasChildren(i) || state.isExpanded(i) === open) return false;
          state.setExpanded(i, open);
          if (view) view.showExpansion(i, open);
        }
        return true;
      }
      case 'level':
        state.expandToLevel(action.d < 0 ? model.maxDepth + 1 : action.d);
        if (view) view.showTree();
        return true;
      default:
        return false;
    }
    if (!changed) return false;
    if (view) view.showValues(changed);
    return true;
  }

  // What the user did, through the view: applied, then reported in test mode.
  function perform(action) {
    Interaction.validate(action);
    // Only a recording needs the uids; finding them costs a pass over the document.
    var named = recorder ? withUids(action) : action;
    var done = apply(named);
    if (done && EDIT_ACTIONS[named.t] && model.partial) previewEdits.push(named);
    if (done && EDIT_ACTIONS[named.t]) keepEdit(Interaction.encode(named));
    if (done && recorder) recorder.report(Interaction.encode(named));
    return done;
  }

  function simulate(text) {
    var action = Interaction.decode(text);
    return firstDocument.then(function () {
      return loaded;
    }).then(function () {
      return apply(action);
    });
  }

  var api = {
    init: init,
    sendNewJson: sendNewJson,
    registerInteractions: registerInteractions,
    simulate: simulate,
    attach: attach,
    perform: perform,
    post: post,
    // What the view reads.
    model: function () { return model; },
    state: function () { return state; },
    error: function () { return error; },
    isDirty: function () { return !!model && model.isDirty(); }
  };
  return api;
});
