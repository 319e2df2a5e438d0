// Small IFC files for the tests, written as STEP text.
import fs from 'node:fs';

// A STEP string's content: quotes doubled, backslashes doubled, anything beyond
// printable ASCII as \X2\ (UTF-16 units, surrogates included) or \X4\ (code points).
export function stepText(text, wide = 'X2') {
  let out = '';
  for (const ch of text) {
    const cp = ch.codePointAt(0);
    if (ch === "'") out += "''";
    else if (ch === '\\') out += '\\\\';
    else if (cp >= 0x20 && cp < 0x7f) out += ch;
    else if (wide === 'X4') out += `\\X4\\${cp.toString(16).toUpperCase().padStart(8, '0')}\\X0\\`;
    else {
      const units = [];
      for (let k = 0; k < ch.length; k++) units.push(ch.charCodeAt(k).toString(16).toUpperCase().padStart(4, '0'));
      out += `\\X2\\${units.join('')}\\X0\\`;
    }
  }
  return out;
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

// The owner history, units and context that every test model starts with (#1 to #10).
export const MODEL_PREAMBLE = [
    "#1=IFCPERSON($,'Tester',$,$,$,$,$,$);",
    "#2=IFCORGANIZATION($,'Test',$,$,$);",
    '#3=IFCPERSONANDORGANIZATION(#1,#2,$);',
    "#4=IFCAPPLICATION(#2,'1.0','Test Writer','TestWriter');",
    '#5=IFCOWNERHISTORY(#3,#4,$,.ADDED.,$,$,$,1715680800);',
    '#6=IFCSIUNIT(*,.LENGTHUNIT.,.MILLI.,.METRE.);',
    '#7=IFCUNITASSIGNMENT((#6));',
    '#8=IFCCARTESIANPOINT((0.,0.,0.));',
    '#9=IFCAXIS2PLACEMENT3D(#8,$,$);',
    "#10=IFCGEOMETRICREPRESENTATIONCONTEXT($,'Model',3,1.E-05,#9,$);",
];

// A STEP file's lines before and after its data.
export const HEADER = ['ISO-10303-21;', 'HEADER;', "FILE_DESCRIPTION(('ViewDefinition [ReferenceView]'),'2;1');",
  "FILE_NAME('test.ifc','2024-05-14T10:00:00',(''),(''),'','','');", "FILE_SCHEMA(('IFC4'));", 'ENDSEC;', 'DATA;'];
export const FOOTER = ['ENDSEC;', 'END-ISO-10303-21;'];

// Project, site and building with the given storeys (3 m apart), holding one wall each of
// `walls`: { name, description, wide (the escapes of its texts), storey (index), id (of its GlobalId) }.
export function writeModelOfWalls(file, walls, storeys = ['Only Storey']) {
  const lines = [
    ...MODEL_PREAMBLE,
    `#11=IFCPROJECT('${globalId(1)}',#5,'Test Project',$,$,$,$,(#10),#7);`,
    '#12=IFCLOCALPLACEMENT($,#9);',
    `#13=IFCSITE('${globalId(2)}',#5,'Test Site',$,$,#12,$,$,.ELEMENT.,$,$,$,$,$);`,
    `#14=IFCBUILDING('${globalId(3)}',#5,'Test Building',$,$,#12,$,$,.ELEMENT.,$,$,$);`,
    ...storeys.map((name, s) => `#${15 + s}=IFCBUILDINGSTOREY('${globalId(4 + s)}',#5,'${name}',$,$,#12,$,$,.ELEMENT.,${s * 3000}.);`),
    `#50=IFCRELAGGREGATES('${globalId(50)}',#5,$,$,#11,(#13));`,
    `#51=IFCRELAGGREGATES('${globalId(51)}',#5,$,$,#13,(#14));`,
    `#52=IFCRELAGGREGATES('${globalId(52)}',#5,$,$,#14,(${storeys.map((_, s) => `#${15 + s}`).join(',')}));`,
  ];
  const contained = storeys.map(() => []);
  walls.forEach((wall, k) => {
    lines.push(`#${100 + k}=IFCWALL('${globalId(wall.id ?? 100 + k)}',#5,'${stepText(wall.name, wall.wide)}',` +
      `'${stepText(wall.description ?? '', wall.wide)}',$,#12,$,$,.STANDARD.);`);
    contained[wall.storey ?? 0].push(`#${100 + k}`);
  });
  contained.forEach((ids, s) => {
    if (ids.length) lines.push(`#${60 + s}=IFCRELCONTAINEDINSPATIALSTRUCTURE('${globalId(60 + s)}',#5,$,$,(${ids.join(',')}),#${15 + s});`);
  });
  fs.writeFileSync(file, `${[...HEADER, ...lines, ...FOOTER].join('\n')}\n`);
}

// A copy of a STEP file with one more wall, contained in the spatial element `container`
// (a "#n" reference); the wall reuses the placement and shape of an existing one.
export function copyWithExtraWall(source, target, { globalId: id, name, container, placement, shape }) {
  const text = fs.readFileSync(source, 'latin1');
  const end = text.lastIndexOf('ENDSEC;');
  if (end < 0) throw new Error(`${source}: no DATA section end`);
  const added = [
    `#900001=IFCWALL('${id}',#5,'${stepText(name)}','External wall',$,${placement},${shape},$,.STANDARD.);`,
    `#900002=IFCRELCONTAINEDINSPATIALSTRUCTURE('${globalId(900002)}',#5,'Added Contents',$,(#900001),${container});`,
    '',
  ].join('\n');
  fs.writeFileSync(target, text.slice(0, end) + added + text.slice(end), 'latin1');
}
