/*
 * AnswerBody - the answer message ["tag", document] as the bytes the dialog gets, made
 * without writing the document's text anew.
 *
 * Escaping 22 MB into a JSON string and encoding it took a second or more at OK, for
 * a document of which the user changed a few hundred values. So the text as it came is
 * escaped once, in chunks, while the page is idle, and each chunk is kept as a Blob
 * (outside the script's heap). At OK only the chunks that hold a change are escaped
 * again, and the message is a Blob of those and the kept ones: byte for byte what
 * JSON.stringify(["tag", document]) would give.
 */
define([], function () {
  'use strict';

  // Characters a chunk: small enough to escape within an idle moment (a megabyte took
  // 20-50 ms under load, and delayed the frames of a scroll).
  var CHUNK = 1 << 16;

  function escape(text) {
    return JSON.stringify(text).slice(1, -1);
  }

  // text: the document as it came; chunk: characters a chunk (tests make it small).
  function AnswerBody(text, chunk) {
    this.text = text;
    var size = chunk || CHUNK;
    var starts = [0];
    for (var at = size; at < text.length; at += size) {
      // A surrogate pair stays in one chunk: escaped apart, its halves would read as two.
      var c = text.charCodeAt(at);
      starts.push(c >= 0xdc00 && c <= 0xdfff ? at + 1 : at);
      at = starts[starts.length - 1];
    }
    this.starts = starts;
    this.blobs = new Array(starts.length);
    this.next = 0; // the first chunk not yet escaped by prepare()
  }

  AnswerBody.prototype.chunkEnd = function (c) {
    return c + 1 < this.starts.length ? this.starts[c + 1] : this.text.length;
  };

  AnswerBody.prototype.blob = function (c) {
    if (!this.blobs[c]) this.blobs[c] = new Blob([escape(this.text.slice(this.starts[c], this.chunkEnd(c)))]);
    return this.blobs[c];
  };

  // Escapes chunks while hasTime() says so; true when all are done.
  AnswerBody.prototype.prepare = function (hasTime) {
    while (this.next < this.starts.length && hasTime()) this.blob(this.next++);
    return this.next >= this.starts.length;
  };

  // Escapes everything in the page's idle time, a few chunks at a time.
  AnswerBody.prototype.prepareWhenIdle = function () {
    var self = this;
    var idle = typeof requestIdleCallback === 'function' ? requestIdleCallback : function (f) {
      return setTimeout(function () { f({ timeRemaining: function () { return 8; } }); }, 50);
    };
    function step(deadline) {
      if (!self.prepare(function () { return deadline.timeRemaining() > 6; })) idle(step);
    }
    idle(step);
  };

  // The message for the text with pieces ([start, end, text instead], in order, apart).
  AnswerBody.prototype.body = function (tag, pieces) {
    var t = this.text;
    var n = t.length;
    var parts = ['[' + JSON.stringify(String(tag)) + ',"'];
    var pos = 0;
    var p = 0;
    for (var c = 0; c < this.starts.length && pos < n; c++) {
      var end = this.chunkEnd(c);
      var last = end === n;
      if (p >= pieces.length || pieces[p][0] > end || (pieces[p][0] === end && !last)) {
        parts.push(this.blob(c));
        pos = end;
        continue;
      }
      // This chunk, and any a change runs on into, escaped again with the changes in.
      var out = [];
      while (p < pieces.length && (pieces[p][0] < end || (last && pieces[p][0] <= n))) {
        out.push(t.slice(pos, pieces[p][0]), pieces[p][2]);
        pos = pieces[p][1];
        p++;
        while (pos > end) {
          c++;
          end = this.chunkEnd(c);
          last = end === n;
        }
      }
      out.push(t.slice(pos, end));
      parts.push(escape(out.join('')));
      pos = end;
    }
    // Changes at the very end of an empty text.
    for (; p < pieces.length; p++) parts.push(escape(pieces[p][2]));
    parts.push('"]');
    return new Blob(parts, { type: 'application/json' });
  };

  return AnswerBody;
});
