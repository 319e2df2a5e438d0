/*
 * TypeList - the model's types with their counts, a type counting its subtypes' too
 * ("IfcWall" holds IfcWallStandardCase). From the list the user shows only a type or
 * ticks and unticks all its entities in one step.
 */
define(['./Texts'], function (Texts) {
  'use strict';

  function TypeList(view) {
    this.view = view;
    this.panel = null;
  }

  TypeList.prototype.isOpen = function () {
    return !!this.panel;
  };

  TypeList.prototype.toggle = function () {
    if (this.panel) this.close();
    else this.open();
  };

  TypeList.prototype.close = function () {
    if (!this.panel) return;
    this.panel.remove();
    this.panel = null;
    this.view.controls.types.setAttribute('aria-expanded', 'false');
  };

  // The entities of a type and its subtypes.
  TypeList.prototype.entitiesOf = function (type) {
    var model = this.view.model;
    var out = [];
    for (var i = 0; i < model.size; i++) if (model.isOfType(i, type)) out.push(i);
    return out;
  };

  TypeList.prototype.open = function () {
    var view = this.view;
    var model = view.model;
    if (!model || !model.typeColumn) return;
    var doc = view.doc;
    var self = this;
    var counts = model.typeCounts();
    var panel = doc.createElement('div');
    panel.className = 'type-list';
    panel.id = 'type-list';
    panel.setAttribute('role', 'dialog');
    panel.setAttribute('aria-label', Texts.format('Types'));
    var table = doc.createElement('table');
    var types = Array.from(counts.keys()).sort();
    types.forEach(function (type) {
      var tr = doc.createElement('tr');
      tr.dataset.type = type;
      var name = doc.createElement('th');
      name.scope = 'row';
      name.textContent = type;
      var count = doc.createElement('td');
      count.className = 'type-count';
      count.textContent = view.numberFormat(counts.get(type).count);
      tr.appendChild(name);
      tr.appendChild(count);
      function action(label, run) {
        var td = doc.createElement('td');
        var button = doc.createElement('button');
        button.type = 'button';
        button.className = 'link-button';
        button.textContent = Texts.format(label);
        button.setAttribute('aria-label', Texts.format(label) + ': ' + type);
        button.addEventListener('click', run);
        td.appendChild(button);
        tr.appendChild(td);
      }
      action('TypeShowOnly', function () {
        view.state.setType(type);
        view.criteriaChanged();
      });
      if (model.boolColumn && model.boolColumn.editable) {
        action('TypeTick', function () { view.setOnEntities(self.entitiesOf(type), model.boolColumn, 'true'); });
        action('TypeUntick', function () { view.setOnEntities(self.entitiesOf(type), model.boolColumn, 'false'); });
      }
      table.appendChild(tr);
    });
    panel.appendChild(table);
    panel.addEventListener('keydown', function (e) {
      if (e.key === 'Escape') {
        e.preventDefault();
        e.stopPropagation();
        self.close();
        view.controls.types.focus();
      }
    });
    view.controls.types.parentNode.appendChild(panel);
    view.controls.types.setAttribute('aria-expanded', 'true');
    this.panel = panel;
  };

  return TypeList;
});
