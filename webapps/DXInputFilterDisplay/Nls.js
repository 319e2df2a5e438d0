/*
 * NLS texts: "<Catalog>.<Key>" names a message of the program's catalogs. The catalog
 * name is letters, digits, '_' or '-'; the key is everything after the first dot.
 * A text of another shape, or one whose message does not exist, is shown as it is.
 */
define([], function () {
  'use strict';

  var SHAPE = /^([A-Za-z0-9_-]+)\.([\s\S]+)$/;
  var hasOwn = Object.prototype.hasOwnProperty;

  function split(text) {
    if (typeof text !== 'string') return null;
    var m = SHAPE.exec(text);
    return m ? { catalog: m[1], key: m[2] } : null;
  }

  // catalogs: { name: { key: text } }, loaded ones only.
  function Resolver(catalogs) {
    this.catalogs = catalogs || {};
  }

  Resolver.prototype.resolve = function (text) {
    var parts = split(text);
    if (!parts) return text;
    var catalog = hasOwn.call(this.catalogs, parts.catalog) ? this.catalogs[parts.catalog] : null;
    if (!catalog || typeof catalog !== 'object' || !hasOwn.call(catalog, parts.key)) return text;
    var message = catalog[parts.key];
    return typeof message === 'string' ? message : text;
  };

  // Asks the bridge for each catalog once; a catalog that fails or takes too long is
  // taken as empty, so its texts show as written.
  function loadCatalogs(names, bridge, timeoutMs) {
    var catalogs = {};
    if (!bridge || typeof bridge.catalog !== 'function' || !names.length) {
      return Promise.resolve(catalogs);
    }
    var requests = names.map(function (name) {
      var request;
      try {
        request = Promise.resolve(bridge.catalog(name));
      } catch (e) {
        request = Promise.reject(e);
      }
      return request.then(function (messages) {
        if (messages && typeof messages === 'object') catalogs[name] = messages;
      }, function () {});
    });
    var all = Promise.all(requests);
    if (!timeoutMs) return all.then(function () { return catalogs; });
    var timer;
    var timeout = new Promise(function (resolve) {
      timer = setTimeout(resolve, timeoutMs);
    });
    return Promise.race([all, timeout]).then(function () {
      clearTimeout(timer);
      return catalogs;
    });
  }

  return {
    split: split,
    Resolver: Resolver,
    loadCatalogs: loadCatalogs
  };
});
