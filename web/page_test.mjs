// The browser test of the web page, in each of three engines (chromium,
// Firefox, WebKit; see browsers.mjs): the page, opened from the disk, is
// given dumps as a user gives them, through its file chooser, and what it
// shows and offers is compared with what the native program does with the
// same dumps in a folder of their own.  An engine that is not installed, or
// cannot start here, is said and left out; one that starts must pass every
// check.  Prints each failed check, the timings, "ENGINE: N passed, M
// failed" per engine, and exits 1 on any failure or when no engine ran.
// Usage: node page_test.mjs PAGE.html NATIVE_TAMREK IMAGES_DIR [ENGINE...]
// (IMAGES_DIR as page_test_images writes it.)

import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';

import { engines, launch, missing } from './browsers.mjs';

const [pagePath, tool, images] = process.argv.slice(2, 5).map(a => path.resolve(a));
const chosen = process.argv.slice(5);
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tamrek-web-'));
const shiftJis = new TextDecoder('shift_jis');
const image = name => path.join(images, name);
const kEngineLimitMs = 300000;

// The native program's runs, one after another in one folder: each an
// argument list.  The files it leaves, by name.
function native(runs) {
  const dir = fs.mkdtempSync(path.join(scratch, 'native-'));
  const said = runs.map(args => {
    const started = process.hrtime.bigint();
    const r = spawnSync(tool, args, { cwd: dir, timeout: 60000 });
    if (r.error) throw r.error;
    return { status: r.status, out: shiftJis.decode(r.stdout), err: shiftJis.decode(r.stderr),
             ms: Number(process.hrtime.bigint() - started) / 1e6 };
  });
  const files = {};
  for (const name of fs.readdirSync(dir)) files[name] = fs.readFileSync(path.join(dir, name));
  return { said, files };
}
const perDisk = ['A', 'B', 'C', 'D'].map(x => image('Game (Disk ' + x + ').d88'));
const expect = {
  demo: native([[image('demo.d88')]]),
  perDisk: native(perDisk.map((f, d) => ['--disk', String(d), f])),
  twoTries: native([['--disk', '0', image('Disk A, try 1.d88')], ['--disk', '0', image('Disk A, try 2.d88')]]),
  damaged: native([[image('damaged.d88')]]),
  notes: native([[image('notes.txt')]]),
  counts: JSON.parse(fs.readFileSync(image('expected.json'), 'utf8')).damaged,
};
// The page names a dump /in/NAME; the native runs name it by its path.
const asPage = text => text.split(images + '/').join('/in/');

// A zip of `files` ({name: bytes}) under `folder`/, deflated, as a zip tool
// writes one: the page must read any zip, not only its own.
function deflatedZip(files, folder) {
  const parts = [], central = [];
  let offset = 0;
  const crcTable = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
  });
  const crc32 = b => { let c = ~0; for (const x of b) c = crcTable[(c ^ x) & 0xFF] ^ (c >>> 8); return ~c >>> 0; };
  for (const [name, data] of Object.entries(files)) {
    const packed = zlib.deflateRawSync(data), n = Buffer.from(folder + '/' + name);
    const head = Buffer.alloc(26);
    head.writeUInt16LE(20, 0); head.writeUInt16LE(8, 4);
    head.writeUInt32LE(crc32(data), 10); head.writeUInt32LE(packed.length, 14); head.writeUInt32LE(data.length, 18);
    head.writeUInt16LE(n.length, 22);
    const local = Buffer.concat([Buffer.from([0x50, 0x4B, 3, 4]), head, n]);
    const entry = Buffer.alloc(46);
    entry.writeUInt32LE(0x02014B50, 0); entry.writeUInt16LE(20, 4); head.copy(entry, 6);
    entry.writeUInt32LE(offset, 42);
    central.push(Buffer.concat([entry, n]));
    parts.push(local, packed);
    offset += local.length + packed.length;
  }
  const dir = Buffer.concat(central), end = Buffer.alloc(22);
  end.writeUInt32LE(0x06054B50, 0); end.writeUInt16LE(central.length, 8); end.writeUInt16LE(central.length, 10);
  end.writeUInt32LE(dir.length, 12); end.writeUInt32LE(offset, 16);
  return Buffer.concat([...parts, dir, end]);
}

