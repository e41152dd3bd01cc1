// The lab web view's page: the stations as cards, one station's current
// series as a chart, its statistics and its readings. Every text from the
// database goes in through textContent, never as markup. New readings come
// by WebSocket; while the server or its database is away the page says
// "reconnecting" and dims what it shows.
'use strict';

(function () {
  const el = (id) => document.getElementById(id);
  const stationsBox = el('stations');
  const seriesBox = el('series');
  const stateBox = el('state');

  const stations = new Map(); // name -> station as /api/stations gives it
  const cards = new Map();    // name -> card element
  let open = null;            // the station whose series is shown
  let rows = [];              // its readings, by lp
  let statistics = null;
  let limits = { lower: null, upper: null }; // the open series' limits
  let chart = null;
  let live = false;
  let clockOffset = 0;        // server's clock minus ours, ms
  let silentAfter = 120;
  let socket = null;

  const statisticNames = [
    ['count', 'Readings'], ['max', 'Maximum'], ['min', 'Minimum'], ['mean', 'Mean'],
    ['std_dev', 'Standard deviation'], ['mean_abs_dev', 'Mean deviation'],
    ['sum_sq_dev', 'Sum of squared deviations'], ['variance', 'Variance'],
    ['variance_est', 'Variance estimate'], ['std_dev_est', 'Deviation estimate'], ['sum', 'Sum'],
  ];

  function make(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined && text !== null) node.textContent = String(text);
    return node;
  }

  function timeText(iso) {
    if (!iso) return '';
    const date = new Date(iso);
    return date.toLocaleTimeString([], { hour12: false }) +
      (new Date().toDateString() === date.toDateString() ? '' : ' ' + date.toLocaleDateString());
  }

  // As the program shows masses by default (MasaFormat "#0.0000").
  function valueText(value) {
    return value === null || value === undefined ? '—' : Number(value).toFixed(4);
  }

  // What is known of a reading's stability: nothing for readings stored
  // before it was kept.
  function stabilityText(reading) {
    if (reading.stable === true) return 'stable';
    if (reading.stable === false) return 'unstable';
    return '';
  }

  async function getJson(url) {
    const response = await fetch(url, { cache: 'no-store', credentials: 'same-origin' });
    if (!response.ok) throw new Error(url + ': ' + response.status);
    return response.json();
  }

  function setLive(state) {
    live = state;
    stateBox.textContent = state ? 'live' : 'reconnecting';
    stateBox.className = 'state ' + (state ? 'live' : 'reconnecting');
    document.body.classList.toggle('stale', !state);
    for (const station of stations.values()) renderCard(station);
  }

  // ---- cards ---------------------------------------------------------

  function silentMinutes(station) {
    if (!station.last_seen) return null;
    const quiet = (Date.now() + clockOffset - Date.parse(station.last_seen)) / 1000;
    return quiet < silentAfter ? 0 : Math.floor(quiet / 60);
  }

  function renderCard(station) {
    let card = cards.get(station.station);
    if (!card) {
      card = make('button', 'card');
      card.type = 'button';
      card.addEventListener('click', () => openSeries(station.station));
      cards.set(station.station, card);
      // Ordered by station, as the API lists them.
      const names = [...cards.keys()].sort();
      const after = names[names.indexOf(station.station) + 1];
      stationsBox.insertBefore(card, after ? cards.get(after) : null);
    }
    card.replaceChildren();
    card.dataset.station = station.station;
    const last = station.last;
    const lp = last ? String(last.lp) : '';
    if (card.dataset.lp !== lp) card.dataset.lp = lp;
    card.appendChild(make('div', 'name', station.station));
    const value = make('div', 'value', valueText(last ? last.value : null));
    if (last && last.unit) value.appendChild(make('span', 'unit', last.unit));
    card.appendChild(value);
    const minutes = silentMinutes(station);
    const badges = make('div', 'meta');
    // Without the database nothing here is known to be current.
    if (!live) badges.appendChild(make('span', 'badge stale', 'last known'));
    else if (minutes === 0) badges.appendChild(make('span', 'badge online', 'online'));
    else badges.appendChild(make('span', 'badge silent',
      minutes === null ? 'no readings' : 'silent for ' + minutes + ' min'));
    card.classList.toggle('silent', minutes !== 0);
    if (last) badges.appendChild(make('span', null, timeText(last.taken_at)));
    card.appendChild(badges);
    // The last reading's stability and the series' readings outside its
    // limits.
    const marks = make('div', 'meta marks');
    const stability = last ? stabilityText(last) : '';
    if (stability) marks.appendChild(make('span', 'badge ' + stability, stability));
    const outside = station.outside_limits || 0;
    if (outside > 0) marks.appendChild(make('span', 'badge outside', outside + ' outside limits'));
    if (last && last.outside_limits) card.classList.add('outside');
    else card.classList.remove('outside');
    if (marks.childNodes.length) card.appendChild(marks);
    const series = make('div', 'meta', !station.series ? 'no series'
      : (station.series_started ? 'series since ' + timeText(station.series_started) : 'new series') +
        ' · ' + station.readings + ' readings');
    if (station.series) series.title = 'series ' + station.series;
    card.appendChild(series);
    if (last && last.description) card.appendChild(make('div', 'meta description', last.description));
  }

  async function loadStations() {
    const answer = await getJson('api/stations');
    clockOffset = Date.parse(answer.now) - Date.now();
    silentAfter = answer.silent_after_s || silentAfter;
    el('empty').hidden = answer.stations.length > 0;
    for (const station of answer.stations) {
      stations.set(station.station, station);
      renderCard(station);
    }
  }

  // ---- one station's series ------------------------------------------

  function statisticsRows() {
    const body = el('statistics').tBodies[0];
    body.replaceChildren();
    for (const [key, caption] of statisticNames) {
      const row = make('tr');
      row.appendChild(make('th', null, caption));
      row.appendChild(make('td', null, statistics ? statistics[key] : ''));
      body.appendChild(row);
    }
    for (const [key, caption] of [['lower', 'Lower limit'], ['upper', 'Upper limit']]) {
      const row = make('tr', 'limit');
      row.dataset.limit = key;
      row.appendChild(make('th', null, caption));
      row.appendChild(make('td', null, limits[key] === null ? 'off' : valueText(limits[key])));
      body.appendChild(row);
    }
  }

  function readingRow(reading) {
    const row = make('tr');
    row.dataset.lp = String(reading.lp);
    row.appendChild(make('td', null, reading.lp));
    row.appendChild(make('td', null, valueText(reading.value)));
    row.appendChild(make('td', null, reading.unit || ''));
    row.appendChild(make('td', null, timeText(reading.taken_at)));
    row.appendChild(make('td', null, reading.description || ''));
    const notes = [stabilityText(reading), reading.outside_limits ? 'outside limits' : '']
      .filter((text) => text);
    row.appendChild(make('td', null, notes.join(', ')));
    if (reading.outside_limits) row.className = 'outside';
    return row;
  }

  let chartQueued = false;
  function drawChart() {
    if (chartQueued) return;
    chartQueued = true;
    requestAnimationFrame(() => {
      chartQueued = false;
      if (!open || typeof uPlot === 'undefined') return;
      const points = rows.filter((r) => r.value !== null);
      const xs = points.map((r) => r.lp);
      const ys = points.map((r) => r.value);
      const mean = statistics ? Number(statistics.mean) : NaN;
      const sd = statistics ? Number(statistics.std_dev) : NaN;
      const flat = (v) => xs.map(() => (Number.isFinite(v) ? v : null));
      const data = [xs, ys, flat(mean), flat(mean + sd), flat(mean - sd),
        flat(limits.lower), flat(limits.upper)];
      const box = el('chart');
      const width = Math.max(280, box.clientWidth);
      if (!chart) {
        const unit = points.length ? points[points.length - 1].unit || '' : '';
        chart = new uPlot({
          width, height: 300,
          scales: { x: { time: false } },
          legend: { live: false },
          axes: [{ label: 'Lp' }, { label: unit, size: 70 }],
          series: [
            { label: 'Lp' },
            { label: 'Value', stroke: '#1f5fa8', width: 1.5, points: { show: xs.length < 200 } },
            { label: 'Mean', stroke: '#1f7a3d', dash: [6, 4], width: 1, points: { show: false } },
            { label: 'Mean + s', stroke: '#a15c00', dash: [2, 4], width: 1, points: { show: false } },
            { label: 'Mean − s', stroke: '#a15c00', dash: [2, 4], width: 1, points: { show: false } },
            { label: 'Lower limit', stroke: '#b3261e', width: 1.5, points: { show: false } },
            { label: 'Upper limit', stroke: '#b3261e', width: 1.5, points: { show: false } },
          ],
        }, data, box);
      } else {
        if (chart.width !== width) chart.setSize({ width, height: 300 });
        chart.setData(data);
      }
    });
  }

  function addReadings(readings) {
    const body = el('readings').tBodies[0];
    const last = rows.length ? rows[rows.length - 1].lp : 0;
    for (const reading of readings) {
      if (reading.lp <= last) {
        // A description written later replaces the row.
        const index = rows.findIndex((r) => r.lp === reading.lp);
        if (index >= 0) {
          rows[index] = reading;
          const old = body.querySelector('tr[data-lp="' + reading.lp + '"]');
          if (old) old.replaceWith(readingRow(reading));
        }
        continue;
      }
      rows.push(reading);
      body.insertBefore(readingRow(reading), body.firstChild);
    }
    drawChart();
  }

  let fetching = false;
  let fetchAgain = false;
  // Readings after the last one shown and the statistics of the series.
  async function fetchSeries() {
    if (!open) return;
    if (fetching) { fetchAgain = true; return; }
    fetching = true;
    try {
      do {
        fetchAgain = false;
        const name = open;
        let more = true;
        while (more && name === open) {
          const since = rows.length ? rows[rows.length - 1].lp : 0;
          const page = await getJson('api/stations/' + encodeURIComponent(name) +
            '/readings?since=' + since + '&limit=5000');
          if (name !== open) break;
          if (page.series !== seriesBox.dataset.series) {
            // A new series began: start over.
            seriesBox.dataset.series = page.series || '';
            el('series-name').textContent = page.series ? 'series ' + page.series : 'no series';
            rows = [];
            el('readings').tBodies[0].replaceChildren();
            if (page.readings.length && page.readings[0].lp > 1 && since > 0) continue;
          }
          statistics = page.statistics;
          limits = { lower: page.lower_limit ?? null, upper: page.upper_limit ?? null };
          statisticsRows();
          addReadings(page.readings);
          more = page.more;
        }
      } while (fetchAgain);
    } catch (error) {
      // The socket tells when the database is back; then we ask again.
    } finally {
      fetching = false;
    }
  }

  function openSeries(name) {
    open = name;
    rows = [];
    statistics = null;
    limits = { lower: null, upper: null };
    if (chart) { chart.destroy(); chart = null; }
    el('series-title').textContent = name;
    el('series-name').textContent = '';
    seriesBox.dataset.series = '';
    el('readings').tBodies[0].replaceChildren();
    statisticsRows();
    seriesBox.hidden = false;
    stationsBox.hidden = true;
    history.replaceState(null, '', '#' + encodeURIComponent(name));
    fetchSeries();
  }

  function closeSeries() {
    open = null;
    if (chart) { chart.destroy(); chart = null; }
    seriesBox.hidden = true;
    stationsBox.hidden = false;
    history.replaceState(null, '', location.pathname);
  }

  // ---- live ----------------------------------------------------------

  function onReadings(readings) {
    let forOpen = false;
    for (const reading of readings) {
      let station = stations.get(reading.station);
      if (!station) {
        station = { station: reading.station, series: reading.series, readings: 0, last: null };
        stations.set(reading.station, station);
        el('empty').hidden = true;
      }
      if (!station.last || station.series !== reading.series || reading.lp >= station.last.lp) {
        if (station.series !== reading.series) {
          station.readings = 0;
          station.series_started = null;
        }
        if (station.series !== reading.series) station.outside_limits = 0;
        if (!station.last || reading.lp > station.last.lp || station.series !== reading.series) {
          station.readings = Math.max(station.readings, reading.lp);
          if (reading.outside_limits) station.outside_limits = (station.outside_limits || 0) + 1;
        }
        station.series = reading.series;
        station.last = reading;
        station.last_seen = reading.received_at;
        renderCard(station);
      }
      if (reading.station === open) forOpen = true;
    }
    if (forOpen) fetchSeries();
  }

  async function connect() {
    let session;
    try {
      session = await getJson('api/session');
    } catch (error) {
      setLive(false);
      setTimeout(connect, 1000);
      return;
    }
    const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
    socket = new WebSocket(scheme + '//' + location.host + '/api/live?token=' +
      encodeURIComponent(session.token));
    socket.onmessage = async (event) => {
      const message = JSON.parse(event.data);
      if (message.type === 'database') {
        const wasLive = live;
        setLive(message.state === 'live');
        if (live && !wasLive) {
          try { await loadStations(); } catch (error) { /* the next state says */ }
          fetchSeries();
        }
      } else if (message.type === 'readings') {
        onReadings(message.readings);
      }
    };
    socket.onclose = () => {
      setLive(false);
      setTimeout(connect, 1000);
    };
  }

  // What the chart was given, for tests and for a look from the console.
  window.labView = Object.freeze({
    chartSeries: () => (chart ? chart.series.map((s) => s.label) : []),
    chartData: () => (chart ? chart.data.map((column) => Array.from(column)) : []),
  });

  el('close').addEventListener('click', closeSeries);
  window.addEventListener('resize', drawChart);
  // Silent stations are told by the clock, not by a message.
  setInterval(() => { for (const station of stations.values()) renderCard(station); }, 15000);
  setLive(false);
  stateBox.textContent = 'connecting';
  connect();
  if (location.hash.length > 1) openSeries(decodeURIComponent(location.hash.slice(1)));
})();
