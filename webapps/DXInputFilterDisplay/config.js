// RequireJS set-up of the filter page. Loaded by a plain script tag right after
// require.js, so scripts the dialog pushes into the page find it in place.
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
})();