// The checks, in one engine.
async function suite(name, browser, check) {
  const url = 'file://' + pagePath;
  const done = () => browser.run(() => Number(document.body.dataset.done || 0));
  // Waits until the page has settled `n` times, at most `ms`.
  async function settledTo(n, ms = 60000) {
    const until = Date.now() + ms;
    while (await done() < n) {
      if (Date.now() > until) throw new Error('the page did not settle within ' + ms + ' ms');
      await new Promise(r => setTimeout(r, 25));
    }
  }
  async function opened(how) {
    await how();
    await settledTo(1);
    // Errors from here on, and the page's downloads, kept for the checks.
    await browser.run(() => {
      window.testErrors = [];
      window.addEventListener('error', e => window.testErrors.push(String(e.message)));
      window.addEventListener('unhandledrejection', e => window.testErrors.push(String(e.reason)));
      window.testSaved = {};
      const createObjectURL = URL.createObjectURL;
      URL.createObjectURL = blob => { const u = createObjectURL(blob); window.testSaved[u] = blob; return u; };
      HTMLAnchorElement.prototype.click = function () { window.testSaved[this.download] = window.testSaved[this.href]; };
    });
  }
  // Does `act` and waits for the page to settle once more; milliseconds.
  async function acting(act) {
    const before = await done();
    const started = Date.now();
    await act();
    await settledTo(before + 1);
    return Date.now() - started;
  }
  const choose = files => acting(() => browser.choose('#choose', files));
  const click = selector => browser.run(s => document.querySelector(s).click(), selector);
  const readStaged = () => acting(() => click('#read'));
  // Answers the page's question, once it asks.
  async function answer(button) {
    const until = Date.now() + 30000;
    while (!await browser.run(() => document.getElementById('ask').open)) {
      if (Date.now() > until) throw new Error('the page asked nothing');
      await new Promise(r => setTimeout(r, 25));
    }
    await click(button);
  }
  const startAgain = () => acting(async () => {
    await click('#again');
    await answer('#askYes');
  });
  // The folder as the page's zip holds it: {name: Buffer}.
  async function zipped() {
    const base64 = await browser.run(async () => {
      document.getElementById('zip').click();
      const bytes = new Uint8Array(await window.testSaved['tamrek.zip'].arrayBuffer());
      let s = '';
      for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
      return btoa(s);
    });
    const file = path.join(scratch, name + '-' + Date.now() + '.zip');
    fs.writeFileSync(file, Buffer.from(base64, 'base64'));
    const tested = spawnSync('unzip', ['-tq', file]);
    check('the zip passes unzip -t', tested.status === 0, String(tested.stdout));
    const files = {};
    for (const n of spawnSync('unzip', ['-Z1', file]).stdout.toString().split('\n').filter(Boolean)) {
      files[n] = spawnSync('unzip', ['-p', file, n], { maxBuffer: 1 << 24 }).stdout;
    }
    return { file, files };
  }
  const sameFiles = (what, got, want) => {
    const names = Object.keys(want).sort();
    check(what + ': the files are ' + names.length + ', as natively',
          JSON.stringify(Object.keys(got).sort()) === JSON.stringify(names), Object.keys(got).sort().join(' '));
    const differ = names.filter(n => !got[n] || Buffer.compare(got[n], want[n]) !== 0);
    check(what + ': every file equals the native one', differ.length === 0, differ.join(' '));
  };
  // What the page shows: the latest dump's lines, its sentences, the table.
  const shown = () => browser.run(() => {
    const pre = document.querySelector('#dumps details pre');
    const lines = { out: '', err: '' };
    for (const span of pre ? pre.querySelectorAll('span') : []) lines[span.className === 'err' ? 'err' : 'out'] += span.textContent;
    return {
      lines,
      status: document.getElementById('status').textContent,
      summaries: Array.from(document.querySelectorAll('#dumps summary'), s => s.textContent),
      states: Object.fromEntries(Array.from(document.querySelectorAll('#files tr'),
                                            tr => [tr.dataset.name, tr.querySelector('.state').textContent])),
      staged: document.getElementById('staged').hidden ? null
          : Array.from(document.querySelectorAll('#stagedList li'), li => {
            const select = li.querySelector('select');
            return (select ? 'Disk ' + select.value : '') + li.textContent.replace(/^(Disk \d)+/, '');
          }),
      todo: Array.from(document.querySelectorAll('#disks .todo'), p => p.textContent),
      disks: Array.from(document.querySelectorAll('#disks .disk'), d => ({ ...d.dataset })),
      heading: Array.from(document.querySelectorAll('#disks h3'), h => h.textContent),
    };
  });
  const allComplete = states => Object.entries(states).every(([, s]) => s === 'complete') &&
      Object.keys(states).length === 29;

  await opened(() => browser.open(url));

  // 1. A whole set in one file runs at once: the native lines and files.
  const ms = await choose([image('demo.d88')]);
  let page = await shown();
  check('the demo image: its lines', page.lines.out === asPage(expect.demo.said[0].out) && page.lines.err === '',
        JSON.stringify(page.lines).slice(0, 300));
  check('the demo image: its sentence', page.status === 'demo.d88: a good dump: all 29 files complete.', page.status);
  check('the demo image: every file complete', allComplete(page.states), JSON.stringify(page.states));
  check('the demo image: every disk complete',
        page.todo.every(t => t === 'Complete: the folder holds every sector its files need, read cleanly.'), page.todo.join(' | '));
  const demoZip = await zipped();
  sameFiles('the demo image', demoZip.files, expect.demo.files);
  const timings = await browser.run(() => window.tamrekTimings);

  // 2. The folder outlasts a reload; "Start again" asks, and only a yes
  // empties it.
  await opened(() => browser.reload());
  page = await shown();
  check('after a reload: the folder is as it was', allComplete(page.states), JSON.stringify(page.states));
  check('after a reload: it says so', page.status === 'Ready. The folder is as you left it: 29 files.', page.status);
  check('after a reload: the dump is still listed', page.summaries[0] === 'demo.d88: a good dump: all 29 files complete.',
        page.summaries.join(' | '));
  await acting(async () => {
    await click('#again');
    const asked = await browser.run(() => [document.getElementById('ask').open, document.getElementById('askText').textContent]);
    check('"Start again" asks first', asked[0] && /^Empty the page's folder\? Its 29 files are removed/.test(asked[1]), asked[1]);
    await answer('#askNo');
  });
  check('"Keep it" keeps the folder', allComplete((await shown()).states));
  await startAgain();
  page = await shown();
  check('"Empty the folder" empties it', Object.values(page.states).every(s => s === 'not read yet') && !page.states['tamrek.map'],
        JSON.stringify(page.states));
  await opened(() => browser.reload());
  check('after a reload, the folder is still empty', Object.values((await shown()).states).every(s => s === 'not read yet'));

  // 3. A zip brings a folder back: the page's own, and one a zip tool made
  // of the command line's folder (deflated, in a folder, among other files).
  await choose([demoZip.file]);
  page = await shown();
  check('the page\'s zip restores its folder', allComplete(page.states), page.status);
  sameFiles('the page\'s zip restored', (await zipped()).files, expect.demo.files);
  const damagedFolder = native([[image('damaged.d88')]]).files;
  const otherZip = path.join(scratch, 'from the command line.zip');
  fs.writeFileSync(otherZip, deflatedZip({ ...damagedFolder, 'notes.txt': fs.readFileSync(image('notes.txt')) }, 'scenario'));
  await acting(async () => {
    await browser.choose('#choose', [otherZip]);
    await answer('#askYes');
  });
  page = await shown();
  check('a deflated zip restores its folder',
        page.status === 'from the command line.zip: the folder is restored from it: 30 files, 19 of 29 complete; 1 other entry left out.',
        page.status);
  sameFiles('a deflated zip restored', (await zipped()).files, damagedFolder);
  check('a restored map counts sectors to read', page.states.MDAT01 === 'incomplete: 2 sectors to read', page.states.MDAT01);

  // 4. Four files of one disk each, chosen together in no order: put on
  // disks 0 to 3 by their names, then read as `tamrek --disk N FILE`.
  await startAgain();
  await choose([perDisk[2], perDisk[0], perDisk[3], perDisk[1]]);
  page = await shown();
  check('four per-disk files: put on their disks by name', JSON.stringify(page.staged) === JSON.stringify(
      ['Disk 0: Game (Disk A).d88', 'Disk 1: Game (Disk B).d88', 'Disk 2: Game (Disk C).d88', 'Disk 3: Game (Disk D).d88']),
        JSON.stringify(page.staged));
  await readStaged();
  page = await shown();
  sameFiles('four per-disk files', (await zipped()).files, expect.demo.files);
  check('four per-disk files: the last run\'s lines', page.lines.out === asPage(expect.perDisk.said[3].out), page.lines.out.slice(0, 200));
  check('four per-disk files: its sentence',
        page.status === 'Game (Disk D).d88: a good dump of disk 3: all 29 files complete.', page.status);

  // 5. Two dumps of one disk, the second moved to it by hand: they add up.
  await startAgain();
  await choose([image('Disk A, try 2.d88'), image('Disk A, try 1.d88')]);
  page = await shown();
  check('two dumps: put on the first two disks', JSON.stringify(page.staged) ===
        JSON.stringify(['Disk 0: Disk A, try 1.d88', 'Disk 1: Disk A, try 2.d88']), JSON.stringify(page.staged));
  await browser.run(() => {
    const select = document.querySelectorAll('#stagedList select')[1];
    select.value = '0';
    select.dispatchEvent(new Event('change'));
  });
  await readStaged();
  page = await shown();
  const tries = (await zipped()).files;
  sameFiles('two dumps of disk 0', tries, expect.twoTries.files);
  check('two dumps of disk 0: MDAT01 complete', page.states.MDAT01 === 'complete' &&
        Buffer.compare(tries.MDAT01, expect.demo.files.MDAT01) === 0, page.states.MDAT01);
  check('two dumps of disk 0: the lines of the second', page.lines.err === asPage(expect.twoTries.said[1].err), page.lines.err);
  check('two dumps of disk 0: disk 0 complete, disk 1 to dump',
        page.todo[0].startsWith('Complete') && /^Dump this disk: its files need \d+ sectors\.$/.test(page.todo[1]), page.todo.join(' | '));
  // A dump of a disk with the image name of its last dump goes there again.
  await choose([image('Disk A, try 1.d88')]);
  check('a dump goes to the disk whose last dump had its image name',
        JSON.stringify((await shown()).staged) === JSON.stringify(['Disk 0: Disk A, try 1.d88']), JSON.stringify((await shown()).staged));
  await click('#cancel');

  // 6. A damaged dump: its lines, and a picture whose counts are the facts
  // of how the dump was made; what to dump again, in words.
  await startAgain();
  await choose([image('damaged.d88')]);
  page = await shown();
  check('the damaged dump: its lines', page.lines.err === asPage(expect.damaged.said[0].err) &&
        page.lines.out === asPage(expect.damaged.said[0].out), page.lines.err.slice(0, 300));
  check('the damaged dump: its sentence',
        page.status === 'damaged.d88: 13 sectors could not be read; the folder has 19 of 29 files complete.', page.status);
  for (let disk = 0; disk < 4; ++disk) {
    for (const [state, n] of Object.entries(expect.counts[disk])) {
      check('the damaged dump: disk ' + disk + ', ' + state, page.disks[disk] && Number(page.disks[disk][state]) === n,
            'page ' + (page.disks[disk] && page.disks[disk][state]) + ', expected ' + n);
    }
  }
  check('the damaged dump: what to dump again', JSON.stringify(page.todo.slice(0, 3)) === JSON.stringify([
    'To dump again: cylinder 7 head 0: sectors 6, 8.',
    'To dump again: cylinder 37 head 1: sectors 1, 2, 3, 4, 5, 6, 7, 8, 9, 10.',
    'To dump again: cylinder 38 head 1: sector 2.']), JSON.stringify(page.todo));
  check('an image\'s Shift_JIS name is shown as text', page.heading[1].includes('"シナリオ"'), page.heading[1]);

  // 7. Pointing and keys: the readout says the sector, stays on screen, and
  // no canvas moves or changes its size.
  const boxes = () => browser.run(() => ({
    canvases: Array.from(document.querySelectorAll('#disks canvas'), c => {
      const r = c.getBoundingClientRect();
      return [r.left + scrollX, r.top + scrollY, r.width, r.height].map(Math.round).join(',');
    }),
    readout: (r => [r.top, r.bottom, innerHeight])(document.getElementById('readout').getBoundingClientRect()),
    text: document.getElementById('readout').textContent,
  }));
  const at = await browser.run(() => {
    const c = document.querySelector('.disk[data-disk="0"] canvas');
    c.scrollIntoView({ block: 'center' });
    const g = JSON.parse(c.dataset.layout), r = c.getBoundingClientRect();
    return { x: r.left + g.L + 5 * g.cw + g.cw / 2, y: r.top + g.T + 7 * g.ch + g.ch / 2 };
  });
  const before = await boxes();
  await browser.hover(at.x, at.y);
  await new Promise(r => setTimeout(r, 100));
  const hovered = await boxes();
  const errorText = 'Disk 0, cylinder 7, head 0, sector 6: recorded with a read error, status 0xB0, size code 2; a sector of MDAT01, still to be read.';
  check('pointing at a sector says what it is', hovered.text === errorText, hovered.text);
  check('pointing moves no canvas', JSON.stringify(hovered.canvases) === JSON.stringify(before.canvases),
        JSON.stringify([before.canvases, hovered.canvases]));
  check('pointing: the readout is on screen', hovered.readout[0] >= 0 && hovered.readout[1] <= hovered.readout[2] + 0.5,
        JSON.stringify(hovered.readout));
  await browser.run(() => document.querySelector('.disk[data-disk="0"] canvas').focus());
  for (const key of ['ArrowDown', 'ArrowDown', 'ArrowRight']) await browser.press(key);
  const keyed = await boxes();
  // From the sector pointed at, two cylinders down and one sector on.
  check('moving by keys says the sector',
        keyed.text.startsWith('Disk 0, cylinder 9, head 0, sector 7: read cleanly, size code 2;'), keyed.text);
  check('moving by keys moves no canvas', JSON.stringify(keyed.canvases) === JSON.stringify(before.canvases),
        JSON.stringify([before.canvases, keyed.canvases]));
  check('moving by keys: the readout is on screen', keyed.readout[0] >= 0 && keyed.readout[1] <= keyed.readout[2] + 0.5,
        JSON.stringify(keyed.readout));

  // 8. A phone's width: nothing is wider than the window.
  await browser.resize(390, 844);
  await new Promise(r => setTimeout(r, 400));
  const narrow = await browser.run(() => {
    const width = document.documentElement.clientWidth;
    const wide = Array.from(document.querySelectorAll('body *'))
        .filter(e => e.getClientRects().length > 0 && e.getBoundingClientRect().right > width + 0.5)
        .map(e => e.tagName + (e.id ? '#' + e.id : '') + (e.className ? '.' + e.className : ''));
    return { width, scroll: document.documentElement.scrollWidth, wide };
  });
  check('at ' + narrow.width + ' px wide, nothing is wider than the window',
        narrow.wide.length === 0 && narrow.scroll <= narrow.width, JSON.stringify(narrow));
  if (narrow.width > 400) console.log(name + ': the narrowest window it gives is ' + narrow.width + ' px wide');
  await browser.resize(1280, 800);

  // 9. A text file says so and runs nothing.
  await startAgain();
  await choose([image('notes.txt')]);
  page = await shown();
  const reason = /is not a D88 image: (.*)\./.exec(expect.notes.said[0].err);
  check('a text file is said not to be a D88 image, as natively', reason &&
        page.status === 'notes.txt: notes.txt is not a D88 image: ' + reason[1] + '; nothing was read from it.', page.status);
  check('a text file writes nothing', Object.values(page.states).every(s => s === 'not read yet'));

  // 10. No error, and no request beyond the page itself.
  const errors = await browser.run(() => window.testErrors);
  check('no error in the page', errors.length === 0, errors.join(' | '));
  const asked = browser.requests();
  if (asked) {
    const foreign = asked.filter(u => u !== url && !u.startsWith('blob:') && !u.startsWith('data:'));
    check('no request beyond the page', foreign.length === 0, foreign.join(' '));
  }
  const nativeMs = expect.demo.said[0].ms;
  console.log(name + ': the demo image, from its choice to its files and picture shown: ' + ms + ' ms, ' +
              (ms / nativeMs).toFixed(1) + 'x the native run\'s ' + nativeMs.toFixed(0) + ' ms; in the page: ' +
              ['read', 'probe', 'run', 'survey', 'table', 'picture', 'total']
                  .map(k => k + ' ' + (timings[k] || 0).toFixed(0) + ' ms').join(', '));
}

let ran = 0, failedAll = 0;
for (const name of chosen.length > 0 ? chosen : Object.keys(engines)) {
  const why = missing(name);
  if (why) {
    console.log(name + ': not run: ' + why);
    continue;
  }
  let browser;
  try {
    browser = await launch(name);
  } catch (e) {
    console.log(name + ': not run: it could not be started: ' + String(e && e.message || e).split('\n')[0]);
    continue;
  }
  let passed = 0, failed = 0;
  const check = (what, ok, detail = '') => {
    if (ok) { ++passed; return; }
    ++failed;
    console.log(name + ': FAILED: ' + what + (detail ? '\n  ' + detail : ''));
  };
  let timer;
  try {
    await Promise.race([suite(name, browser, check), new Promise((_, reject) => {
      timer = setTimeout(() => reject(new Error('the checks took over ' + kEngineLimitMs / 1000 + ' s')), kEngineLimitMs);
    })]);
  } catch (e) {
    check('the checks ran to the end', false, String(e && e.stack || e));
  } finally {
    clearTimeout(timer);
    await Promise.race([browser.close().catch(() => {}), new Promise(r => setTimeout(r, 10000))]);
  }
  ++ran;
  failedAll += failed;
  console.log(name + ': ' + passed + ' passed, ' + failed + ' failed');
}
console.log('page: ' + fs.statSync(pagePath).size + ' bytes');
fs.rmSync(scratch, { recursive: true, force: true });
if (ran === 0) console.log('no engine ran');
process.exit(ran > 0 && failedAll === 0 ? 0 : 1);
