// The browser test of the web page: the page, opened from the disk in the
// system's chromium (driven by playwright-core, which downloads no browser),
// is given dumps as a user gives them, and what it shows and offers is
// compared with what the native program does with the same dumps.  Prints
// each failed check, then "N passed, M failed"; exits 1 on any failure.
// Usage: node page_test.mjs PAGE.html NATIVE_TAMREK IMAGES_DIR
// (IMAGES_DIR as page_test_images writes it.)

import { chromium } from 'playwright-core';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

const [pagePath, tool, images] = process.argv.slice(2).map(a => path.resolve(a));
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tamrek-web-'));
const shiftJis = new TextDecoder('shift_jis');
let passed = 0, failed = 0;
function check(what, ok, detail = '') {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    console.log('FAILED: ' + what + (detail ? '\n  ' + detail : ''));
  }
}
const image = name => path.join(images, name);

// The native program's runs on `inputs`, one after another in one folder.
function native(inputs) {
  const dir = fs.mkdtempSync(path.join(scratch, 'native-'));
  const runs = inputs.map(input => {
    const r = spawnSync(tool, [input], { cwd: dir, timeout: 60000 });
    if (r.error) throw r.error;
    return { status: r.status, out: shiftJis.decode(r.stdout), err: shiftJis.decode(r.stderr) };
  });
  return { dir, runs };
}

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const context = await browser.newContext({ acceptDownloads: true });
const requests = [];
context.on('request', r => requests.push(r.url()));
const page = await context.newPage();
const consoleErrors = [];
page.on('console', m => { if (m.type() === 'error') consoleErrors.push(m.text()); });
page.on('pageerror', e => consoleErrors.push(String(e)));
const pageUrl = 'file://' + path.resolve(pagePath);
await page.goto(pageUrl);
await page.waitForFunction(() => document.getElementById('status').textContent === 'Ready.');

// Gives the page `files` through its file chooser, as a user does; waits
// until it has run them all.  Returns the milliseconds it took.
async function give(files) {
  const before = await page.evaluate(() => Number(document.body.dataset.runs || 0));
  const started = Date.now();
  await page.setInputFiles('#choose', files);
  await page.waitForFunction(n => Number(document.body.dataset.runs || 0) >= n,
                             before + files.length, { timeout: 120000 });
  return Date.now() - started;
}
// The lines the page shows of its latest dump: {out, err}.
const said = () => page.evaluate(() => {
  const lines = { out: '', err: '' };
  for (const span of document.querySelector('#dumps section pre').children) {
    lines[span.className === 'err' ? 'err' : 'out'] += span.textContent;
  }
  return lines;
});
// The zip the page offers, saved and listed.
async function downloadZip(name) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#zip')]);
  const file = path.join(scratch, name);
  await download.saveAs(file);
  return file;
}
const startAgain = () => page.click('#again');

// 1. The demo image: the same lines and the same 29 files as natively.
const demo = native([image('demo.d88')]);
const ms = await give([image('demo.d88')]);
let lines = await said();
check('the demo image: the lines of standard output', lines.out === demo.runs[0].out,
      JSON.stringify(lines.out.slice(0, 200)));
check('the demo image: no line on standard error', lines.err === '' && demo.runs[0].err === '', lines.err);
const zipFile = await downloadZip('demo.zip');
const tested = spawnSync('unzip', ['-t', zipFile]);
check('the zip passes unzip -t', tested.status === 0, String(tested.stdout));
const listed = spawnSync('unzip', ['-Z1', zipFile]).stdout.toString().trim().split('\n');
check('the zip holds the 29 files', listed.length === 29, listed.join(' '));
for (const name of fs.readdirSync(demo.dir)) {
  const inZip = spawnSync('unzip', ['-p', zipFile, name], { maxBuffer: 1 << 20 }).stdout;
  check('the zip\'s ' + name + ' is the native one', Buffer.compare(inZip, fs.readFileSync(path.join(demo.dir, name))) === 0);
}
const [one] = await Promise.all([page.waitForEvent('download'), page.click('tr[data-name="LDAT07"] a')]);
const ldat07 = path.join(scratch, 'LDAT07');
await one.saveAs(ldat07);
check('a file downloaded alone is the native one',
      Buffer.compare(fs.readFileSync(ldat07), fs.readFileSync(path.join(demo.dir, 'LDAT07'))) === 0);
