/*
 * ContextMenu - a small menu of actions at a point: opened by the right button or,
 * from the keyboard, by Shift+F10 or the menu key at the cursor cell. Arrows move,
 * Enter chooses, Escape closes and gives the focus back.
 */
define([], function () {
  'use strict';

  var open = null;

  function close() {
    if (!open) return;
    var current = open;
    open = null;
    current.element.remove();
    current.doc.removeEventListener('mousedown', current.outside, true);
    if (current.returnFocus) current.returnFocus();
  }

  // items: [{ label, action } | { separator: true }]; returns the menu element.
  function show(doc, items, x, y, label, returnFocus) {
    close();
    var menu = doc.createElement('div');
    menu.className = 'context-menu';
    menu.setAttribute('role', 'menu');
    menu.setAttribute('aria-label', label);
    var buttons = [];
    items.forEach(function (item) {
      if (item.separator) {
        var line = doc.createElement('div');
        line.className = 'context-separator';
        line.setAttribute('role', 'separator');
        menu.appendChild(line);
        return;
      }
      var button = doc.createElement('button');
      button.type = 'button';
      button.className = 'context-item';
      button.setAttribute('role', 'menuitem');
      button.tabIndex = -1;
      button.textContent = item.label;
      button.addEventListener('click', function () {
        close();
        item.action();
      });
      menu.appendChild(button);
      buttons.push(button);
    });
    menu.addEventListener('keydown', function (e) {
      var at = buttons.indexOf(doc.activeElement);
      if (e.key === 'ArrowDown' || e.key === 'ArrowUp') {
        e.preventDefault();
        var step = e.key === 'ArrowDown' ? 1 : -1;
        buttons[(at + step + buttons.length) % buttons.length].focus();
      } else if (e.key === 'Escape' || e.key === 'Tab') {
        e.preventDefault();
        close();
      } else if (e.key === 'Home' || e.key === 'End') {
        e.preventDefault();
        buttons[e.key === 'Home' ? 0 : buttons.length - 1].focus();
      }
      e.stopPropagation();
    });
    doc.body.appendChild(menu);
    var width = menu.offsetWidth;
    var height = menu.offsetHeight;
    var maxX = doc.documentElement.clientWidth - width - 4;
    var maxY = doc.documentElement.clientHeight - height - 4;
    menu.style.left = Math.max(4, Math.min(x, maxX)) + 'px';
    menu.style.top = Math.max(4, Math.min(y, maxY)) + 'px';
    var outside = function (e) {
      if (!menu.contains(e.target)) close();
    };
    doc.addEventListener('mousedown', outside, true);
    open = { element: menu, doc: doc, outside: outside, returnFocus: returnFocus };
    if (buttons.length) buttons[0].focus();
    return menu;
  }

  return { show: show, close: close, isOpen: function () { return !!open; } };
});
