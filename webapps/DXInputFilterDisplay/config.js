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
})();