const states = await page.$$eval('#files tr td.state', cells => cells.map(c => c.textContent));
check('the 29 files are complete', states.length === 29 && states.every(s => s === 'complete'), states.join(', '));

// 2. A damaged dump: the native lines, and a picture whose counts are the
// facts of how the dump was made.
await startAgain();
const damaged = native([image('damaged.d88')]);
await give([image('damaged.d88')]);
lines = await said();
check('the damaged dump: the lines of standard error', lines.err === damaged.runs[0].err,
      JSON.stringify(lines.err.slice(0, 300)) + ' vs ' + JSON.stringify(damaged.runs[0].err.slice(0, 300)));
check('the damaged dump: the lines of standard output', lines.out === damaged.runs[0].out);
const expected = JSON.parse(fs.readFileSync(image('expected.json'), 'utf8')).damaged;
const counts = await page.$$eval('#disks .disk', disks => disks.map(d => ({ ...d.dataset })));
for (let disk = 0; disk < 4; ++disk) {
  for (const [state, n] of Object.entries(expected[disk])) {
    check('the damaged dump: disk ' + disk + ', ' + state, counts[disk] && Number(counts[disk][state]) === n,
          'page ' + (counts[disk] && counts[disk][state]) + ', expected ' + n);
  }
}
const about = await page.$$eval('#disks .disk[data-disk="0"] [role=gridcell]',
                                cells => cells[14 * 10 + 5].getAttribute('aria-label'));
check('a sector says what it is', /cylinder 7, head 0, sector 6: recorded with a read error, status 0xB0, size code 2; a sector of MDAT01/.test(about || ''), about);

const heading = await page.textContent('#disks .disk[data-disk="1"] h3');
check('an image\'s Shift_JIS name is shown as text', heading.includes('"シナリオ"'), heading);

// 3. Two dumps, each lacking a sector the other has, dropped together.
await startAgain();
const pair = [image('lacks6.d88'), image('lacks8.d88')];
const added = native(pair);
await give(pair);
const pairZip = await downloadZip('pair.zip');
const pairList = spawnSync('unzip', ['-Z1', pairZip]).stdout.toString().trim().split('\n');
check('two partial dumps: 29 files and no map', pairList.length === 29 && !pairList.includes('tamrek.map'), pairList.join(' '));
const mdat01 = spawnSync('unzip', ['-p', pairZip, 'MDAT01']).stdout;
check('two partial dumps: MDAT01 complete, as natively',
      Buffer.compare(mdat01, fs.readFileSync(path.join(added.dir, 'MDAT01'))) === 0 &&
      Buffer.compare(mdat01, fs.readFileSync(path.join(demo.dir, 'MDAT01'))) === 0);
lines = await said();
check('two partial dumps: the second run\'s lines', lines.err === added.runs[1].err, lines.err);

// 4. A text file: the missing-disk lines, and the page goes on.
await startAgain();
const notes = native([image('notes.txt')]);
await give([image('notes.txt')]);
lines = await said();
// The page names the file as /in/NAME, the native run by its path.
check('a text file: the native lines',
      lines.err === notes.runs[0].err.split(image('notes.txt')).join('/in/notes.txt') &&
      /is not a D88 image/.test(lines.err) && /Disk 0 is not in the file\./.test(lines.err),
      lines.err.slice(0, 200));
await give([image('demo.d88')]);
check('after a text file, a good dump', (await said()).out === demo.runs[0].out);

// 5. Nothing but the page itself, and no error.
check('no console error', consoleErrors.length === 0, consoleErrors.join(' | '));
const foreign = requests.filter(u => u !== pageUrl && !u.startsWith('blob:') && !u.startsWith('data:'));
check('no request beyond the page', foreign.length === 0, foreign.join(' '));

console.log('page: ' + fs.statSync(pagePath).size + ' bytes; the demo image, from its choice to its files: ' + ms + ' ms');
console.log(passed + ' passed, ' + failed + ' failed');
await browser.close();
fs.rmSync(scratch, { recursive: true, force: true });
process.exit(failed === 0 ? 0 : 1);
