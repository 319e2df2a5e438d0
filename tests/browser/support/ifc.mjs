// IFC files for the page tests and the page benchmark, written as STEP text.
//
//   node tests/browser/support/ifc.mjs FILE ENTITIES     (a building model, as writeModel)
import fs from 'node:fs';
import { fileURLToPath } from 'node:url';

// A STEP string's content: quotes and backslashes doubled. The models here are ASCII;
// anything else would need \X2\ escapes, so it is refused rather than written wrong.
function stepText(text) {
  if (/[^\x20-\x7e]/.test(text)) throw new Error(`not printable ASCII: ${JSON.stringify(text)}`);
  return text.replace(/['\\]/g, (ch) => ch + ch);
}

// 22 characters of the IFC GlobalId alphabet, different for every n.
export function globalId(n) {
  const alphabet = '0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_$';
  let id = '';
  for (let k = 0; k < 21; k++) {
    id = alphabet[n % 64] + id;
    n = Math.floor(n / 64);
  }
  return `1${id}`;
}

const HEADER = ['ISO-10303-21;', 'HEADER;', "FILE_DESCRIPTION(('ViewDefinition [ReferenceView]'),'2;1');",
  "FILE_NAME('test.ifc','2024-05-14T10:00:00',(''),(''),'','','');", "FILE_SCHEMA(('IFC4'));", 'ENDSEC;', 'DATA;',
  "#1=IFCPERSON($,'Tester',$,$,$,$,$,$);", "#2=IFCORGANIZATION($,'Test',$,$,$);", '#3=IFCPERSONANDORGANIZATION(#1,#2,$);',
  "#4=IFCAPPLICATION(#2,'1.0','Test Writer','TestWriter');", '#5=IFCOWNERHISTORY(#3,#4,$,.ADDED.,$,$,$,1715680800);',
  '#6=IFCSIUNIT(*,.LENGTHUNIT.,.MILLI.,.METRE.);', '#7=IFCUNITASSIGNMENT((#6));', '#8=IFCCARTESIANPOINT((0.,0.,0.));',
  '#9=IFCAXIS2PLACEMENT3D(#8,$,$);', "#10=IFCGEOMETRICREPRESENTATIONCONTEXT($,'Model',3,1.E-05,#9,$);", '#12=IFCLOCALPLACEMENT($,#9);'];

// Streams a project with one site of `buildings`: [{ name, storeys }], a storey being
// { name, elevation (STEP real), elements }, an element { type, name, description,
// id (of its GlobalId; else its record's) }. Storeys and
// elements may be generators, so that a model of a million entities is never held.
// Containers take GlobalIds above a million, clear of the elements' ids.
export function writeIfc(file, buildings, prefix = 'Test') {
  const out = fs.openSync(file, 'w');
  let buffer = '';
  const write = (line) => {
    buffer += line + '\n';
    if (buffer.length < 1 << 20) return;
    fs.writeSync(out, buffer);
    buffer = '';
  };
  const gid = (n) => globalId(1e6 + n);
  HEADER.forEach(write);
  write(`#11=IFCPROJECT('${gid(11)}',#5,'${prefix} Project',$,$,$,$,(#10),#7);`);
  write(`#13=IFCSITE('${gid(13)}',#5,'${prefix} Site',$,$,#12,$,$,.ELEMENT.,$,$,$,$,$);`);
  write(`#14=IFCRELAGGREGATES('${gid(14)}',#5,$,$,#11,(#13));`);
  let id = 100;
  const buildingIds = [];
  for (const building of buildings) {
    const b = id++;
    buildingIds.push(`#${b}`);
    write(`#${b}=IFCBUILDING('${gid(b)}',#5,'${building.name}',$,$,#12,$,$,.ELEMENT.,$,$,$);`);
    const storeyIds = [];
    for (const storey of building.storeys) {
      const s = id++;
      storeyIds.push(`#${s}`);
      write(`#${s}=IFCBUILDINGSTOREY('${gid(s)}',#5,'${storey.name}',$,$,#12,$,$,.ELEMENT.,${storey.elevation});`);
      const elementIds = [];
      for (const e of storey.elements) {
        const n = id++;
        elementIds.push(`#${n}`);
        write(`#${n}=${e.type}('${globalId(e.id ?? n)}',#5,'${stepText(e.name)}','${stepText(e.description ?? '')}',$,#12,$,$,.NOTDEFINED.);`);
      }
      if (elementIds.length) write(`#${id}=IFCRELCONTAINEDINSPATIALSTRUCTURE('${gid(id++)}',#5,$,$,(${elementIds.join(',')}),#${s});`);
    }
    write(`#${id}=IFCRELAGGREGATES('${gid(id++)}',#5,$,$,#${b},(${storeyIds.join(',')}));`);
  }
  write(`#${id}=IFCRELAGGREGATES('${gid(id++)}',#5,$,$,#13,(${buildingIds.join(',')}));`);
  write('ENDSEC;');
  write('END-ISO-10303-21;');
  fs.writeSync(out, buffer);
  fs.closeSync(out);
}

// One building of the given storeys (3 m apart), holding one IFCWALL each of `walls`
// (as elements above, with `storey`: the index of theirs).
export function writeModelOfWalls(file, walls, storeys = ['Only Storey']) {
  writeIfc(file, [{ name: 'Test Building', storeys: storeys.map((name, s) => ({
    name, elevation: `${s * 3000}.`, elements: walls.filter((w) => (w.storey ?? 0) === s).map((w) => ({ type: 'IFCWALL', ...w })),
  })) }]);
}

// Weighted like a real storey: walls first, then openings, then the rest.
const TYPES = [
  ['IFCWALLSTANDARDCASE', 'Wall', 14], ['IFCWALL', 'Wall', 4], ['IFCDOOR', 'Door', 8], ['IFCWINDOW', 'Window', 10],
  ['IFCSLAB', 'Slab', 2], ['IFCCOLUMN', 'Column', 5], ['IFCBEAM', 'Beam', 5], ['IFCFURNISHINGELEMENT', 'Furniture', 6],
  ['IFCMEMBER', 'Member', 3], ['IFCPLATE', 'Plate', 2], ['IFCCOVERING', 'Covering', 3], ['IFCRAILING', 'Railing', 1],
];
const PICK = TYPES.flatMap((t, k) => Array(t[2]).fill(k));

// A building model of about `entities` entities: buildings of 20 storeys of 200 to 800
// elements of mixed types, as a real model of many storeys has them; a small model is a
// house of a dozen storeys of a few dozen elements. Returns { entities, bytes }.
export function writeModel(file, entities) {
  let count = 2; // project and site
  let seed = 12345;
  const random = () => (seed = (seed * 1103515245 + 12345) & 0x7fffffff) / 0x7fffffff;
  function* storeys(b) {
    for (let s = 0; s < 20 && count < entities; s++) {
      count++;
      const wanted = entities < 20000 ? Math.max(5, Math.floor(entities / 12)) : 200 + Math.floor(random() * 600);
      const size = Math.min(entities - count, wanted);
      count += size;
      // Elevations as a model's floats have them: 3.1 written 3.1000000000000001.
      yield { name: `B${b} Level ${s}`, elevation: (s * 3.1).toPrecision(17), elements: Array.from({ length: size }, (_, e) => {
        const [type, name] = TYPES[PICK[Math.floor(random() * PICK.length)]];
        return { type, name: `${name} ${b}.${s}.${e}`, description: e % 3 ? '' : 'External' };
      }) };
    }
  }
  function* buildings() {
    for (let b = 1; count < entities; b++) {
      count++;
      yield { name: `Building ${b}`, storeys: storeys(b) };
    }
  }
  writeIfc(file, buildings(), 'Bench');
  return { entities: count, bytes: fs.statSync(file).size };
}

if (process.argv[1] === fileURLToPath(import.meta.url)) console.log(writeModel(process.argv[2], Number(process.argv[3])));
