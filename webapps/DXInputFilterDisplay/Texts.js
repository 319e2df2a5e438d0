/*
 * The page's own texts. The catalog DXInputFilterDisplay gives them in the user's
 * language; these English ones stand in for any message it lacks.
 */
define([], function () {
  'use strict';

  var ENGLISH = {
    Loading: "Loading…",
    LoadError: "The filter could not be read: {0}",
    EmptyDocument: "The file contains no entities.",
    NoRows: "No entity matches the search and filters.",
    EmptyEntity: "(no entity)",
    Search: "Search",
    SearchPlaceholder: "Search by name…",
    SearchMatches: "{0} found",
    SearchNoMatch: "Not found",
    Filter: "Filter",
    FilterColumn: "Column",
    FilterOperator: "Condition",
    FilterValue: "Value",
    Operator_is: "is",
    Operator_isNot: "is not",
    Operator_contains: "contains",
    AddFilter: "Add",
    AddFilterTooltip: "Show only the entities whose value meets the condition",
    RemoveFilter: "Remove this filter",
    ClearFilters: "Clear all",
    Branch: "Branch: {0}",
    ExpandAll: "Expand all",
    CollapseAll: "Collapse all",
    ExpandToLevel: "Levels",
    Level: "Level {0}",
    Undo: "Undo",
    UndoTooltip: "Undo the last edit (Ctrl+Z)",
    SetOnSubtree: "Set on subtree",
    SetOnSubtreeTooltip: "Give the current cell's value to every entity below it",
    SetOnSelection: "Set on selected rows",
    SetOnSelectionTooltip: "Give the current cell's value to every selected row",
    TickSubtree: "Tick for the whole subtree",
    UntickSubtree: "Untick for the whole subtree",
    SetValueOnSubtree: "Set “{0}” on the whole subtree",
    SetValueOnSelection: "Set “{0}” on the {1} selected rows",
    ShowBranchOnly: "Show this branch only",
    ExpandSubtree: "Expand everything below",
    CollapseSubtree: "Collapse everything below",
    SummaryImport: "{0} of {1} entities will be imported",
    SummaryCount: "{0} entities",
    Shown: "{0} shown",
    Selected: "{0} selected",
    OneEdit: "1 edit",
    Edits: "{0} edits",
    NoEdits: "No edits",
    InvalidNumber: "Enter a number, e.g. 3.25",
    Yes: "Yes",
    No: "No",
    Mixed: "Partly",
    TickTooltip: "Click: this entity and everything below it. Alt+click: this entity only",
    MixedTooltip: "Some of the entities below are imported, some not",
    Kind_boolean: "Tick box",
    Kind_enum: "List of values",
    Kind_number: "Number",
    Kind_date: "Date",
    Kind_color: "Colour",
    Kind_runtime: "Computed",
    Kind_string: "Text",
    Kind_text: "Text",
    ReadOnly: "read only",
    TypeGroup: "{0} ({1})",
    NoType: "(no type)",
    GroupByType: "Group by type",
    GroupByTypeTooltip: "Show the elements under each container in one group per type",
    Types: "Types",
    TypesTooltip: "Show or tick the entities of a type, its subtypes included",
    TypeShowOnly: "Show only",
    TypeTick: "Tick all",
    TypeUntick: "Untick all",
    TypeFilter: "Type: {0}",
    TickAlone: "Tick this entity only",
    UntickAlone: "Untick this entity only",
    GridLabel: "Entities of the file",
    SameAsEntity: "Same as the entity: {0}",
    ContextMenu: "Actions",
    CloseWarning: "Your edits have not been applied yet. Close and lose them?",
    LeaveWarning: "Your edits have not been applied yet.",
    TitleWithFile: "{0} – {1}"
  };

  var texts = Object.assign({}, ENGLISH);

  // "{0} of {1}" with the arguments as text.
  function format(key) {
    var args = Array.prototype.slice.call(arguments, 1);
    var template = Object.prototype.hasOwnProperty.call(texts, key) ? texts[key] : key;
    return template.replace(/\{(\d+)\}/g, function (whole, k) {
      return k < args.length ? String(args[k]) : whole;
    });
  }

  // Takes the catalog's messages over the English ones; other keys are ignored.
  function use(catalog) {
    if (!catalog || typeof catalog !== 'object') return;
    Object.keys(ENGLISH).forEach(function (key) {
      if (typeof catalog[key] === 'string') texts[key] = catalog[key];
    });
  }

  function reset() {
    texts = Object.assign({}, ENGLISH);
  }

  return {
    CATALOG: 'DXInputFilterDisplay',
    ENGLISH: ENGLISH,
    format: format,
    use: use,
    reset: reset
  };
});
