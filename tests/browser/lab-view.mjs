// The lab web view in Debian's chromium. Run by lab_web_browser_tests, which
// serves the page at LAB_URL and stops or starts the database when this
// script prints "control: stop-database" / "control: start-database" and
// answers "ok" on standard input.
import { chromium } from 'playwright-core';
import readline from 'node:readline';
import assert from 'node:assert/strict';
import { step, waiter } from './page-steps.mjs';

const url = process.env.LAB_URL;
const shots = process.env.SHOTS_DIR;
const answers = readline.createInterface({ input: process.stdin })[Symbol.asyncIterator]();

async function control(what) {
  console.log('control: ' + what);
  const { value } = await answers.next();
  assert.equal(value, 'ok', what);
}

const waitFor = waiter(5000);

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM_PATH || '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-background-networking', '--disable-component-update',
    '--disable-sync', '--no-first-run', '--disable-dev-shm-usage'],
});
let failed = false;
try {
  const context = await browser.newContext({ viewport: { width: 1200, height: 800 } });
  // Nothing but the server on loopback may be asked for.
  const elsewhere = [];
  await context.route('**/*', (route) => {
    const target = new URL(route.request().url());
    if (target.hostname !== '127.0.0.1') { elsewhere.push(target.href); return route.abort(); }
    return route.continue();
  });
  const page = await context.newPage();
  const problems = [];
  page.on('pageerror', (error) => problems.push(String(error)));
  let loads = 0;
  page.on('load', () => { loads += 1; });
  await page.goto(url);

  step('the page lists both stations, ordered by name');
  await waitFor(page, () => document.querySelectorAll('.card').length === 2);
  const names = await page.$$eval('.card .name', (nodes) => nodes.map((n) => n.textContent));
  assert.deepEqual(names, ['Waga-1', 'Waga-2']);
  await waitFor(page, () => document.getElementById('state').textContent === 'live');
  const values = await page.$$eval('.card .value', (nodes) => nodes.map((n) => n.textContent));
  assert.match(values[0], /^12\.\d{4}g$/);
  assert.match(values[1], /^3\.\d{4}g$/);

  step('cards say stable or unstable, and how many readings are outside the limits');
  // The list of stations may come after the first live readings.
  const marks = (station) => page.evaluate((name) =>
    [...document.querySelectorAll('.card[data-station="' + name + '"] .marks .badge')]
      .map((badge) => badge.textContent).join('|'), station);
  await waitFor(page, () =>
    document.querySelector('.card[data-station="Waga-1"] .badge.outside') !== null);
  assert.equal(await marks('Waga-1'), 'stable|1 outside limits');
  assert.equal(await marks('Waga-2'), 'unstable');

  step('a new reading appears without a reload');
  const lpOf = () => page.$eval('.card[data-station="Waga-2"]', (c) => Number(c.dataset.lp));
  const before = await lpOf();
  await waitFor(page, (lp) =>
    Number(document.querySelector('.card[data-station="Waga-2"]').dataset.lp) > lp, before);
  assert.equal(loads, 1);

  step('screenshot of the page');
  await page.screenshot({ path: shots + '/lab-web-page.png' });

  step('a station\'s series: table, chart, statistics; markup in a description is text');
  await page.click('.card[data-station="Waga-1"]');
  await page.waitForSelector('#readings tbody tr[data-lp="1"]');
  const description = await page.$eval('#readings tbody tr[data-lp="1"] td:nth-child(5)',
    (cell) => ({ text: cell.textContent, elements: cell.children.length }));
  assert.equal(description.text,
    '<script>window.pwned = 1</script><img src=x onerror="window.pwned = 2">');
  assert.equal(description.elements, 0);
  assert.equal(await page.evaluate(() => window.pwned), undefined);
  await page.waitForSelector('#chart canvas');
  await waitFor(page, () =>
    document.querySelector('#statistics tbody tr td').textContent !== '');
  const statistics = await page.$$eval('#statistics tbody tr:not(.limit)', (rows) => rows.length);
  assert.equal(statistics, 11);

  step('the series\' limits: in the statistics, drawn on the chart, the reading outside flagged');
  const limitRows = await page.$$eval('#statistics tbody tr.limit', (rows) =>
    rows.map((row) => row.textContent));
  assert.deepEqual(limitRows, ['Lower limit12.4000', 'Upper limit12.6000']);
  const drawn = await page.evaluate(() => ({
    labels: window.labView.chartSeries(), data: window.labView.chartData(),
  }));
  const lower = drawn.labels.indexOf('Lower limit');
  const upper = drawn.labels.indexOf('Upper limit');
  assert.ok(lower > 0 && upper > 0, drawn.labels.join(', '));
  assert.ok(drawn.data[0].length > 1);
  assert.ok(drawn.data[lower].every((y) => y === 12.4), String(drawn.data[lower]));
  assert.ok(drawn.data[upper].every((y) => y === 12.6), String(drawn.data[upper]));
  const first = await page.$eval('#readings tbody tr[data-lp="1"]', (row) =>
    ({ outside: row.classList.contains('outside'), notes: row.cells[5].textContent }));
  assert.deepEqual(first, { outside: true, notes: 'stable, outside limits' });
  const rows = await page.$$eval('#readings tbody tr', (r) => r.length);
  await waitFor(page, (n) => document.querySelectorAll('#readings tbody tr').length > n, rows);
  await page.screenshot({ path: shots + '/lab-web-station.png' });
  // A smaller one, as the README shows it.
  await page.setViewportSize({ width: 960, height: 620 });
  await page.waitForTimeout(300);
  await page.screenshot({ path: shots + '/lab-web-readme.png' });
  await page.setViewportSize({ width: 1200, height: 800 });

  step('a phone-sized window: nothing wider than the screen');
  const phone = await context.newPage();
  await phone.setViewportSize({ width: 390, height: 844 });
  await phone.goto(url + '#Waga-1');
  await phone.waitForSelector('#chart canvas');
  const overflow = await phone.evaluate(() =>
    document.documentElement.scrollWidth - document.documentElement.clientWidth);
  assert.ok(overflow <= 0, 'wider than the phone by ' + overflow + ' px');
  await phone.screenshot({ path: shots + '/lab-web-phone.png' });
  await phone.close();

  step('the database stopped: the page says reconnecting');
  await page.click('#close');
  await control('stop-database');
  await waitFor(page, () =>
    document.getElementById('state').textContent === 'reconnecting' &&
    document.body.classList.contains('stale'), null, 10000);
  // Nothing still claims to be live.
  assert.equal(await page.$$eval('.card .badge.online', (b) => b.length), 0);
  assert.equal(await page.$$eval('.card .badge.stale', (b) => b.length), 2);
  await page.screenshot({ path: shots + '/lab-web-reconnecting.png' });

  step('the database back: live again, and readings go on');
  await control('start-database');
  await waitFor(page, () => document.getElementById('state').textContent === 'live', null, 15000);
  assert.ok(!(await page.evaluate(() => document.body.classList.contains('stale'))));
  const after = await lpOf();
  await waitFor(page, (lp) =>
    Number(document.querySelector('.card[data-station="Waga-2"]').dataset.lp) > lp, after, 30000);
  assert.equal(loads, 1);

  assert.deepEqual(problems, []);
  assert.deepEqual(elsewhere, []);
  step('all passed');
} catch (error) {
  failed = true;
  console.log('FAILED: ' + (error.stack || error));
} finally {
  await browser.close();
}
process.exit(failed ? 1 : 0);
