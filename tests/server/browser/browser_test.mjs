// The web pages of zorvan-scores in a real browser: Debian's Chromium, headless, driven by
// puppeteer-core. For each page: no WCAG 2.1 A or AA violation found by axe-core, the skip
// link is the first tab stop and moves focus to the main content, the text reflows at
// 320 CSS pixels (400 % zoom of a 1280 px window), and screenshots at 1280 and 320 px.
//   node browser_test.mjs ZORVAN_SCORES_PROGRAM SCREENSHOT_FOLDER

import { spawn } from 'node:child_process';
import { mkdtempSync, mkdirSync, readFileSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import puppeteer from 'puppeteer-core';

const require = createRequire(import.meta.url);
const axeSource = readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');

const [program, shots] = process.argv.slice(2);
if (!program || !shots) {
  console.error('usage: node browser_test.mjs ZORVAN_SCORES_PROGRAM SCREENSHOT_FOLDER');
  process.exit(2);
}
mkdirSync(shots, { recursive: true });
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';

const failures = [];
const fail = (what) => { failures.push(what); console.log(`FAIL ${what}`); };
const check = (ok, what) => (ok ? console.log(`ok   ${what}`) : fail(what));

// A private server on a free port over a fresh SQLite file.
const folder = mkdtempSync(join(tmpdir(), 'zorvan-browser-'));
const server = spawn(program, ['--db', join(folder, 'scores.db'), '--port', '0', '--quiet'],
                     { stdio: ['ignore', 'pipe', 'inherit'] });
const base = await new Promise((resolve, reject) => {
  let out = '';
  server.stdout.on('data', (d) => {
    out += d;
    const m = out.match(/listening on (\S+):(\d+)/);
    if (m) resolve(`http://${m[1]}:${m[2]}`);
  });
  server.on('exit', (code) => reject(new Error(`zorvan-scores exited with ${code}`)));
  setTimeout(() => reject(new Error('zorvan-scores did not start')), 10000);
});

let browser;
try {
  // Submissions as the game sends them, hostile names among them, on every table.
  const names = ['Ann', 'Bob', '<script>alert(1)</script>', '"Quoted" & \'single\'', 'x:1@;~^[]',
                 'Zoë van der Berg-Longname', 'Caf\u00e9'];
  let trans = 1;
  const submit = async (name, points, digit, level) => {
    const q = new URLSearchParams({ GameName: 'zorvan', UserName: name, UserEmail: 'hidden@example.org',
      UserCountry: 'nl', GameID: '48zr517', TransID: String(trans++), UserScore: `${points}${digit}`,
      UserNameVerify: String(points + 538), GameDifficulty: String(digit), GameLevel: String(level) });
    const r = await fetch(`${base}/update_zelk.php?${q}`);
    if (r.status !== 200) throw new Error(`submission refused: ${r.status}`);
  };
  for (let i = 0; i < 130; ++i) await submit(names[i % names.length] + (i >= names.length ? ` ${i}` : ''), 100000 - i * 37, 9, 1 + (i % 30));
  for (let i = 0; i < 12; ++i) await submit(names[i % names.length], 5000 + i * 11, 8, 3 + i);
  for (let i = 0; i < 3; ++i) await submit(names[i], 700 + i, 7, 2);

  browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           `--user-data-dir=${join(folder, 'profile')}`],
  });

  const pages = [
    ['home', '/'],
    ['table', '/table?difficulty=easy&offset=100'],
    ['player', `/player?name=${encodeURIComponent('Ann')}`],
    ['hostile-player', `/player?name=${encodeURIComponent('<script>alert(1)</script>')}`],
    ['not-found', '/table?difficulty=hard'],
  ];
  for (const [name, path] of pages) {
    const page = await browser.newPage();
    let dialogs = 0;
    page.on('dialog', async (d) => { ++dialogs; await d.dismiss(); });
    await page.setViewport({ width: 1280, height: 900 });
    const reply = await page.goto(base + path, { waitUntil: 'load' });
    check(reply.status() === (name === 'not-found' ? 404 : 200), `${name}: status ${reply.status()}`);

    // The page's own policy forbids scripts; axe is evaluated through the debugger protocol.
    await page.evaluate(axeSource);
    const axe = await page.evaluate(async () => {
      const r = await window.axe.run(document, {
        runOnly: { type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa'] },
      });
      return { violations: r.violations.map((v) => `${v.id}: ${v.help} (${v.nodes.map((n) => n.target.join(' ')).slice(0, 3).join(', ')})`),
               passes: r.passes.length, incomplete: r.incomplete.map((v) => v.id) };
    });
    check(axe.violations.length === 0, `${name}: axe-core finds no WCAG 2.1 A/AA violation (${axe.passes} rules pass)`);
    for (const v of axe.violations) console.log(`     ${v}`);
    if (axe.incomplete.length) console.log(`     to review by hand: ${axe.incomplete.join(', ')}`);

    // Keyboard: the first Tab reaches the skip link, shown on screen; Enter moves focus to main.
    await page.keyboard.press('Tab');
    const first = await page.evaluate(() => {
      const a = document.activeElement;
      const r = a.getBoundingClientRect();
      return { cls: a.className, href: a.getAttribute('href'), text: a.textContent,
               visible: r.top >= 0 && r.bottom <= window.innerHeight && r.width > 0,
               outline: getComputedStyle(a).outlineStyle };
    });
    check(first.cls === 'skip' && first.href === '#main', `${name}: first tab stop is the skip link ("${first.text}")`);
    check(first.visible && first.outline !== 'none', `${name}: the focused skip link is on screen with a focus outline`);
    await page.screenshot({ path: join(shots, `${name}-skip-link-focused.png`) });
    await page.keyboard.press('Enter');
    const focused = await page.evaluate(() => document.activeElement.tagName + '#' + document.activeElement.id);
    check(focused === 'MAIN#main', `${name}: Enter on the skip link moves focus to the main content (${focused})`);
    await page.keyboard.press('Tab');
    const afterMain = await page.evaluate(() => !!document.activeElement.closest('main'));
    check(afterMain, `${name}: the next tab stop lies inside the main content`);

    check(dialogs === 0, `${name}: no script ran from a stored name`);
    await page.screenshot({ path: join(shots, `${name}-1280.png`), fullPage: true });

    // 400 % zoom of a 1280 px window is 320 CSS pixels: no page-wide horizontal scrolling.
    await page.setViewport({ width: 320, height: 640 });
    const widths = await page.evaluate(() => ({ page: document.documentElement.scrollWidth, view: window.innerWidth }));
    check(widths.page <= widths.view, `${name}: reflows at 320 px (content ${widths.page} px wide)`);
    await page.screenshot({ path: join(shots, `${name}-320.png`), fullPage: true });
    await page.close();
  }

  // Paging by keyboard alone: follow the "Next" link of the easy table.
  const page = await browser.newPage();
  await page.goto(base + '/table?difficulty=easy');
  const next = await page.$('a[rel="next"]');
  await next.focus();
  await Promise.all([page.waitForNavigation(), page.keyboard.press('Enter')]);
  check(page.url().endsWith('/table?difficulty=easy&offset=100'), `paging: the Next link leads to places 101 on (${page.url()})`);
  const firstPlace = await page.$eval('tbody tr td', (td) => td.textContent);
  check(firstPlace === '101', `paging: the next page starts at place 101 (${firstPlace})`);
} catch (e) {
  fail(`error: ${e.stack || e}`);
} finally {
  if (browser) await browser.close();
  server.kill('SIGTERM');
  rmSync(folder, { recursive: true, force: true });
}

console.log(failures.length ? `${failures.length} check(s) failed` : 'all checks passed');
process.exit(failures.length ? 1 : 0);
