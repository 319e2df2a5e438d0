/*
 * DocumentIndex - where each node of a filter document is in its text, found in one
 * pass without building the tree.
 *
 * Parsing a 100,000-entity document into objects takes seconds, and the page shows
 * only a few dozen rows at a time. So the text stays as it came; this pass notes, per
 * node in pre-order, its parent, depth and the spans of its "label", "data" and
 * "grid" values, and picks out of each grid the few values the page needs for every
 * entity at once (the import tick, the type), with where each of them is in the text.
 * A node's values are parsed when asked.
 *
 * The pass checks the structure it walks (brackets, strings, separators); values it
 * skips are checked when they are parsed.
 */
define([], function () {
  'use strict';

  var QUOTE = 34;
  var BACKSLASH = 92;
  var COMMA = 44;
  var COLON = 58;
  var OPEN_OBJECT = 123;
  var CLOSE_OBJECT = 125;
  var OPEN_ARRAY = 91;
  var CLOSE_ARRAY = 93;

  function fail(text, at, what) {
    var line = 1;
    var column = 1;
    // Positions in a one-line document of megabytes say more than lines.
    if (at < 1e6) {
      for (var k = 0; k < at; k++) {
        if (text.charCodeAt(k) === 10) {
          line++;
          column = 1;
        } else {
          column++;
        }
      }
      throw new SyntaxError(what + ' at line ' + line + ', column ' + column);
    }
    throw new SyntaxError(what + ' at character ' + at);
  }

  // Thrown to end a pass at its node limit.
  var LIMIT_REACHED = { limit: true };

  // wanted: grid keys whose values are collected for every node, e.g. ["Import", "Type"],
  // or a function that picks them from the columns' text when the pass meets it (the
  // generator writes the columns before the roots).
  // limit: when given, the pass ends after that many nodes: the index is then "partial",
  // the first nodes in pre-order, and those it left open ("open") end with it.
  // The pass runs in steps (step(nodes) until it returns the index), so a large
  // document can be read in slices between the user's input.
  function start(text, wanted, limit) {
    if (typeof text !== 'string') throw new TypeError('JSON text expected');
    limit = limit > 0 ? limit : -1;
    var chooser = typeof wanted === 'function' ? wanted : null;
    wanted = chooser ? [] : wanted || [];
    var n = text.length;
    var i = 0;

    function ws() {
      var c = text.charCodeAt(i);
      while (c === 32 || c === 10 || c === 13 || c === 9) c = text.charCodeAt(++i);
      return c;
    }

    // From an opening quote to just after the closing one.
    function skipString() {
      var p = i;
      for (;;) {
        var q = text.indexOf('"', p + 1);
        if (q < 0) fail(text, i, 'unterminated string');
        var b = q - 1;
        while (text.charCodeAt(b) === BACKSLASH) b--;
        if (((q - 1 - b) & 1) === 0) {
          i = q + 1;
          return;
        }
        p = q;
      }
    }

    // A string's value, decoded only when it has escapes.
    function readString() {
      var start = i;
      skipString();
      var raw = text.slice(start + 1, i - 1);
      if (raw.indexOf('\\') < 0) {
        for (var k = 0; k < raw.length; k++) {
          if (raw.charCodeAt(k) < 32) fail(text, start + 1 + k, 'control character in a string');
        }
        return raw;
      }
      try {
        return JSON.parse(text.slice(start, i));
      } catch (e) {
        return fail(text, start, 'bad escape in a string');
      }
    }

    function skipValue() {
      var c = ws();
      if (c === QUOTE) return skipString();
      if (c === OPEN_OBJECT || c === OPEN_ARRAY) {
        var depth = 0;
        for (;;) {
          c = text.charCodeAt(i);
          if (c === QUOTE) {
            skipString();
            continue;
          }
          if (c === OPEN_OBJECT || c === OPEN_ARRAY) depth++;
          else if (c === CLOSE_OBJECT || c === CLOSE_ARRAY) {
            depth--;
            if (depth === 0) {
              i++;
              return;
            }
          } else if (i >= n) fail(text, i, 'unexpected end');
          i++;
        }
      }
      var start = i;
      while (i < n) {
        c = text.charCodeAt(i);
        if (c === COMMA || c === CLOSE_OBJECT || c === CLOSE_ARRAY || c === 32 || c === 10 || c === 13 || c === 9) break;
        i++;
      }
      var token = text.slice(start, i);
      if (!/^(?:true|false|null|-?(?:0|[1-9]\d*)(?:\.\d+)?(?:[eE][+-]?\d+)?)$/.test(token)) fail(text, start, 'unexpected ' + (token || 'end'));
    }

    function expect(code, what) {
      if (ws() !== code) fail(text, i, 'expected ' + what);
      i++;
    }

    // Typed arrays grown by doubling: a dozen growing plain arrays copied at the end
    // cost as much garbage collection as the pass itself at 100,000 nodes.
    // Sized from the text (generated nodes take 200 bytes or more), so a large document
    // seldom grows at all, and the arrays are handed out as they are, not copied.
    var capacity = Math.max(1024, Math.ceil(n / 200));
    if (limit > 0) capacity = Math.min(capacity, limit);
    var size = 0;
    var parent = new Int32Array(capacity);
    var depth = new Int32Array(capacity);
    var pos = new Int32Array(capacity);
    var end = new Int32Array(capacity);
    var nodeStart = new Int32Array(capacity);
    var labelAt = new Int32Array(capacity);
    var labelEnd = new Int32Array(capacity);
    var dataAt = new Int32Array(capacity);
    var dataEnd = new Int32Array(capacity);
    var gridAt = new Int32Array(capacity);
    var gridEnd = new Int32Array(capacity);
    var memberCount = new Int32Array(capacity);
    var values = wanted.map(function () { return []; });
    var valueAt = wanted.map(function () { return new Int32Array(capacity); });
    // The collected values are few distinct texts (ticks, types): one string each rather
    // than one a node, which at a million nodes made every full garbage collection
    // take 100 ms. A key of many distinct values stops being interned at the bound.
    var INTERN_LIMIT = 4096;
    var seen = [];

    function interned(k, value) {
      var known = seen[k] || (seen[k] = new Map());
      var same = known.get(value);
      if (same !== undefined) return same;
      if (known.size < INTERN_LIMIT) known.set(value, value);
      return value;
    }

    function grown(a) {
      var b = new Int32Array(capacity);
      b.set(a);
      return b;
    }

    function grow() {
      capacity *= 2;
      parent = grown(parent);
      depth = grown(depth);
      pos = grown(pos);
      end = grown(end);
      nodeStart = grown(nodeStart);
      labelAt = grown(labelAt);
      labelEnd = grown(labelEnd);
      dataAt = grown(dataAt);
      dataEnd = grown(dataEnd);
      gridAt = grown(gridAt);
      gridEnd = grown(gridEnd);
      memberCount = grown(memberCount);
      valueAt = valueAt.map(grown);
    }
    var rootsSeen = false;
    var roots = [];
    var maxDepth = 0;

    // The key at i (an opening quote): its index in `keys` when it is one of them
    // (compared in place, no copy), else -1; i is then after the key.
    function keyOf(keys) {
      var at = i;
      skipString();
      var length = i - at;
      for (var k = 0; k < keys.length; k++) {
        if (keys[k].length === length && text.startsWith(keys[k], at)) return k;
      }
      var escaped = false;
      for (var b = at + 1; b < i - 1 && !escaped; b++) escaped = text.charCodeAt(b) === BACKSLASH;
      if (escaped) {
        // An escaped spelling of a key still names it.
        var decoded = '"' + JSON.parse(text.slice(at, i)) + '"';
        for (k = 0; k < keys.length; k++) if (keys[k] === decoded) return k;
      }
      return -1;
    }

    // After a member's value: true at the object's end.
    function nextMember() {
      var c = ws();
      i++;
      if (c === CLOSE_OBJECT) return false;
      if (c !== COMMA) fail(text, i - 1, 'expected , or }');
      if (ws() !== QUOTE) fail(text, i, 'expected a key');
      return true;
    }

    function openObject() {
      expect(OPEN_OBJECT, '{');
      if (ws() === CLOSE_OBJECT) {
        i++;
        return false;
      }
      if (text.charCodeAt(i) !== QUOTE) fail(text, i, 'expected a key');
      return true;
    }

    var NODE_KEYS = ['"label"', '"data"', '"grid"', '"children"'];
    var gridKeys = wanted.map(function (key) { return '"' + key + '"'; });

    function gridValues(node) {
      if (!openObject()) return;
      do {
        var k = keyOf(gridKeys);
        expect(COLON, ':');
        if (k >= 0 && ws() === QUOTE) {
          // Where the value's token is, so an edit can be written in place; a key seen
          // twice in one grid (-2) is left to the full parse.
          valueAt[k][node] = valueAt[k][node] === -1 ? i : -2;
          values[k][node] = interned(k, readString());
        } else {
          skipValue();
        }
      } while (nextMember());
    }

    // The node lists from the roots' "[" on. An explicit stack of open lists rather than
    // recursion: the pass can stop after any node and go on later (see start), and a
    // deep tree cannot exhaust the call stack.
    function* nodeLists() {
      expect(OPEN_ARRAY, '[');
      if (ws() === CLOSE_ARRAY) {
        i++;
        return;
      }
      var outer = []; // lists that hold the current one
      var list = { parent: -1, level: 0, k: 0, node: -1 };
      elements: for (;;) {
        ws();
        if (size === limit) throw LIMIT_REACHED;
        if (size === pauseAt) yield;
        if (size === capacity) grow();
        var node = size++;
        var level = list.level;
        parent[node] = list.parent;
        depth[node] = level;
        pos[node] = list.k++;
        nodeStart[node] = i;
        labelAt[node] = labelEnd[node] = -1;
        dataAt[node] = dataEnd[node] = -1;
        gridAt[node] = gridEnd[node] = -1;
        memberCount[node] = 0;
        for (var w = 0; w < values.length; w++) {
          values[w].push(undefined);
          valueAt[w][node] = -1;
        }
        if (list.parent < 0) roots.push(node);
        if (level > maxDepth) maxDepth = level;
        list.node = node;
        var inObject = false;
        if (text.charCodeAt(i) === OPEN_OBJECT) inObject = openObject();
        else skipValue(); // not an object: shown as no entity
        for (;;) {
          while (inObject) {
            memberCount[node]++; // as it goes: a node a preview cuts open has some
            var key = keyOf(NODE_KEYS);
            expect(COLON, ':');
            var c = ws();
            var at = i;
            if (key === 0) {
              labelAt[node] = at;
              skipValue();
              labelEnd[node] = i;
            } else if (key === 1 && c === OPEN_OBJECT) {
              dataAt[node] = at;
              skipValue();
              dataEnd[node] = i;
            } else if (key === 2 && c === OPEN_OBJECT) {
              gridAt[node] = at;
              if (values.length) gridValues(node);
              else skipValue();
              gridEnd[node] = i;
            } else if (key === 3 && c === OPEN_ARRAY) {
              i++;
              if (ws() !== CLOSE_ARRAY) {
                outer.push(list);
                list = { parent: node, level: level + 1, k: 0, node: -1 };
                continue elements;
              }
              i++;
            } else {
              skipValue();
            }
            inObject = nextMember();
          }
          end[node] = size;
          var next = ws();
          i++;
          if (next === COMMA) continue elements;
          if (next !== CLOSE_ARRAY) fail(text, i - 1, 'expected , or ]');
          // The list ends: back to the members of the node that holds it.
          if (!outer.length) return;
          list = outer.pop();
          node = list.node;
          level = list.level;
          inObject = nextMember();
        }
      }
    }

    var top = { dataAt: -1, dataEnd: -1, columnsAt: -1, columnsEnd: -1 };
    var TOP_KEYS = ['"roots"', '"data"', '"columns"'];
    var partial = false;
    var pauseAt = -1; // the node count at which the pass yields (see step)

    function* pass() {
      try {
        if (openObject()) {
          do {
            var key = keyOf(TOP_KEYS);
            expect(COLON, ':');
            var c = ws();
            var at = i;
            if (key === 0 && c === OPEN_ARRAY) {
              rootsSeen = true;
              yield* nodeLists();
            } else if (key === 1 && c === OPEN_OBJECT) {
              top.dataAt = at;
              skipValue();
              top.dataEnd = i;
            } else if (key === 2) {
              top.columnsAt = at;
              skipValue();
              top.columnsEnd = i;
              if (chooser) {
                var keys = chooser(text.slice(at, i));
                chooser = null;
                if (!rootsSeen && Array.isArray(keys)) {
                  // Keys that need escapes in JSON are read from the parsed grid instead.
                  wanted = keys.filter(function (k) { return JSON.stringify(k) === '"' + k + '"'; });
                  gridKeys = wanted.map(function (k) { return '"' + k + '"'; });
                  values = wanted.map(function () { return []; });
                  seen = [];
                  valueAt = wanted.map(function () { return new Int32Array(capacity); });
                }
              }
            } else {
              skipValue();
            }
          } while (nextMember());
        }
      } catch (e) {
        if (e !== LIMIT_REACHED) throw e;
        partial = true;
      }
    }

    function result() {
      if (chooser) chooser(null);
      var open = [];
      if (partial) {
        for (var o = 0; o < size; o++) {
          if (end[o] === 0) {
            end[o] = size;
            open.push(o);
          }
        }
      } else {
        ws();
        if (i < n) fail(text, i, 'text after the document');
      }

      // Views, not copies: a copy of each array at a million nodes held the page for
      // tens of milliseconds, and its garbage longer.
      function trimmed(a) {
        return a.subarray(0, size);
      }

      return {
        size: size,
        parent: trimmed(parent),
        depth: trimmed(depth),
        pos: trimmed(pos),
        end: trimmed(end),
        nodeStart: trimmed(nodeStart),
        labelAt: trimmed(labelAt),
        labelEnd: trimmed(labelEnd),
        dataAt: trimmed(dataAt),
        dataEnd: trimmed(dataEnd),
        gridAt: trimmed(gridAt),
        gridEnd: trimmed(gridEnd),
        memberCount: trimmed(memberCount),
        wanted: wanted,
        values: values,
        valueAt: valueAt.map(trimmed),
        roots: roots,
        maxDepth: maxDepth,
        top: top,
        partial: partial,
        open: open,
        readTo: i // where the pass ended
      };
    }

    var walk = pass();
    var index = null;
    var error = null;
    // Reads `nodes` more nodes (all that are left when not given): the index once the
    // pass is over, else null. An error ends the pass and is thrown again on every
    // later step.
    function step(nodes) {
      if (error) throw error;
      if (index) return index;
      pauseAt = nodes > 0 && nodes < Infinity ? size + nodes : -1;
      try {
        if (walk.next().done) index = result();
      } catch (e) {
        error = e;
        throw e;
      }
      return index;
    }
    return { step: step };
  }

  function build(text, wanted, limit) {
    return start(text, wanted, limit).step();
  }

  return { build: build, start: start };
});
