/*
 * Keyboard - the grid's keys: arrows move the cursor cell, Right/Left open and close
 * in the tree column, Enter/F2 edit, Space ticks or selects, Shift+F10 and the menu
 * key open the context menu; Ctrl+Z undoes and Ctrl+F searches anywhere on the page.
 */
define([], function () {
  'use strict';

  function onGridKey(view, e) {
    if (!view.model || !view.rows || view.editing) return;
    var target = e.target;
    if (target && target.closest && target.closest('input, select, textarea, .context-menu')) return;
    var model = view.model;
    var column = model.columns[view.cursor.col];
    var row = view.cursor.row;
    var id = view.idAt(row);
    var handled = true;
    if ((e.key === 'F10' && e.shiftKey) || e.key === 'ContextMenu') {
      view.openMenu(Math.max(0, row), view.cursor.col);
      e.preventDefault();
      e.stopPropagation();
      return;
    }
    switch (e.key) {
      case 'ArrowDown': view.moveCursor(1, 0, e.shiftKey); break;
      case 'ArrowUp': view.moveCursor(-1, 0, e.shiftKey); break;
      case 'PageDown': view.moveCursor(view.pageSize(), 0, e.shiftKey); break;
      case 'PageUp': view.moveCursor(-view.pageSize(), 0, e.shiftKey); break;
      case 'Home':
        if (e.ctrlKey) view.moveCursor(-Infinity, 0);
        else view.setCursor(row, 0, true);
        break;
      case 'End':
        if (e.ctrlKey) view.moveCursor(Infinity, 0);
        else view.setCursor(row, model.columns.length - 1, true);
        break;
      case 'ArrowRight':
        if (column && column.kind === 'tree' && id !== null && view.rows.hasChildren(id) && !view.rows.isOpen(id)) {
          view.toggleRow(row);
        } else {
          view.moveCursor(0, 1);
        }
        break;
      case 'ArrowLeft':
        if (column && column.kind === 'tree' && id !== null) {
          if (view.rows.hasChildren(id) && view.rows.isOpen(id)) view.toggleRow(row);
          else view.moveToParent(row);
        } else {
          view.moveCursor(0, -1);
        }
        break;
      case '+':
        if (id !== null && view.rows.hasChildren(id) && !view.rows.isOpen(id)) view.toggleRow(row);
        break;
      case '-':
        if (id !== null && view.rows.isOpen(id)) view.toggleRow(row);
        break;
      case 'Enter':
      case 'F2':
        if (column && column.kind === 'tree') view.toggleRow(row);
        else view.startEdit(undefined);
        break;
      case ' ':
        if (column && column.kind === 'boolean') {
          view.tick(row, column, e.altKey);
        } else if (id !== null && id >= 0) {
          if (view.selection.has(id)) view.selection.delete(id);
          else view.selection.add(id);
          view.anchor = row;
          view.refreshSelection();
        }
        break;
      case 'Escape':
        if (view.selection.size) view.select([], false);
        else handled = false;
        break;
      case 'a':
      case 'A':
        if (e.ctrlKey || e.metaKey) view.select(Array.from(view.rows.rows), false);
        else handled = typeToEdit(view, e);
        break;
      default:
        handled = typeToEdit(view, e);
    }
    if (handled) {
      e.preventDefault();
      e.stopPropagation();
    }
  }

  // A printable key on an editable text cell opens its editor with that key typed.
  function typeToEdit(view, e) {
    if (e.key.length !== 1 || e.ctrlKey || e.metaKey || e.altKey) return false;
    var column = view.model.columns[view.cursor.col];
    if (!column || column.kind === 'enum' || column.kind === 'boolean') return false;
    return view.startEdit(e.key);
  }

  function bind(view) {
    var grid = view.controls.grid;
    grid.addEventListener('keydown', function (e) { onGridKey(view, e); });
    view.doc.addEventListener('keydown', function (e) {
      var target = e.target;
      var inField = target && (target.tagName === 'INPUT' || target.tagName === 'SELECT' || target.tagName === 'TEXTAREA');
      if ((e.ctrlKey || e.metaKey) && !e.altKey && (e.key === 'z' || e.key === 'Z') && !e.shiftKey && !inField) {
        e.preventDefault();
        view.perform({ t: 'undo' });
      } else if ((e.ctrlKey || e.metaKey) && (e.key === 'f' || e.key === 'F')) {
        e.preventDefault();
        view.controls.search.focus();
        view.controls.search.select();
      }
    });
  }

  return { bind: bind, onGridKey: onGridKey };
});
