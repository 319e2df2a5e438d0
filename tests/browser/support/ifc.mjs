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

// Project, site, building and one storey holding a wall per name; each wall's name is
// written with `wide` escapes, its description as given.
export function writeModelOfWalls(file, walls) {
  const lines = [
    ...MODEL_PREAMBLE,
    `#11=IFCPROJECT('${globalId(1)}',#5,'Test Project',$,$,$,$,(#10),#7);`,
    '#12=IFCLOCALPLACEMENT($,#9);',
    `#13=IFCSITE('${globalId(2)}',#5,'Test Site',$,$,#12,$,$,.ELEMENT.,$,$,$,$,$);`,
    `#14=IFCBUILDING('${globalId(3)}',#5,'Test Building',$,$,#12,$,$,.ELEMENT.,$,$,$);`,
    `#15=IFCBUILDINGSTOREY('${globalId(4)}',#5,'Only Storey',$,$,#12,$,$,.ELEMENT.,0.);`,
    `#16=IFCRELAGGREGATES('${globalId(5)}',#5,$,$,#11,(#13));`,
    `#17=IFCRELAGGREGATES('${globalId(6)}',#5,$,$,#13,(#14));`,
    `#18=IFCRELAGGREGATES('${globalId(7)}',#5,$,$,#14,(#15));`,
  ];
  const ids = walls.map((wall, k) => {
    const id = 100 + k;
    lines.push(`#${id}=IFCWALL('${globalId(100 + k)}',#5,'${stepText(wall.name, wall.wide)}',` +
      `'${stepText(wall.description ?? '', wall.wide)}',$,#12,$,$,.STANDARD.);`);
    return `#${id}`;
  });
  lines.push(`#99=IFCRELCONTAINEDINSPATIALSTRUCTURE('${globalId(8)}',#5,$,$,(${ids.join(',')}),#15);`);
  fs.writeFileSync(file, [
    'ISO-10303-21;',
    'HEADER;',
    "FILE_DESCRIPTION(('ViewDefinition [ReferenceView]'),'2;1');",
    "FILE_NAME('test.ifc','2024-05-14T10:00:00',(''),(''),'','','');",
    "FILE_SCHEMA(('IFC4'));",
    'ENDSEC;',
    'DATA;',
    ...lines,
    'ENDSEC;',
    'END-ISO-10303-21;',
    '',
  ].join('\n'));
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
