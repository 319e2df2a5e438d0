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

// About `count` entities: a project of storeys of 500 elements each.
export function bigDocument(count) {
  serial = 0;
  const storeys = [];
  for (let s = 0; s * 500 < count; s++) {
    const elements = Array.from({ length: 500 }, (_, e) =>
      entity(`Wall ${s}.${e}`, 'IfcWall', { name: `Wall:${e % 7}`, mode: MODES[e % 4], importValue: e % 5 ? 'true' : 'false' }));
    storeys.push(entity(`Storey ${s}`, 'IfcBuildingStorey', { name: `Level ${s}`, elevation: String(s * 3000), children: elements }));
  }
  const roots = [entity('Project', 'IfcProject', { children: storeys })];
  return JSON.stringify({ data: { filterID: 'IFC4:Big.ifc', formatUsage: 'IFC' }, columns: columns(), roots });
}

// The entity of that label in a model.
export function find(model, label) {
  for (let i = 0; i < model.size; i++) if (model.label(i) === label) return i;
  throw new Error(`no entity ${label}`);
}
