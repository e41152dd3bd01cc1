// The page side of bench_lab_web_view: opens the lab web view in Debian's
// chromium, notes when each station's card shows each reading (the frame
// after the change), prints "ready", and on "done" on standard input prints
// every "station lp epoch-ms" it saw, then "end".
import { createRequire } from 'node:module';
import readline from 'node:readline';

const require = createRequire(process.env.BROWSER_MODULES + '/');
const { chromium } = require('playwright-core');

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-background-networking', '--disable-component-update',
    '--disable-sync', '--no-first-run', '--disable-dev-shm-usage'],
});
const page = await browser.newPage({ viewport: { width: 1200, height: 800 } });
await page.goto(process.env.LAB_URL);
for (;;) {
  const ready = await page.evaluate(() =>
    document.getElementById('state').textContent === 'live' &&
    document.querySelectorAll('.card').length >= Number(1));
  if (ready) break;
  await new Promise((resolve) => setTimeout(resolve, 50));
}
await page.evaluate(() => {
  window.shown = [];
  const observer = new MutationObserver((records) => {
    const seen = [];
    // Each change of a card's data-lp is one reading shown; the value a
    // record set is the next record's old value, or the current one.
    const byCard = new Map();
    for (const record of records) {
      if (!byCard.has(record.target)) byCard.set(record.target, []);
      byCard.get(record.target).push(record.oldValue);
    }
    for (const [card, olds] of byCard) {
      const values = olds.slice(1).concat([card.dataset.lp]);
      for (const lp of values) seen.push([card.dataset.station, Number(lp)]);
    }
    requestAnimationFrame(() => {
      const at = performance.timeOrigin + performance.now();
      for (const [station, lp] of seen) window.shown.push([station, lp, at]);
    });
  });
  observer.observe(document.getElementById('stations'),
    { subtree: true, attributes: true, attributeFilter: ['data-lp'], attributeOldValue: true });
});
console.log('ready');
const lines = readline.createInterface({ input: process.stdin });
for await (const line of lines) {
  if (line.trim() === 'done') break;
}
const shown = await page.evaluate(() => window.shown);
for (const [station, lp, at] of shown) console.log(station + ' ' + lp + ' ' + at.toFixed(3));
console.log('end');
await browser.close();
process.exit(0);
