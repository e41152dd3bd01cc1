// The lab web view in Debian's Firefox ESR, driven by puppeteer-core over
// WebDriver BiDi. Run by lab_web_browser_tests, which serves the page at
// LAB_URL while two stations feed the database.
import puppeteer from 'puppeteer-core';
import assert from 'node:assert/strict';
import { step, waiter } from './page-steps.mjs';

const url = process.env.LAB_URL;
const shots = process.env.SHOTS_DIR;

const waitFor = waiter(10000);

// Nothing but the server on loopback: every other connection goes to a
// proxy on loopback that is not there (no name is looked up), and the
// services that call home are off.
const nowhere = 'http://127.0.0.1:9/';
const prefs = {
  'network.proxy.type': 1,
  'network.proxy.http': '127.0.0.1',
  'network.proxy.http_port': 9,
  'network.proxy.ssl': '127.0.0.1',
  'network.proxy.ssl_port': 9,
  'network.proxy.no_proxies_on': '127.0.0.1',
  'network.proxy.allow_hijacking_localhost': false,
  'network.trr.mode': 5,
  'network.dns.disablePrefetch': true,
  'network.prefetch-next': false,
  'network.predictor.enabled': false,
  'network.captive-portal-service.enabled': false,
  'network.connectivity-service.enabled': false,
  'network.sntp.pools': '127.0.0.1',
  'app.update.auto': false,
  'app.update.enabled': false,
  'app.normandy.enabled': false,
  'browser.ping-centre.telemetry': false,
  'toolkit.telemetry.enabled': false,
  'toolkit.telemetry.unified': false,
  'toolkit.telemetry.server': nowhere,
  'datareporting.healthreport.documentServerURI': nowhere,
  'datareporting.healthreport.uploadEnabled': false,
  'extensions.webservice.discoverURL': nowhere,
  'extensions.blocklist.enabled': false,
  'services.settings.server': nowhere,
  'browser.region.network.url': '',
  'browser.region.update.enabled': false,
  'geo.provider.network.url': '',
  'browser.safebrowsing.provider.mozilla.updateURL': '',
  'browser.newtabpage.activity-stream.feeds.snippets': false,
};

const started = Date.now();
const browser = await puppeteer.launch({
  browser: 'firefox',
  executablePath: process.env.FIREFOX_PATH || '/usr/bin/firefox-esr',
  headless: true,
  extraPrefsFirefox: prefs,
});
let failed = false;
let page = null;
try {
  page = await browser.newPage();
  await page.setViewport({ width: 1200, height: 800 });
  const elsewhere = [];
  page.on('request', (request) => {
    const target = new URL(request.url());
    if (target.protocol.startsWith('http') || target.protocol.startsWith('ws')) {
      if (target.hostname !== '127.0.0.1') elsewhere.push(target.href);
    }
  });
  const problems = [];
  page.on('pageerror', (error) => problems.push(String(error)));
  await page.goto(url);

  step('the page lists both stations, ordered by name');
  await waitFor(page, () => document.querySelectorAll('.card').length === 2);
  const names = await page.$$eval('.card .name', (nodes) => nodes.map((n) => n.textContent));
  assert.deepEqual(names, ['Waga-1', 'Waga-2']);
  await waitFor(page, () => document.getElementById('state').textContent === 'live');
  // The list of stations may come after the first live readings.
  const marks = (station) => page.evaluate((name) =>
    [...document.querySelectorAll('.card[data-station="' + name + '"] .marks .badge')]
      .map((badge) => badge.textContent).join('|'), station);
  await waitFor(page, () =>
    document.querySelector('.card[data-station="Waga-1"] .badge.outside') !== null);
  assert.equal(await marks('Waga-1'), 'stable|1 outside limits');
  assert.equal(await marks('Waga-2'), 'unstable');

  step('a new reading appears without a reload');
  const navigations = [];
  page.on('framenavigated', (frame) => navigations.push(frame.url()));
  const lpOf = () => page.$eval('.card[data-station="Waga-2"]', (c) => Number(c.dataset.lp));
  const before = await lpOf();
  await waitFor(page, (lp) =>
    Number(document.querySelector('.card[data-station="Waga-2"]').dataset.lp) > lp, before);
  assert.deepEqual(navigations, []);

  step('markup in a description is text; the chart has its limit lines');
  await page.click('.card[data-station="Waga-1"]');
  await page.waitForSelector('#readings tbody tr[data-lp="1"]');
  const description = await page.$eval('#readings tbody tr[data-lp="1"] td:nth-child(5)',
    (cell) => ({ text: cell.textContent, elements: cell.children.length }));
  assert.equal(description.text,
    '<script>window.pwned = 1</script><img src=x onerror="window.pwned = 2">');
  assert.equal(description.elements, 0);
  assert.equal(await page.evaluate(() => window.pwned), undefined);
  await page.waitForSelector('#chart canvas');
  await waitFor(page, () => window.labView.chartData().length > 0 &&
    window.labView.chartData()[0].length > 1);
  const drawn = await page.evaluate(() => ({
    labels: window.labView.chartSeries(), data: window.labView.chartData(),
  }));
  assert.ok(drawn.data[drawn.labels.indexOf('Lower limit')].every((y) => y === 12.4));
  assert.ok(drawn.data[drawn.labels.indexOf('Upper limit')].every((y) => y === 12.6));
  await waitFor(page, () =>
    document.querySelector('#statistics tbody tr td').textContent !== '');
  await page.screenshot({ path: shots + '/lab-web-firefox.png' });

  assert.deepEqual(problems, []);
  assert.deepEqual(elsewhere, []);
  step('all passed in ' + (Date.now() - started) + ' ms');
} catch (error) {
  failed = true;
  console.log('FAILED: ' + (error.stack || error));
  try {
    // What the page showed, and what the server says now.
    console.log('page: ' + await page.evaluate(async () =>
      document.getElementById('stations').innerHTML + '\n' +
      await (await fetch('api/stations')).text()));
  } catch (more) { console.log('no page: ' + more); }
} finally {
  await browser.close();
}
process.exit(failed ? 1 : 0);
