/*
 * RawJson - JSON that comes back as it came.
 *
 * JSON.parse loses what the filter document must keep: 1.50 becomes 1.5, integers
 * beyond 2^53 change, an object's integer-like keys move to the front, and an escaped
 * string (\u00e9, \/) is written back differently. This parser keeps number tokens as
 * text (RawNumber), and notes on a container (under the META symbol) what plain
 * objects cannot hold: key order when it differs from what the object would report,
 * duplicate keys, and the source token of a string that the writer would spell
 * differently. Everything else is plain objects, arrays and strings, so the model
 * reads the tree directly.
 *
 * The writer escapes like the generator: '"', '\', and control characters only
 * (\b \f \n \r \t, else \u00xx in lower case); everything else verbatim. Whitespace
 * between tokens is not kept: documents come compact.
 */
define([], function () {
  'use strict';

  var META = typeof Symbol === 'function' ? Symbol('rawjson') : '@@rawjson';
  var SPAN = typeof Symbol === 'function' ? Symbol('span') : '@@span';
  var SPANS = typeof Symbol === 'function' ? Symbol('spans') : '@@spans';
  var hasOwn = Object.prototype.hasOwnProperty;

  function RawNumber(raw) {
    this.raw = raw;
  }
  RawNumber.prototype.toString = function () {
    return this.raw;
  };

  // Keys the engine orders before the others, whatever the insertion order.
  function isIndexKey(key) {
    var c = key.charCodeAt(0);
    if (c < 48 || c > 57) return false;
    if (!/^(?:0|[1-9][0-9]*)$/.test(key)) return false;
    return Number(key) < 4294967295;
  }

  var ESCAPES = { '"': '\\"', '\\': '\\\\', '\b': '\\b', '\f': '\\f', '\n': '\\n', '\r': '\\r', '\t': '\\t' };
  var NEEDS_ESCAPE = /["\\\u0000-\u001f]/;
  var ESCAPE_ALL = /["\\\u0000-\u001f]/g;

  function escapeChar(ch) {
    var known = ESCAPES[ch];
    if (known) return known;
    var hex = ch.charCodeAt(0).toString(16);
    return '\\u' + '0000'.slice(hex.length) + hex;
  }

  function quote(text) {
    if (!NEEDS_ESCAPE.test(text)) return '"' + text + '"';
    return '"' + text.replace(ESCAPE_ALL, escapeChar) + '"';
  }

  function setOwn(obj, key, value) {
    if (key === '__proto__') {
      Object.defineProperty(obj, key, { value: value, writable: true, enumerable: true, configurable: true });
    } else {
      obj[key] = value;
    }
  }

  function getOwn(obj, key) {
    return obj !== null && typeof obj === 'object' && hasOwn.call(obj, key) ? obj[key] : undefined;
  }

  function hasMember(obj, key) {
    return obj !== null && typeof obj === 'object' && hasOwn.call(obj, key);
  }

  // ---------------------------------------------------------------- parsing

  // With keepSpans, objects that are array elements (the tree's nodes) remember where
  // they are in the text: stringify(value, text) copies those not touched since.
  function parse(text, keepSpans) {
    if (typeof text !== 'string') throw new TypeError('JSON text expected');
    var i = 0;
    var n = text.length;
    var stringRaw = null; // source token of the last string, when the writer would differ
    var spans = keepSpans ? [] : null;

    function fail(what) {
      var near = text.slice(Math.max(0, i - 20), i + 20);
      throw new SyntaxError(what + ' at offset ' + i + ' near ' + JSON.stringify(near));
    }

    function skipSpace() {
      var c;
      while (i < n) {
        c = text.charCodeAt(i);
        if (c === 32 || c === 10 || c === 13 || c === 9) i++;
        else break;
      }
    }

    function hex4() {
      if (i + 4 > n) fail('bad \\u escape');
      var h = text.substr(i, 4);
      if (!/^[0-9a-fA-F]{4}$/.test(h)) fail('bad \\u escape');
      i += 4;
      return parseInt(h, 16);
    }

    function parseString() {
      var start = ++i; // after the opening quote
      var c;
      while (i < n) {
        c = text.charCodeAt(i);
        if (c === 34) {
          stringRaw = null;
          return text.slice(start, i++);
        }
        if (c === 92 || c < 32) break;
        i++;
      }
      // Escapes (or an error): build the value piece by piece.
      var parts = [];
      var run = start;
      while (i < n) {
        c = text.charCodeAt(i);
        if (c === 34) {
          parts.push(text.slice(run, i));
          i++;
          var value = parts.join('');
          var raw = text.slice(start - 1, i);
          stringRaw = quote(value) === raw ? null : raw;
          return value;
        }
        if (c < 32) fail('control character in string');
        if (c !== 92) {
          i++;
          continue;
        }
        parts.push(text.slice(run, i));
        i++;
        if (i >= n) break;
        c = text.charCodeAt(i++);
        switch (c) {
          case 34: parts.push('"'); break;
          case 92: parts.push('\\'); break;
          case 47: parts.push('/'); break;
          case 98: parts.push('\b'); break;
          case 102: parts.push('\f'); break;
          case 110: parts.push('\n'); break;
          case 114: parts.push('\r'); break;
          case 116: parts.push('\t'); break;
          case 117: parts.push(String.fromCharCode(hex4())); break;
          default: i--; fail('bad escape');
        }
        run = i;
      }
      fail('unterminated string');
    }

    function parseNumber() {
      var start = i;
      if (text.charCodeAt(i) === 45) i++;
      var c = text.charCodeAt(i);
      if (c === 48) {
        i++;
      } else if (c >= 49 && c <= 57) {
        while (i < n && (c = text.charCodeAt(i)) >= 48 && c <= 57) i++;
      } else {
        fail('bad number');
      }
      if (text.charCodeAt(i) === 46) {
        i++;
        c = text.charCodeAt(i);
        if (!(c >= 48 && c <= 57)) fail('bad number');
        while (i < n && (c = text.charCodeAt(i)) >= 48 && c <= 57) i++;
      }
      c = text.charCodeAt(i);
      if (c === 101 || c === 69) {
        i++;
        c = text.charCodeAt(i);
        if (c === 43 || c === 45) i++;
        c = text.charCodeAt(i);
        if (!(c >= 48 && c <= 57)) fail('bad number');
        while (i < n && (c = text.charCodeAt(i)) >= 48 && c <= 57) i++;
      }
      return new RawNumber(text.slice(start, i));
    }

    function literal(word, value) {
      if (text.substr(i, word.length) !== word) fail('unexpected token');
      i += word.length;
      return value;
    }

    function parseArray() {
      i++;
      var arr = [];
      var raws = null;
      skipSpace();
      if (text.charCodeAt(i) === 93) {
        i++;
        return arr;
      }
      for (;;) {
        skipSpace();
        var at = i;
        var v = parseValue();
        if (keepSpans && text.charCodeAt(at) === 123) {
          // A small integer on the object, the positions aside: no allocation per node.
          v[SPAN] = spans.length >> 1;
          spans.push(at, i);
        }
        if (typeof v === 'string' && stringRaw !== null) {
          if (!raws) raws = new Map();
          raws.set(arr.length, { v: v, r: stringRaw });
        }
        arr.push(v);
        skipSpace();
        var c = text.charCodeAt(i);
        if (c === 44) {
          i++;
          continue;
        }
        if (c === 93) {
          i++;
          break;
        }
        fail("expected ',' or ']'");
      }
      if (raws) arr[META] = { entries: null, raws: raws };
      return arr;
    }

    function parseObject() {
      i++;
      var obj = {};
      var entries = null; // set once plain key order cannot tell the source order
      var raws = null;
      skipSpace();
      if (text.charCodeAt(i) === 125) {
        i++;
        return obj;
      }
      for (;;) {
        skipSpace();
        if (text.charCodeAt(i) !== 34) fail('expected a key');
        var key = parseString();
        var keyRaw = stringRaw;
        skipSpace();
        if (text.charCodeAt(i) !== 58) fail("expected ':'");
        i++;
        skipSpace();
        var value = parseValue();
        var valueRaw = typeof value === 'string' ? stringRaw : null;
        if (!entries && (keyRaw !== null || key === '__proto__' || hasOwn.call(obj, key) || isIndexKey(key))) {
          entries = Object.keys(obj).map(function (k) {
            var known = raws && raws.get(k);
            return { k: k, rk: null, v: obj[k], rv: known ? known.r : undefined, last: true };
          });
        }
        if (entries) entries.push({ k: key, rk: keyRaw, v: value, last: true });
        if (valueRaw !== null) {
          if (!raws) raws = new Map();
          // The writer asks by key; a duplicate's earlier value keeps its token on its entry.
          raws.set(key, { v: value, r: valueRaw });
          if (entries) entries[entries.length - 1].rv = valueRaw;
        } else if (raws) {
          raws.delete(key);
        }
        setOwn(obj, key, value);
        skipSpace();
        var c = text.charCodeAt(i);
        if (c === 44) {
          i++;
          continue;
        }
        if (c === 125) {
          i++;
          break;
        }
        fail("expected ',' or '}'");
      }
      if (entries) markLast(entries);
      if (entries || raws) obj[META] = { entries: entries, raws: raws };
      return obj;
    }

    function parseValue() {
      var c = text.charCodeAt(i);
      switch (c) {
        case 123: return parseObject();
        case 91: return parseArray();
        case 34: return parseString();
        case 116: return literal('true', true);
        case 102: return literal('false', false);
        case 110: return literal('null', null);
        default:
          if (c === 45 || (c >= 48 && c <= 57)) return parseNumber();
          fail(i >= n ? 'unexpected end' : 'unexpected token');
      }
    }

    skipSpace();
    var result = parseValue();
    skipSpace();
    if (i < n) fail('text after the value');
    if (keepSpans && result !== null && typeof result === 'object') {
      result[SPANS] = { text: text, at: Int32Array.from(spans) };
    }
    return result;
  }

  function markLast(entries) {
    var seen = new Set();
    for (var j = entries.length - 1; j >= 0; j--) {
      var e = entries[j];
      e.last = !seen.has(e.k);
      seen.add(e.k);
    }
  }

  // ---------------------------------------------------------------- writing

  // Concatenation: the engine joins the pieces lazily, faster here than an array join.
  var source = null; // the parsed text and its spans, while stringify copies from it

  // A document parsed with keepSpans is written from its text where it is untouched.
  function stringify(value) {
    source = value !== null && typeof value === 'object' && value[SPANS] ? value[SPANS] : null;
    try {
      return write(value);
    } finally {
      source = null;
    }
  }

  // A node changed: it, and the nodes holding it, are written anew.
  function touch(obj) {
    if (obj !== null && typeof obj === 'object' && obj[SPAN] !== undefined) obj[SPAN] = undefined;
  }

  function writeString(value, rawInfo) {
    return rawInfo && rawInfo.v === value ? rawInfo.r : quote(value);
  }

  function write(value) {
    if (typeof value === 'string') return quote(value);
    if (value === null) return 'null';
    if (value === true) return 'true';
    if (value === false) return 'false';
    if (value instanceof RawNumber) return value.raw;
    if (typeof value === 'number') return isFinite(value) ? JSON.stringify(value) : 'null';
    if (Array.isArray(value)) return writeArray(value);
    if (typeof value === 'object') return writeObject(value);
    return 'null';
  }

  function writeArray(arr) {
    var meta = arr[META];
    var raws = meta && meta.raws;
    var out = '[';
    for (var j = 0; j < arr.length; j++) {
      if (j) out += ',';
      var v = arr[j];
      var span = source !== null && v !== null && typeof v === 'object' ? v[SPAN] : undefined;
      if (span !== undefined) out += source.text.slice(source.at[2 * span], source.at[2 * span + 1]);
      else out += raws && typeof v === 'string' ? writeString(v, raws.get(j)) : write(v);
    }
    return out + ']';
  }

  function writeObject(obj) {
    var meta = obj[META];
    var raws = meta && meta.raws;
    var out = '{';
    var first = true;
    if (meta && meta.entries) {
      var entries = meta.entries;
      for (var j = 0; j < entries.length; j++) {
        var e = entries[j];
        var v;
        if (e.last) {
          if (!hasOwn.call(obj, e.k)) continue;
          v = obj[e.k];
        } else {
          v = e.v;
        }
        if (!first) out += ',';
        first = false;
        out += (e.rk !== null ? e.rk : quote(e.k)) + ':';
        if (typeof v === 'string') {
          if (e.last) out += writeString(v, raws && raws.get(e.k));
          else out += writeString(v, e.rv ? { v: v, r: e.rv } : null);
        } else {
          out += write(v);
        }
      }
    } else {
      for (var key in obj) {
        if (!hasOwn.call(obj, key)) continue;
        var val = obj[key];
        if (!first) out += ',';
        first = false;
        out += quote(key) + ':' + (raws && typeof val === 'string' ? writeString(val, raws.get(key)) : write(val));
      }
    }
    return out + '}';
  }

  // ---------------------------------------------------------------- editing

  // Sets a member, keeping its place when it exists, appending it otherwise.
  function setMember(obj, key, value) {
    var meta = obj[META];
    var exists = hasOwn.call(obj, key);
    if (!exists && !(meta && meta.entries) && (key === '__proto__' || isIndexKey(key))) {
      // From here on the object's own key order no longer tells the written order.
      meta = ensureMeta(obj);
      meta.entries = Object.keys(obj).map(function (k) {
        return { k: k, rk: null, v: obj[k], last: true };
      });
    }
    if (meta && meta.entries && !exists) meta.entries.push({ k: key, rk: null, v: value, last: true });
    setOwn(obj, key, value);
  }

  // Removes a member, every occurrence of a duplicated key included.
  function deleteMember(obj, key) {
    if (!hasOwn.call(obj, key)) return false;
    delete obj[key];
    var meta = obj[META];
    if (meta) {
      if (meta.entries) meta.entries = meta.entries.filter(function (e) { return e.k !== key; });
      if (meta.raws) meta.raws.delete(key);
    }
    return true;
  }

  function ensureMeta(obj) {
    var meta = obj[META];
    if (!meta) {
      meta = { entries: null, raws: null };
      obj[META] = meta;
    }
    return meta;
  }

  function copyMeta(meta) {
    if (!meta) return undefined;
    return {
      entries: meta.entries ? meta.entries.map(function (e) { return Object.assign({}, e); }) : null,
      raws: meta.raws ? new Map(meta.raws) : null
    };
  }

  // A shallow copy that writes exactly as the object does now.
  function snapshot(obj) {
    var keys = Object.keys(obj);
    var values = keys.map(function (k) { return obj[k]; });
    return { keys: keys, values: values, meta: copyMeta(obj[META]) };
  }

  // Puts an object back as a snapshot took it, keeping the object's identity.
  function restore(obj, snap) {
    Object.keys(obj).forEach(function (k) { delete obj[k]; });
    for (var j = 0; j < snap.keys.length; j++) setOwn(obj, snap.keys[j], snap.values[j]);
    var meta = copyMeta(snap.meta);
    if (meta) obj[META] = meta;
    else delete obj[META];
  }

  function isObject(v) {
    return v !== null && typeof v === 'object' && !Array.isArray(v) && !(v instanceof RawNumber);
  }

  function memberCount(obj) {
    return Object.keys(obj).length;
  }

  return {
    parse: parse,
    stringify: stringify,
    quote: quote,
    RawNumber: RawNumber,
    isObject: isObject,
    getMember: getOwn,
    hasMember: hasMember,
    setMember: setMember,
    deleteMember: deleteMember,
    memberCount: memberCount,
    snapshot: snapshot,
    restore: restore,
    touch: touch,
    META: META
  };
});
