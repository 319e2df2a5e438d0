// building.mjs - a synthetic building model as an IFC file, for the page tests and the
// page benchmark: a project and site with buildings of storeys, each storey holding a few
// hundred elements of mixed types (walls and their standard cases, doors, windows,
// slabs, columns, beams, furniture...), as a real model of many storeys has them.
//
//   node tests/browser/support/building.mjs FILE ENTITIES
import fs from 'node:fs';
import { fileURLToPath } from 'node:url';
import { FOOTER, HEADER, MODEL_PREAMBLE, globalId } from './ifc.mjs';

// Weighted like a real storey: walls first, then openings, then the rest.
const TYPES = [
  ['IFCWALLSTANDARDCASE', 'Wall', 14], ['IFCWALL', 'Wall', 4], ['IFCDOOR', 'Door', 8], ['IFCWINDOW', 'Window', 10],
  ['IFCSLAB', 'Slab', 2], ['IFCCOLUMN', 'Column', 5], ['IFCBEAM', 'Beam', 5], ['IFCFURNISHINGELEMENT', 'Furniture', 6],
  ['IFCMEMBER', 'Member', 3], ['IFCPLATE', 'Plate', 2], ['IFCCOVERING', 'Covering', 3], ['IFCRAILING', 'Railing', 1],
];
const PICK = TYPES.flatMap((t, k) => Array(t[2]).fill(k));

// Storeys of 200 to 800 elements (fewer in a small model); as many buildings of 20
// storeys as it takes.
export function writeModel(file, entities) {
  const out = fs.openSync(file, 'w');
  let buffer = '';
  const write = (line) => {
    buffer += line + '\n';
    if (buffer.length > 1 << 20) {
      fs.writeSync(out, buffer);
      buffer = '';
    }
  };
  for (const line of [...HEADER, ...MODEL_PREAMBLE,
    `#11=IFCPROJECT('${globalId(11)}',#5,'Bench Project',$,$,$,$,(#10),#7);`, '#12=IFCLOCALPLACEMENT($,#9);',
    `#13=IFCSITE('${globalId(13)}',#5,'Bench Site',$,$,#12,$,$,.ELEMENT.,$,$,$,$,$);`,
    `#14=IFCRELAGGREGATES('${globalId(14)}',#5,$,$,#11,(#13));`]) write(line);
  let id = 100;
  let count = 2; // project and site
  let seed = 12345;
  const random = () => {
    seed = (seed * 1103515245 + 12345) & 0x7fffffff;
    return seed / 0x7fffffff;
  };
  const buildings = [];
  for (let b = 1; count < entities; b++) {
    const building = id++;
    buildings.push(`#${building}`);
    write(`#${building}=IFCBUILDING('${globalId(building)}',#5,'Building ${b}',$,$,#12,$,$,.ELEMENT.,$,$,$);`);
    count++;
    const storeys = [];
    for (let s = 0; s < 20 && count < entities; s++) {
      const storey = id++;
      storeys.push(`#${storey}`);
      // Elevations as a model's floats have them: 3.1 written 3.1000000000000001.
      write(`#${storey}=IFCBUILDINGSTOREY('${globalId(storey)}',#5,'B${b} Level ${s}',$,$,#12,$,$,.ELEMENT.,${(s * 3.1).toPrecision(17)});`);
      count++;
      const elements = [];
      // A small model is a house: a dozen storeys of a few dozen elements.
      const wanted = entities < 20000 ? Math.max(5, Math.floor(entities / 12)) : 200 + Math.floor(random() * 600);
      const size = Math.min(entities - count, wanted);
      for (let e = 0; e < size; e++) {
        const [type, name] = TYPES[PICK[Math.floor(random() * PICK.length)]];
        const element = id++;
        elements.push(`#${element}`);
        write(`#${element}=${type}('${globalId(element)}',#5,'${name} ${b}.${s}.${e}','${e % 3 ? '' : 'External'}',$,#12,$,$,.NOTDEFINED.);`);
        count++;
      }
      if (elements.length) write(`#${id}=IFCRELCONTAINEDINSPATIALSTRUCTURE('${globalId(id++)}',#5,$,$,(${elements.join(',')}),#${storey});`);
    }
    write(`#${id}=IFCRELAGGREGATES('${globalId(id++)}',#5,$,$,#${building},(${storeys.join(',')}));`);
  }
  write(`#${id}=IFCRELAGGREGATES('${globalId(id++)}',#5,$,$,#13,(${buildings.join(',')}));`);
  FOOTER.forEach(write);
  fs.writeSync(out, buffer);
  fs.closeSync(out);
  return { entities: count, bytes: fs.statSync(file).size };
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  console.log(writeModel(process.argv[2], Number(process.argv[3])));
}
