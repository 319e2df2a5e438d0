/*
 * Interaction texts for test mode. The dialog pastes a recorded text, as it is, into
 * Filter.simulate('<text>'), so the text must be safe inside a single-quoted script
 * string: it is the interaction's JSON, UTF-8, in base64url without padding
 * (A-Z a-z 0-9 - _ only).
 *
 * Interactions name entities by their path of child positions from the roots:
 *   { t: 'edit',     n: [0,0,1], c: 'Name', v: 'text' }   one cell
 *   { t: 'subtree',  n: [0,0],   c: 'Import', v: 'false' } the entity and all below
 *   { t: 'rows',     n: [[..],[..]], c: 'ImportMode', v: 'ForDesign' } several entities
 *   { t: 'expand',   n: [0] }    { t: 'collapse', n: [0] }   s: true for the whole subtree
 *   { t: 'level',    d: 3 }      expand to a depth (0: collapse all, -1: expand all)
 *   { t: 'undo' }
 *
 * An entity that has a uid is named by it too (u: 'uid', for rows a list beside n,
 * null where there is none): a replay on a later version of the model, where child
 * positions moved, finds the same entity, and skips one that is no longer there.
 */
define([], function () {
  'use strict';

  var ALPHABET = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_';
  var SAFE = /^[A-Za-z0-9_-]*$/;
  var LOOKUP = (function () {
    var table = new Int16Array(128).fill(-1);
    for (var k = 0; k < ALPHABET.length; k++) table[ALPHABET.charCodeAt(k)] = k;
    return table;
  })();

  var TYPES = ['edit', 'subtree', 'rows', 'expand', 'collapse', 'level', 'undo'];

  function utf8Encode(text) {
    return new TextEncoder().encode(text);
  }

  function utf8Decode(bytes) {
    return new TextDecoder('utf-8', { fatal: true }).decode(bytes);
  }

  function toBase64Url(bytes) {
    var out = [];
    var k;
    for (k = 0; k + 2 < bytes.length; k += 3) {
      var v = (bytes[k] << 16) | (bytes[k + 1] << 8) | bytes[k + 2];
      out.push(ALPHABET[v >> 18], ALPHABET[(v >> 12) & 63], ALPHABET[(v >> 6) & 63], ALPHABET[v & 63]);
    }
    var rest = bytes.length - k;
    if (rest === 1) {
      var a = bytes[k] << 16;
      out.push(ALPHABET[a >> 18], ALPHABET[(a >> 12) & 63]);
    } else if (rest === 2) {
      var b = (bytes[k] << 16) | (bytes[k + 1] << 8);
      out.push(ALPHABET[b >> 18], ALPHABET[(b >> 12) & 63], ALPHABET[(b >> 6) & 63]);
    }
    return out.join('');
  }

  function fromBase64Url(text) {
    if (typeof text !== 'string' || !SAFE.test(text) || text.length % 4 === 1) {
      throw new Error('not an interaction text');
    }
    var bytes = new Uint8Array(Math.floor(text.length * 3 / 4));
    var o = 0;
    var bits = 0;
    var acc = 0;
    for (var k = 0; k < text.length; k++) {
      acc = ((acc << 6) | LOOKUP[text.charCodeAt(k)]) & 0xffff;
      bits += 6;
      if (bits >= 8) {
        bits -= 8;
        bytes[o++] = (acc >> bits) & 255;
      }
    }
    // Leftover bits must be zero, so each text has one decoding.
    if (acc & ((1 << bits) - 1)) throw new Error('not an interaction text');
    return bytes.subarray(0, o);
  }

  function encode(interaction) {
    return toBase64Url(utf8Encode(JSON.stringify(interaction)));
  }

  function isPath(p) {
    return Array.isArray(p) && p.length > 0 && p.every(function (x) {
      return typeof x === 'number' && x >= 0 && Math.floor(x) === x;
    });
  }

  function isUid(u) {
    return typeof u === 'string' && u.length > 0;
  }

  function validate(obj) {
    if (!obj || typeof obj !== 'object' || TYPES.indexOf(obj.t) < 0) throw new Error('unknown interaction');
    switch (obj.t) {
      case 'edit':
      case 'subtree':
        if (!isPath(obj.n) || typeof obj.c !== 'string' || typeof obj.v !== 'string' ||
            (obj.u !== undefined && !isUid(obj.u))) throw new Error('bad ' + obj.t);
        break;
      case 'rows':
        if (!Array.isArray(obj.n) || !obj.n.every(isPath) || typeof obj.c !== 'string' || typeof obj.v !== 'string' ||
            (obj.u !== undefined && !(Array.isArray(obj.u) && obj.u.length === obj.n.length &&
              obj.u.every(function (u) { return u === null || isUid(u); })))) {
          throw new Error('bad rows');
        }
        break;
      case 'expand':
      case 'collapse':
        if (!isPath(obj.n) || (obj.s !== undefined && typeof obj.s !== 'boolean') ||
            (obj.u !== undefined && !isUid(obj.u))) throw new Error('bad ' + obj.t);
        break;
      case 'level':
        if (typeof obj.d !== 'number' || Math.floor(obj.d) !== obj.d || obj.d < -1) throw new Error('bad level');
        break;
      default:
        break;
    }
    return obj;
  }

  function decode(text) {
    return validate(JSON.parse(utf8Decode(fromBase64Url(text))));
  }

  function isSafe(text) {
    return typeof text === 'string' && SAFE.test(text);
  }

  return {
    encode: encode,
    decode: decode,
    validate: validate,
    isSafe: isSafe,
    TYPES: TYPES
  };
});
