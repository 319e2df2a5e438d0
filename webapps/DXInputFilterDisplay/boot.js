// Starts the page once its DOM is there and tells the dialog it is ready: the end of
// FilterBundle.js, a deferred script.
(function () {
  'use strict';
  require(['ZQ/DXInputFilterDisplay/Filter'], function (Filter) {
    Filter.attach(document.getElementById('app')).then(function () {
      Filter.post(['onLoad']);
    }, function (error) {
      var box = document.getElementById('message');
      box.textContent = String(error && error.message ? error.message : error);
      box.hidden = false;
      Filter.post(['onLoad']);
    });
  });
})();
