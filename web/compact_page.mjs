// Writes the web page's source (web/page.html) without what only its reader
// needs: whole-line comments (HTML <!-- -->, CSS /* */, script //), the
// indentation and blank lines.  The shipped page then holds the program and
// the page's code in under 250 KB.  No line is rewritten otherwise, so a
// string or a regular expression is never touched.
// Usage: node compact_page.mjs SOURCE.html OUT.html

import fs from 'node:fs';

const [source, out] = process.argv.slice(2);
const kept = [];
let inComment = null;  // the text that ends the comment we are in
for (const raw of fs.readFileSync(source, 'utf8').split('\n')) {
  const line = raw.trim();
  if (inComment) {
    if (line.includes(inComment)) inComment = null;
    continue;
  }
  if (line === '' || line.startsWith('//')) continue;
  const opened = line.startsWith('<!--') ? '-->' : line.startsWith('/*') ? '*/' : null;
  if (opened) {
    if (!line.endsWith(opened)) inComment = opened;
    continue;
  }
  kept.push(line);
}
fs.writeFileSync(out, kept.join('\n') + '\n');
