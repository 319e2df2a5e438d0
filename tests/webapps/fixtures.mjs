// Filter documents as the generator writes them: compact, members in its order
// (label, data, grid, children), values as strings.

export const MODES = ['NoImport', 'ForLifecycle', 'ForCoordination', 'ForDesign'];

export function columns() {
  const nls = (name) => ({ NLS_text: `DXIfcProvider.Column_${name}` });
  return [
    { dataIndex: 'tree', editableFlag: false, data: nls('Entity') },
    { dataIndex: 'Import', editableFlag: true, editionPolicy: 'EditionInPlace', typeRepresentation: 'boolean', data: nls('Import') },
    { dataIndex: 'ImportMode', editableFlag: true, editionPolicy: 'EditionInPlace', data: { type: 'enum', possibleValues: MODES, NLS_text: 'DXIfcProvider.Column_ImportMode' } },
    { dataIndex: 'Type', editableFlag: false, typeRepresentation: 'string', data: nls('Type') },
    { dataIndex: 'Name', editableFlag: true, editionPolicy: 'EditionInPlace', typeRepresentation: 'string', data: nls('Name') },
    { dataIndex: 'Elevation', editableFlag: true, editionPolicy: 'EditionInPlace', typeRepresentation: 'number', data: nls('Elevation') },
    { dataIndex: 'Imported', editableFlag: false, data: { type: 'runtime', NLS_text: 'DXIfcProvider.Column_Imported' } },
  ];
}

let serial = 0;
function guid() {
  serial += 1;
  return `2${serial.toString(36).padStart(21, '0')}`;
}

// One entity; `nls` puts the Type value into data.NLS_grid.
export function entity(label, type, { name, elevation, importValue = 'true', mode = 'ForDesign', nls = false, children } = {}) {
  const data = { uid: [guid()] };
  const grid = { Import: importValue, ImportMode: mode };
  if (nls) data.NLS_grid = { Type: `DXIfcProvider.${type}` };
  else grid.Type = type;
  if (name !== undefined) grid.Name = name;
  if (elevation !== undefined) grid.Elevation = elevation;
  data.instance = `#${serial}`;
  const node = { label, data, grid };
  if (children) node.children = children;
  return node;
}

export function house() {
  serial = 0;
  const storey = (n, elevation) => entity(`Storey ${n}`, 'IfcBuildingStorey', {
    name: `Level ${n}`,
    elevation,
    children: [
      entity(`Living room ${n}`, 'IfcSpace', { name: `Room ${n}.1`, children: [
        entity(`Wall ${n}.1`, 'IfcWall', { name: 'Basic Wall:Exterior', nls: true, children: [
          entity(`Door ${n}.1`, 'IfcDoor', { name: 'Single-Flush 0915 x 2134mm' }),
          entity(`Window ${n}.1`, 'IfcWindow', { name: 'Fixed 0610 x 1220mm' }),
        ] }),
        entity(`Wall ${n}.2`, 'IfcWall', { name: 'Basic Wall:Interior' }),
      ] }),
      entity(`Kitchen ${n}`, 'IfcSpace', { name: `Room ${n}.2`, importValue: 'false', mode: 'NoImport' }),
    ],
  });
  return {
    data: { filterID: 'IFC4:SampleHouse.ifc', formatUsage: 'IFC' },
    columns: columns(),
    roots: [
      entity('Sample house project', 'IfcProject', { children: [
        entity('Site', 'IfcSite', { children: [
          entity('House', 'IfcBuilding', { children: [storey(0, '0'), storey(1, '3000')] }),
        ] }),
      ] }),
      { label: 'Unplaced', data: { NLS_label: 'DXIfcProvider.UnplacedElements' }, grid: {} },
      {},
    ],
  };
}

export const houseText = () => JSON.stringify(house());

// The house with what JSON.stringify cannot write, spliced in as text: numbers as written,
// key order, escapes, line separators, astral characters and markup in a label.
export const trickyText = () => houseText()
  .replace('"formatUsage":"IFC"}', '"formatUsage":"IFC","settings":{"tolerance":1.50,"max":123456789012345678901234567890,"inf":1e400,"z":-0,"nested":{"list":[1,"\\u00e9",{"2":"b","1":"a"}]}}}')
  .replace('"roots":', '"unknownTop":{"x":[true,null,0.10]},"roots":')
  .replace('"label":"Storey 0"', `"label":"Storey 0 \u2028\u2029 \ud83c\udfe0 </script> it's \\\\ \\"q\\""`)
  .replace('"instance":"#4"', '"instance":"#4","extra":{"n":2.0},"10":"index-like"');

// The entity of that label in a model.
export function find(model, label) {
  for (let i = 0; i < model.size; i++) if (model.label(i) === label) return i;
  throw new Error(`no entity ${label}`);
}
