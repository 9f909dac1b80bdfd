// The generated .ksy, compiled to JavaScript by the Kaitai Struct compiler,
// parses every bundled example and a set of random blocks to the values the
// tool's ndjson gives: numbers exactly, texts after the analyzer's cut at the
// first NUL and its trim.
//
//   node kaitai_test.js KSY TOOL EXAMPLES_DIR
//
// The compiler, the runtime and js-yaml come from NODE_PATH.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { spawnSync } = require('child_process');

const [ksyFile, tool, examples] = process.argv.slice(2);
const compiler = require('kaitai-struct-compiler');
const yaml = require('js-yaml');
const { KaitaiStream } = require('kaitai-struct');

// A fixed seed: a failure names a block that can be made again.
function random(seed) {
  return () => {
    seed = (seed + 0x6d2b79f5) | 0;
    let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

// Random bytes everywhere; some blocks longer than the minimum (so that the
// pressure settings' cut moves), text fields often made of the bytes the
// analyzer treats specially (NUL, white space, high bytes).
function randomBlocks(count) {
  const next = random(31);
  const byte = () => Math.floor(next() * 256);
  const special = [0x00, 0x20, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x41, 0x5c, 0x7f, 0xc3, 0xa9, 0xff];
  const blocks = [];
  for (let i = 0; i < count; ++i) {
    const size = i % 4 === 0 ? 1024 + Math.floor(next() * 400) : 1024;
    const block = Buffer.alloc(size);
    for (let j = 0; j < size; ++j) block[j] = byte();
    if (i % 2 === 0) {
      for (let j = 0x334; j < 0x340; ++j) block[j] = special[Math.floor(next() * special.length)];
    }
    if (i % 3 === 0) block[0x341] = Math.floor(next() * 20);  // within the table too
    blocks.push(block);
  }
  return blocks;
}

// The tool's shown() text back to bytes: "\\" a backslash, "\xHH" a byte,
// anything else its UTF-8.
function unshown(text) {
  const bytes = [];
  for (let i = 0; i < text.length; ++i) {
    if (text[i] === '\\' && text[i + 1] === '\\') {
      bytes.push(0x5c);
      ++i;
    } else if (text[i] === '\\' && text[i + 1] === 'x') {
      bytes.push(parseInt(text.substr(i + 2, 2), 16));
      i += 3;
    } else {
      const cp = text.codePointAt(i);
      const ch = String.fromCodePoint(cp);
      bytes.push(...Buffer.from(ch, 'utf8'));
      i += ch.length - 1;
    }
  }
  return Buffer.from(bytes);
}

// The analyzer's trim: white space as the classic locale has it.
function trimmed(bytes) {
  const space = (b) => b === 0x20 || (b >= 0x09 && b <= 0x0d);
  let begin = 0;
  let end = bytes.length;
  while (begin < end && space(bytes[begin])) ++begin;
  while (end > begin && space(bytes[end - 1])) --end;
  return Buffer.from(bytes.subarray(begin, end));
}

const camel = (id) => id.replace(/_([a-z0-9])/g, (m, c) => c.toUpperCase());
const snake = (key) => key.replace(/([A-Z])/g, (m, c, at) => (at ? '_' : '') + c.toLowerCase());

async function main() {
  const ksy = yaml.load(fs.readFileSync(ksyFile, 'utf8'));
  const compiled = await compiler.compile('javascript', ksy, null, false);
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'qlx5100-ksy-'));
  try {
    let parserFile;
    for (const [name, text] of Object.entries(compiled)) {
      fs.writeFileSync(path.join(dir, name), text);
      parserFile = path.join(dir, name);
    }
    const exported = require(parserFile);
    const Parser = Object.values(exported)[0];

    const files = fs.readdirSync(examples).sort().map((f) => path.join(examples, f));
    randomBlocks(48).forEach((block, i) => {
      const file = path.join(dir, `random-${String(i).padStart(2, '0')}.bin`);
      fs.writeFileSync(file, block);
      files.push(file);
    });
    const run = spawnSync(tool, ['-f', 'ndjson', ...files], { encoding: 'utf8' });
    if (run.status !== 0) throw new Error(`${tool} exited ${run.status}: ${run.stderr}`);
    const records = run.stdout.trim().split('\n').map((line) => JSON.parse(line));
    if (records.length !== files.length) throw new Error(`${records.length} records for ${files.length} files`);

    const instances = Object.keys(ksy.instances).map(camel);
    let failures = 0;
    const fail = (file, what) => {
      ++failures;
      console.error(`${file}: ${what}`);
    };
    records.forEach((record, i) => {
      const file = files[i];
      if (!record.ok) return fail(file, `the tool failed: ${record.error}`);
      const parsed = new Parser(new KaitaiStream(fs.readFileSync(file)));
      const seen = new Set();
      const compare = (name, expected) => {
        if (!instances.includes(name)) return fail(file, `no instance ${name}`);
        seen.add(name);
        const got = parsed[name];
        if (typeof expected === 'string') {
          const want = unshown(expected);
          const have = trimmed(Buffer.from(got));
          if (!want.equals(have)) fail(file, `${name}: ${JSON.stringify(have.toString('latin1'))}, the tool ${JSON.stringify(expected)}`);
        } else if (Array.isArray(expected)) {
          if (JSON.stringify(got) !== JSON.stringify(expected)) fail(file, `${name}: ${JSON.stringify(got)}, the tool ${JSON.stringify(expected)}`);
        } else if (got !== expected) {
          fail(file, `${name}: ${got}, the tool ${expected}`);
        }
      };
      for (const [key, value] of Object.entries(record.values)) {
        const id = camel(snake(key));
        if (Array.isArray(value) && !instances.includes(id)) {
          value.forEach((v, at) => compare(`${id}${at + 1}`, v));
        } else {
          compare(id, value);
        }
      }
      // The analyzer writes no entry at all for an empty list.
      for (const name of instances) {
        const empty = Array.isArray(parsed[name]) && parsed[name].length === 0;
        if (!seen.has(name) && !empty) fail(file, `the tool has no value for ${name}`);
      }
    });
    console.log(`${records.length} blocks, ${instances.length} instances each: ${failures} differences`);
    process.exitCode = failures === 0 ? 0 : 1;
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

main().catch((e) => {
  console.error(e);
  process.exitCode = 1;
});
