// RequireJS set-up of the filter page: the start of FilterBundle.js, which runs right
// after require.js and before any script the dialog pushes into the page.
(function () {
  'use strict';
  var here = document.currentScript ? document.currentScript.src : window.location.href;
  var webapps = new URL('../', here).href.replace(/\/$/, '');
  require.config({
    baseUrl: webapps,
    paths: {
      ZQ: webapps
    },
    waitSeconds: 30
  });
  // RequireJS defers each require() by a 4 ms timer (longer on a busy page); the boot and
  // the dialog's scripts chain several. A microtask still runs after the calling script.
  if (typeof queueMicrotask === 'function') {
    var soon = function (fn) { queueMicrotask(fn); };
    require.nextTick = soon;
    if (require.s && require.s.contexts && require.s.contexts._) require.s.contexts._.nextTick = soon;
  }
})();
