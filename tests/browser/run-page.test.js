'use strict';
// Opens the run pages of two real runs (left by the RunPageSample test) in headless chromium and
// checks what a person sees: every picture decodes, every outline lies over its window's place
// on the monitor picture, a click on an outline shows the window's card, captions with markup
// stay text, the filters narrow the cards, and the page of a first run says there was nothing to
// compare with; a window picture that windows above it cover is marked where they cover it, and
// a picture of one colour says so. With --monitor-map, the page of the one run there (left by the
// ThreeMonitorRun test) shows its three monitors on a map as they sit on the desk, the primary
// marked, and a window across two monitors outlined on both. A picture a watch dropped on purpose
// is not called a failure; menus, tooltips and other short-lived windows wait behind a toggle. A
// page of 50,000 windows shows its first cards a page at a time with counts by kind and by program,
// and the time they took is printed. Prints PASS or FAIL with every
// failed check; exits non-zero on failure.
//
// Usage: node run-page.test.js <folder holding Morvane/Output> [--screenshot <file.png>]
//        node run-page.test.js --monitor-map <folder holding Morvane/Output>

const fs = require('fs');
const os = require('os');
const path = require('path');
const { pathToFileURL } = require('url');

const failures = [];
let checks = 0;
function check(condition, what) {
  checks += 1;
  if (!condition) {
    failures.push(what);
  }
}

function finish() {
  if (failures.length) {
    console.log(`FAIL run page: ${failures.length} of ${checks} checks failed`);
    failures.forEach((failure) => console.log(`  - ${failure}`));
    process.exit(1);
  }
  console.log(`PASS run page: ${checks} checks`);
  process.exit(0);
}

function readRuns(home) {
  const output = path.join(home, 'Morvane', 'Output');
  return fs
    .readdirSync(output)
    .map((name) => {
      const folder = path.join(output, name);
      const record = JSON.parse(fs.readFileSync(path.join(folder, 'Morvane.Run.json'), 'utf8'));
      return { name, folder, record };
    })
    .sort((a, b) => Date.parse(a.record.startedAt) - Date.parse(b.record.startedAt));
}

async function openPage(browser, run, problems) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 900 });
  page.on('console', (message) => {
    if (message.type() === 'error' || /Content.Security.Policy|Refused/i.test(message.text())) {
      problems.push(`console ${message.type()}: ${message.text()}`);
    }
  });
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  page.on('request', (request) => {
    if (!request.url().startsWith('file:')) {
      problems.push(`fetched from outside the folder: ${request.url()}`);
    }
  });
  await page.goto(pathToFileURL(path.join(run.folder, run.page || 'Morvane.Run.html')).href, { waitUntil: 'load' });
  return page;
}

// The run's page beside it with the record changed, so that a case the sample runs cannot make
// is seen as the page shows it.
async function openVariant(browser, run, change, problems) {
  const html = fs.readFileSync(path.join(run.folder, 'Morvane.Run.html'), 'utf8');
  const data = /(<script type="application\/json" id="run-data" nonce="[0-9a-f]+">)([^<]*)(<\/script>)/.exec(html);
  const record = JSON.parse(data[2]);
  change(record);
  const escaped = JSON.stringify(record)
    .replace(/</g, '\\u003c')
    .replace(/>/g, '\\u003e')
    .replace(/&/g, '\\u0026');
  fs.writeFileSync(path.join(run.folder, 'Morvane.Run.variant.html'),
    html.replace(data[0], () => data[1] + escaped + data[3]));
  return openPage(browser, { folder: run.folder, page: 'Morvane.Run.variant.html' }, problems);
}

// A picture that a watch did not write because its window had gone is no failed step: the header
// counts it apart, and its card says which picture and why. A real failure stays a failure.
async function checkDroppedPictures(browser, run) {
  const problems = [];
  const E_ABORT = -2147467260;
  const page = await openVariant(browser, run, (record) => {
    const saved = record.windows.filter((w) => w.outcome === 'saved');
    Object.assign(saved[0], { pictureDropped: 'hidden' });
    saved[0].results.monitor = E_ABORT;
    Object.assign(saved[1], { pictureDropped: 'destroyed' });
    saved[1].results.window = E_ABORT;
    saved[1].results.monitor = E_ABORT;
    saved[2].results.monitor = E_ABORT; // no reason given: a failure
  }, problems);
  const header = await page.$eval('#summary', (element) => element.textContent);
  check(header.includes('3 pictures were not written because the window had gone'),
    `dropped pictures counted: ${header}`);
  check(header.includes('Failed steps: monitor picture 0x80004004 of') && header.split('0x80004004').length === 2,
    `only the picture without a reason failed: ${header}`);
  const notWritten = await page.$$eval('dd.dropped', (list) => list.map((element) => element.textContent));
  check(notWritten.length === 2 && notWritten.includes('monitor picture: the window was hidden') &&
    notWritten.includes('window picture, monitor picture: the window was destroyed'),
  `cards say what was not written: ${notWritten}`);
  check(problems.length === 0, `variant page runs cleanly: ${problems.join('; ')}`);
  await page.close();
  fs.unlinkSync(path.join(run.folder, 'Morvane.Run.variant.html'));
}

// Menus, tooltips and other short-lived windows are saved, but their cards and outlines stay
// hidden behind a toggle that says how many there are; their monitor picture left out on purpose
// is no failure. A record without kinds shows every card and no toggle.
async function checkShortLivedToggle(browser, run) {
  const problems = [];
  const page = await openVariant(browser, run, (record) => {
    const saved = record.windows.filter((w) => w.outcome === 'saved');
    saved.forEach((w, i) => {
      w.kind = i === 0 ? 'menu' : i === 1 ? 'tooltip' : 'window';
      if (i < 2) {
        w.results.monitor = 1;
        w.monitorSkipped = 'kind';
      }
    });
  }, problems);
  const savedCount = run.record.windows.filter((w) => w.outcome === 'saved').length;
  // Cards come a page at a time: a filtered card is not drawn at all, nor its outline.
  const state = () => page.evaluate(() => ({
    boxShown: !document.getElementById('short-lived').hidden,
    text: document.getElementById('short-lived-text').textContent,
    button: document.getElementById('short-lived-toggle').textContent,
    cards: Array.from(document.querySelectorAll('.card')).filter((c) => !c.hidden).map((c) => c.dataset.index),
    outlines: Array.from(document.querySelectorAll('.outline')).filter((o) => !o.hidden).map((o) => o.dataset.index),
    badges: Array.from(document.querySelectorAll('.card')).slice(0, 3)
      .map((c) => Array.from(c.querySelectorAll('.badge.kind')).map((b) => b.textContent).join()),
    header: document.getElementById('summary').textContent,
  }));
  const shortLived = (index) => index === '0' || index === '1';
  const hidden = await state();
  check(hidden.boxShown && hidden.text === '2 menus, tooltips and other short-lived windows hidden.' &&
    hidden.button === 'Show them', `toggle says how many are hidden: ${hidden.text} / ${hidden.button}`);
  check(!hidden.cards.some(shortLived) && hidden.cards.length === savedCount - 2,
    `short-lived cards hidden by default, every other card shown: ${hidden.cards}`);
  check(hidden.outlines.length > 0 && !hidden.outlines.some(shortLived),
    `only the short-lived windows' outlines left out: ${hidden.outlines}`);
  check(!/monitor picture 0x1\b/.test(hidden.header), `a monitor picture left out is no failure: ${hidden.header}`);
  await page.click('#short-lived-toggle');
  const shown = await state();
  check(shown.cards.length === savedCount && shown.outlines.filter(shortLived).length >= 2 &&
    shown.outlines.length > hidden.outlines.length, 'the toggle shows them all, with their outlines');
  check(shown.badges.join('|') === 'menu|tooltip|', `cards name their kind: ${shown.badges}`);
  check(shown.text === '2 menus, tooltips and other short-lived windows shown.' && shown.button === 'Hide them',
    `toggle says they are shown: ${shown.text} / ${shown.button}`);
  await page.click('#short-lived-toggle');
  check(!(await state()).cards.some(shortLived), 'the toggle hides them again');
  check(problems.length === 0, `kind variant runs cleanly: ${problems.join('; ')}`);
  await page.close();

  const plain = await openVariant(browser, run, (record) => {
    record.windows.forEach((w) => { delete w.kind; delete w.monitorSkipped; });
  }, problems);
  check(await plain.$eval('#short-lived', (element) => element.hidden), 'no toggle without short-lived windows');
  check(await visibleCardCount(plain) === savedCount, 'a record without kinds shows every card');
  check(problems.length === 0, `variant without kinds runs cleanly: ${problems.join('; ')}`);
  await plain.close();
  fs.unlinkSync(path.join(run.folder, 'Morvane.Run.variant.html'));
}

// A watch whose disk budget stopped its pictures: the header says from when and why, and the card
// and timeline row of a window left without pictures say why, for either reason.
async function checkDiskBudget(browser, run) {
  for (const [reason, words] of [['maxSize', 'the run folder had reached its limit of 0.4 MiB (--max-size)'],
    ['lowDiskSpace', 'the disk had less than 1 GiB free']]) {
    const problems = [];
    const page = await openVariant(browser, run, (record) => {
      record.watch = { since: record.startedAt, forSeconds: null, running: false, maxSize: 409600,
        bytesWritten: 411000, picturesStoppedAt: '2026-12-07T10:00:00.000+00:00', picturesStopped: reason };
      const last = record.windows.filter((w) => w.outcome === 'saved').pop();
      Object.assign(last, { appearedAt: record.startedAt, caughtBy: 'scan', pictureSource: null,
        picturesStopped: reason, coveredBy: null, pictureColour: null });
      last.results.window = null;
      last.results.monitor = null;
    }, problems);
    const header = await page.$eval('#summary', (element) => element.textContent);
    check(header.includes(`Pictures stopped at 2026-12-07T10:00:00.000+00:00: ${words}.`),
      `the header says when and why pictures stopped (${reason}): ${header}`);
    check(!header.includes('Failed steps'), `pictures left out are no failed step: ${header}`);
    const notes = await page.$$eval('.nothumb', (list) => list.map((element) => element.textContent));
    check(notes.includes(`No window picture: ${words}`), `the card says why it has no picture: ${notes}`);
    const cells = await page.$$eval('#timeline-rows td', (list) => list.map((element) => element.textContent));
    check(cells.includes('none: disk budget'), `the timeline says why (${reason}): ${cells.join(' | ')}`);
    check(problems.length === 0, `variant page runs cleanly: ${problems.join('; ')}`);
    await page.close();
    fs.unlinkSync(path.join(run.folder, 'Morvane.Run.variant.html'));
  }
}

// Where the record has a window's visible frame (the compositor's, on current systems), the
// outlines and the marks of covered parts are drawn at the frame, and the card names it.
async function checkVisibleFrames(browser, run) {
  const problems = [];
  let variant = null;
  const page = await openVariant(browser, run, (record) => {
    record.windows.filter((w) => w.outcome === 'saved').forEach((w) => {
      w.frame = { left: w.rect.left + 7, top: w.rect.top, right: w.rect.right - 7, bottom: w.rect.bottom - 7 };
    });
    variant = record;
  }, problems);
  const saved = variant.windows.filter((w) => w.outcome === 'saved');
  await picturesOf(page);
  await checkOutlines(page, { record: variant }, saved, (w, m) => w.monitor === m.handle);
  await checkPictureNotes(page, { record: variant }, saved);
  const frames = await page.$$eval('dd.frame', (list) => list.map((element) => element.textContent));
  const first = saved[0].frame;
  check(frames.length === saved.length && frames[0] === `${first.left}, ${first.top} \u2013 ${first.right}, ` +
    `${first.bottom} (${first.right - first.left} \u00d7 ${first.bottom - first.top})`,
  `each card names the visible frame: ${frames[0]}`);
  check(problems.length === 0, `frame variant runs cleanly: ${problems.join('; ')}`);
  await page.close();
  fs.unlinkSync(path.join(run.folder, 'Morvane.Run.variant.html'));
}

// A parent that runs but may not be read, and no parent at all (id 0), as the cards say them.
async function checkParentStandings(browser, run) {
  const problems = [];
  const keyOf = (p) => `${p.processId}@${p.startedAt}`;
  let expected = [];
  const page = await openVariant(browser, run, (record) => {
    const byKey = new Map(record.processes.map((p) => [keyOf(p), p]));
    const firsts = [];
    record.windows.filter((w) => w.outcome === 'saved').forEach((w, index) => {
      const p = w.process && byKey.get(keyOf(w.process));
      if (p && !firsts.some((first) => first.p === p)) {
        firsts.push({ p, index });
      }
    });
    const [unreadable, none] = firsts;
    Object.assign(unreadable.p, { parentImagePath: null, parentGone: false, parentUnreadable: true });
    Object.assign(none.p, { parentProcessId: 0, parentImagePath: null, parentGone: false, parentUnreadable: false });
    expected = [[unreadable.index, `unreadable (process ${unreadable.p.parentProcessId})`], [none.index, 'none']];
  }, problems);
  const parents = await page.$$eval('.card', (cards) =>
    cards.map((card) => (card.querySelector('dd.parent') || {}).textContent));
  check(expected.length === 2, 'two processes to change in the sample');
  expected.forEach(([index, text]) => check(parents[index] === text, `parent line "${text}": ${parents[index]}`));
  check(problems.length === 0, `variant page runs cleanly: ${problems.join('; ')}`);
  await page.close();
  fs.unlinkSync(path.join(run.folder, 'Morvane.Run.variant.html'));
}

// A long watch: 50,000 windows (copies of the sample's saved windows with new handles, some of
// them menus and tooltips, each appearing a second after the last). The page shows its first
// cards a page at a time, counts by kind and by program at the top, outlines only the windows of
// the cards shown, and finds a window anywhere in the list; the time to the first cards is
// printed (a figure, not an assertion).
async function checkManyWindows(browser, run) {
  const problems = [];
  const total = 50000;
  let variant = null;
  let needle = null;
  const written = Date.now();
  const page = await openVariant(browser, run, (record) => {
    const originals = record.windows.filter((w) => w.outcome === 'saved');
    const start = Date.parse(record.startedAt);
    for (let i = 0; record.windows.length < total; i += 1) {
      const copy = structuredClone(originals[i % originals.length]);
      copy.handle = `0x${(0x100000 + i).toString(16)}`;
      if (i % 10 === 0) {
        copy.kind = 'menu';
      } else if (i % 25 === 1) {
        copy.kind = 'tooltip';
      }
      Object.assign(copy, { appearedAt: new Date(start + i * 1000).toISOString(), shownForMs: 300,
        caughtBy: 'event', savedAfterMs: 20 });
      record.windows.push(copy);
    }
    needle = record.windows[total - 123];
    needle.caption = 'The needle window';
    record.watch = { since: record.startedAt, running: false };
    variant = record;
  }, problems);
  const drawnAt = await page.evaluate(() => new Promise((resolve) =>
    requestAnimationFrame(() => resolve(performance.now()))));
  const pageMegabytes = fs.statSync(path.join(run.folder, 'Morvane.Run.variant.html')).size / 1048576;
  console.log(`${total} windows: first cards drawn ${Math.round(drawnAt)} ms after the page was asked for ` +
    `(${pageMegabytes.toFixed(1)} MB page; written ${((Date.now() - written) / 1000).toFixed(1)} s before)`);

  const saved = variant.windows.filter((w) => w.outcome === 'saved');
  const header = await page.$eval('#summary', (element) => element.textContent);
  check(header.includes(`${total} windows enumerated: ${saved.length} saved`), `50,000 windows counted: ${header}`);
  const countOf = (names) => names.reduce((counts, name) => counts.set(name, (counts.get(name) || 0) + 1), new Map());
  const kinds = countOf(saved.map((w) => w.kind || 'window'));
  const kindLine = await page.$eval('p.by-kind', (element) => element.textContent);
  check(kinds.size === 3 && [...kinds].every(([kind, count]) => kindLine.includes(`${kind} ${count}`)),
    `counts by kind, a missing kind counted as a window: ${kindLine}`);
  const byKey = new Map(variant.processes.map((p) => [`${p.processId}@${p.startedAt}`, p]));
  const programs = countOf(saved.map((w) => {
    const p = w.process && byKey.get(`${w.process.processId}@${w.process.startedAt}`);
    return p ? p.description || p.product || p.imagePath.split('\\').pop() : w.imagePath.split('\\').pop();
  }));
  const programLine = await page.$eval('p.by-program', (element) => element.textContent);
  check(programs.size >= 1 && [...programs].every(([name, count]) => programLine.includes(`${name} ${count}`)),
    `counts by program: ${programLine}`);

  // Menus and tooltips wait behind their toggle; the paging below is of every window.
  const hiddenNote = await page.$eval('#short-lived-text', (element) => element.textContent);
  const shortLived = saved.filter((w) => w.kind && w.kind !== 'window').length;
  check(hiddenNote.startsWith(`${shortLived} menus`), `the toggle counts the short-lived windows: ${hiddenNote}`);
  await page.click('#short-lived-toggle');
  const shownCards = () => page.$$eval('.card', (cards) => cards.map((card) => ({
    index: Number(card.dataset.index), handle: card.querySelector('dd.handle').textContent })));
  const pagerText = () => page.$eval('#card-pager .where', (element) => element.textContent);
  const first = await shownCards();
  check(first.length === 100 && first.every((card, k) => card.index === k && card.handle === saved[k].handle),
    `the first 100 cards are shown, in order (${first.length})`);
  check(await pagerText() === `1\u2013100 of ${saved.length}`, `the pager says where it is: ${await pagerText()}`);
  const elements = await page.evaluate(() => document.getElementsByTagName('*').length);
  check(elements < 10000, `the page holds what is shown, not every window (${elements} elements)`);
  const outlines = await page.$$eval('.outline', (list) => list.map((outline) => Number(outline.dataset.index)));
  const onPage = saved.slice(0, 100).filter((w) => variant.monitors.some((m) => m.handle === w.monitor)).length;
  check(outlines.length === onPage && outlines.every((index) => index < 100),
    `outlines of the shown cards only (${outlines.length} of ${onPage})`);
  check(!(await page.$eval('.outline-note', (note) => note.hidden)), 'a note says which windows are outlined');
  const timelineRows = await page.$$eval('#timeline-rows tr', (rows) => rows.length);
  check(timelineRows === 100, `the watch's timeline shows a page of rows (${timelineRows})`);
  const listed = await page.$$eval('.program-windows', (lists) =>
    lists.map((list) => list.querySelectorAll('.program-window').length));
  check(listed.length >= 2 && listed.every((count) => count <= 20), `each program lists its first windows: ${listed}`);

  await page.click('#card-pager .next');
  const second = await shownCards();
  check(second.length === 100 && second[0].index === 100 && second[99].handle === saved[199].handle,
    'the next page shows the next 100 cards');
  const moved = await page.$$eval('.outline', (list) => list.map((outline) => Number(outline.dataset.index)));
  check(moved.length > 0 && moved.every((index) => index >= 100 && index < 200), 'the outlines follow the page');

  // A window of the timeline's third page shows its card on the cards' third page.
  await page.click('#timeline-pager .next');
  await page.click('#timeline-pager .next');
  const rowName = await page.$eval('#timeline-rows tr td.text', (cell) => cell.textContent);
  const rowWindow = variant.windows.filter((w) => w.appearedAt)
    .sort((a, b) => Date.parse(a.appearedAt) - Date.parse(b.appearedAt))[200];
  const rowIndex = saved.indexOf(rowWindow);
  check(rowName === `${rowWindow.caption || '(no caption)'} \u2014 ${rowWindow.className}`,
    `the timeline's third page begins with its 201st window: ${rowName}`);
  await page.click('#timeline-rows tr td.text');
  const picked = await page.$eval(`.card[data-index="${rowIndex}"]`, (card) => {
    const box = card.getBoundingClientRect();
    return card.classList.contains('selected') && box.top >= 0 && box.bottom <= window.innerHeight;
  }).catch(() => false);
  check(rowIndex >= 200 && picked, `a click in the timeline shows its card ${rowIndex} on its page`);
  check(await pagerText() === `201\u2013300 of ${saved.length}`, `the cards' pager follows: ${await pagerText()}`);

  // A filter looks through the whole list, and a click on the found window's outline selects its card.
  await page.type('#search', 'needle');
  const found = await shownCards();
  const needleIndex = saved.indexOf(needle);
  check(found.length === 1 && found[0].index === needleIndex && found[0].handle === needle.handle,
    `the search finds the window near the end (${JSON.stringify(found)})`);
  check(await page.$eval('#card-pager', (nav) => nav.hidden), 'no pager for one page');
  await page.click(`.outline[data-index="${needleIndex}"]`);
  check(await page.$eval(`.card[data-index="${needleIndex}"]`, (card) => card.classList.contains('selected')),
    'the found window\'s outline selects its card');
  check(problems.length === 0, `variant page runs cleanly: ${problems.join('; ')}`);
  await page.close();
  fs.unlinkSync(path.join(run.folder, 'Morvane.Run.variant.html'));
}

// Scrolls every picture into view (thumbnails load lazily) and reports its natural size.
function picturesOf(page) {
  return page.evaluate(async () => {
    const settle = (img) =>
      new Promise((resolve) => {
        if (img.complete) {
          resolve();
          return;
        }
        const timer = setTimeout(resolve, 10000);
        const done = () => {
          clearTimeout(timer);
          resolve();
        };
        img.addEventListener('load', done, { once: true });
        img.addEventListener('error', done, { once: true });
      });
    const images = Array.from(document.images);
    for (const img of images) {
      img.scrollIntoView({ block: 'center' });
      await settle(img);
    }
    window.scrollTo(0, 0);
    return images.map((img) => ({
      src: img.getAttribute('src'),
      className: img.className,
      loading: img.getAttribute('loading'),
      naturalWidth: img.naturalWidth,
    }));
  });
}

function visibleCardCount(page) {
  return page.$$eval('.card', (cards) => cards.filter((card) => !card.hidden).length);
}

// What the screen shows of a window: its visible frame where the record has one.
function shownRect(w) {
  return w.frame || w.rect;
}

// Each outline sits over its window's place (its visible frame) on its monitor's picture;
// belongs(w, m) says which monitors outline a window.
async function checkOutlines(page, run, saved, belongs) {
  const outlines = await page.$$eval('.outline', (elements) =>
    elements.map((outline) => {
      const stage = outline.parentElement;
      const picture = stage.querySelector('img.screen');
      const box = outline.getBoundingClientRect();
      const frame = picture.getBoundingClientRect();
      return {
        index: Number(outline.dataset.index),
        monitor: stage.parentElement.dataset.handle,
        box: { left: box.left, top: box.top, width: box.width, height: box.height },
        frame: { left: frame.left, top: frame.top, width: frame.width, height: frame.height },
        naturalWidth: picture.naturalWidth,
        naturalHeight: picture.naturalHeight,
      };
    }),
  );
  const expectedCount = run.record.monitors
    .filter((m) => m.picture !== null)
    .reduce((sum, m) => sum + saved.filter((w) => belongs(w, m)).length, 0);
  check(outlines.length === expectedCount, `an outline per saved window and monitor (${outlines.length})`);
  for (const outline of outlines) {
    const w = saved[outline.index];
    const m = run.record.monitors.find((monitor) => monitor.handle === outline.monitor);
    const scale = outline.frame.width / outline.naturalWidth;
    check(outline.naturalWidth === m.rect.right - m.rect.left, `monitor picture has the monitor's width`);
    const place = shownRect(w);
    const expected = {
      left: outline.frame.left + (place.left - m.rect.left) * scale,
      top: outline.frame.top + (place.top - m.rect.top) * scale,
      width: (place.right - place.left) * scale,
      height: (place.bottom - place.top) * scale,
    };
    const off = Object.keys(expected).filter((key) => Math.abs(outline.box[key] - expected[key]) > 1);
    check(belongs(w, m) && off.length === 0,
      `outline of ${w.handle} at its place (${off.join(', ')}: got ${JSON.stringify(outline.box)}, ` +
        `want ${JSON.stringify(expected)})`);
  }

  return outlines;
}

// A picture that windows above cover is marked where they cover it, with their names; a picture
// of one colour says so.
async function checkPictureNotes(page, run, saved) {
  const byHandle = new Map(run.record.windows.map((w) => [w.handle, w]));
  const notes = await page.$$eval('.card', (cards) =>
    cards.map((card) => {
      const img = card.querySelector('img.thumb');
      const frame = img ? img.getBoundingClientRect() : null;
      return {
        badges: Array.from(card.querySelectorAll('.badge')).map((badge) => badge.textContent),
        frame: frame && { left: frame.left, top: frame.top, width: frame.width, height: frame.height },
        marks: Array.from(card.querySelectorAll('.covered-part')).map((mark) => {
          const box = mark.getBoundingClientRect();
          return { handle: mark.dataset.handle, text: mark.textContent,
            box: { left: box.left, top: box.top, width: box.width, height: box.height } };
        }),
      };
    }),
  );
  let marked = 0;
  saved.forEach((w, index) => {
    const note = notes[index];
    const handles = w.coveredBy ? w.coveredBy.handles : [];
    check(note.marks.length === handles.length, `${w.handle}: a mark per covering window (${note.marks.length})`);
    check(note.badges.includes('covered') === handles.length > 0, `${w.handle}: "covered" badge`);
    for (const mark of note.marks) {
      const above = byHandle.get(mark.handle);
      check(above && mark.text === `covered by ${above.caption || above.className || above.handle}`,
        `${w.handle}: mark names the window above: ${mark.text}`);
      if (!above || !note.frame) {
        continue;
      }
      const place = shownRect(w);
      const cover = shownRect(above);
      const scale = note.frame.width / (place.right - place.left);
      const left = Math.max(cover.left, place.left);
      const top = Math.max(cover.top, place.top);
      const expected = {
        left: note.frame.left + (left - place.left) * scale,
        top: note.frame.top + (top - place.top) * scale,
        width: (Math.min(cover.right, place.right) - left) * scale,
        height: (Math.min(cover.bottom, place.bottom) - top) * scale,
      };
      const off = Object.keys(expected).filter((key) => Math.abs(mark.box[key] - expected[key]) > 1);
      check(off.length === 0, `${w.handle}: mark over the covered part (${off.join(', ')})`);
      marked += 1;
    }
    const colourBadge = w.pictureColour === null ? null
      : w.pictureColour === '#000000' ? 'black picture' : `picture of one colour ${w.pictureColour}`;
    check(colourBadge === null ? !note.badges.some((b) => /picture/.test(b)) : note.badges.includes(colourBadge),
      `${w.handle}: colour badge ${colourBadge}: ${note.badges}`);
  });
  return marked;
}

async function checkLatestRun(browser, run, screenshot) {
  const problems = [];
  const page = await openPage(browser, run, problems);
  const saved = run.record.windows.filter((w) => w.outcome === 'saved');

  const header = await page.$eval('#summary', (element) => element.textContent);
  check(header.includes(`${saved.length} saved`), `header counts ${saved.length} saved windows: ${header}`);
  const newCount = saved.filter((w) => w.newSinceLastRun).length;
  check(newCount >= 2, `the sample has new windows (${newCount})`);
  check(header.includes(`${newCount} new since the last run`), `header counts ${newCount} new windows`);
  check(header.includes(run.record.computerName), 'header names the computer');
  check(header.includes('No step failed.'), 'header says no step failed');
  check((await page.$$('.card')).length === saved.length, 'one card per saved window');

  // Every picture decodes, monitor pictures and thumbnails alike.
  const pictures = await picturesOf(page);
  const thumbs = pictures.filter((p) => p.className === 'thumb');
  check(thumbs.length === saved.filter((w) => w.pictureSource !== null).length, 'a thumbnail per window picture');
  check(pictures.some((p) => p.className === 'screen'), 'a monitor picture is shown');
  pictures.forEach((p) => check(p.naturalWidth > 0, `picture decodes: ${p.src}`));
  thumbs.forEach((p) => check(p.loading === 'lazy', `thumbnail loads lazily: ${p.src}`));

  await checkOutlines(page, run, saved, (w, m) => w.monitor === m.handle);
  await checkPictureNotes(page, run, saved);

  // The lower editor's right corner lies below the notes window, and its card says so.
  const notesWindow = saved.find((w) => w.className === 'SampleNotes');
  const editor = saved.find((w) => w.className === 'SampleEditor' && notesWindow &&
    w.rect.right > notesWindow.rect.left && w.rect.bottom > notesWindow.rect.top);
  check(editor && notesWindow && editor.coveredBy && editor.coveredBy.handles.includes(notesWindow.handle),
    'the record says the notes window covers the new editor');
  check(!notesWindow || (notesWindow.coveredBy && notesWindow.coveredBy.handles.length === 0),
    'nothing covers the notes window');

  // A click on an outline shows that window's card.
  const popupIndex = saved.findIndex((w) => w.className === 'SamplePopup');
  check(popupIndex >= 0, 'the pop-up was saved');
  if (popupIndex >= 0) {
    await page.click(`.outline[data-index="${popupIndex}"]`);
    const shown = await page.$eval(`.card[data-index="${popupIndex}"]`, (card) => {
      const box = card.getBoundingClientRect();
      return {
        selected: card.classList.contains('selected'),
        inView: box.top >= 0 && box.bottom <= window.innerHeight,
        caption: card.querySelector('h3').textContent,
        badges: Array.from(card.querySelectorAll('.badge')).map((badge) => badge.textContent),
      };
    });
    check(shown.selected && shown.inView, 'the clicked window\'s card is selected and in view');
    check(shown.caption === saved[popupIndex].caption, 'the card shows the caption with its line break');
    check(shown.badges.includes('new') && shown.badges.includes('topmost'), `pop-up badges: ${shown.badges}`);
    check(saved[popupIndex].topmost === true && saved[popupIndex].toolWindow === false, 'the pop-up is topmost');
  }
  const toolIndex = saved.findIndex((w) => w.className === 'SampleTool');
  if (toolIndex >= 0) {
    const badges = await page.$$eval(`.card[data-index="${toolIndex}"] .badge`, (b) => b.map((x) => x.textContent));
    check(badges.includes('tool window') && !badges.includes('new'), `tool window badges: ${badges}`);
    check(saved[toolIndex].toolWindow === true && saved[toolIndex].topmost === true, 'the palette is a topmost tool window');
  }

  // A caption with markup shows as its characters and makes nothing.
  const markup = saved.find((w) => w.className === 'SampleMarkup');
  check(markup !== undefined, 'the window with markup in its caption was saved');
  if (markup) {
    const captions = await page.$$eval('.card h3', (headings) => headings.map((h) => h.textContent));
    check(captions.includes(markup.caption), 'the markup caption shows as text');
    const injected = await page.evaluate(() => ({
      bold: document.getElementById('injected') !== null,
      bogusImage: Array.from(document.images).some((img) => img.getAttribute('src') === 'x'),
      ran: window.pwned !== undefined,
      scripts: document.scripts.length,
    }));
    check(!injected.bold && !injected.bogusImage && !injected.ran, `markup made nothing: ${JSON.stringify(injected)}`);
    check(injected.scripts === 2, `only the page's own two script elements (${injected.scripts})`);
  }
  const csp = await page.$eval('meta[http-equiv="Content-Security-Policy"]', (meta) => meta.content);
  check(/script-src 'nonce-[0-9a-f]{32}'/.test(csp) && /default-src 'none'/.test(csp), `CSP: ${csp}`);

  // The filters narrow the cards.
  await page.type('#search', 'offer');
  const offers = saved.filter((w) => `${w.caption}\n${w.className}\n${w.imagePath}`.toLowerCase().includes('offer'));
  check((await visibleCardCount(page)) === offers.length && offers.length === 1, 'search narrows to the pop-up');
  await page.$eval('#search', (input) => {
    input.value = '';
    input.dispatchEvent(new Event('input'));
  });
  check((await visibleCardCount(page)) === saved.length, 'an empty search shows every card');
  const pid = saved[popupIndex >= 0 ? popupIndex : 0].processId;
  await page.select('#process', String(pid));
  const ofProcess = saved.filter((w) => w.processId === pid).length;
  check((await visibleCardCount(page)) === ofProcess && ofProcess < saved.length, `process filter shows ${ofProcess}`);
  await page.select('#process', '');
  await page.click('#only-new');
  check((await visibleCardCount(page)) === newCount, `"new" filter shows ${newCount}`);
  await page.click('#only-new');

  await checkWhoMadeIt(page, run, saved);

  if (screenshot) {
    // Tall enough to show the first row of cards below the monitor.
    await page.setViewport({ width: 1280, height: 1180 });
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.screenshot({ path: screenshot, fullPage: false });
  }
  problems.forEach((problem) => check(false, problem));
  await page.close();
}

// Who made each window: the line on each card, the parent, the start, the command line shortened
// with "show all", and the view by program with its filters. Texts of other programs stay text.
async function checkWhoMadeIt(page, run, saved) {
  const processes = run.record.processes || [];
  const launched = processes.filter((p) => p.company !== null && p.commandLine && p.commandLine.includes('--launched'));
  check(launched.length === 2, `two launched fixture processes in the record (${launched.length})`);
  const byKey = new Map(processes.map((p) => [`${p.processId}@${p.startedAt}`, p]));
  const cards = await page.$$eval('.card', (elements) =>
    elements.map((card) => ({
      who: (card.querySelector('p.who') || {}).textContent,
      badges: Array.from(card.querySelectorAll('.badge')).map((badge) => badge.textContent),
      parent: (card.querySelector('dd.parent') || {}).textContent,
      started: (card.querySelector('dd.started') || {}).textContent,
      command: (card.querySelector('dd.command pre') || {}).textContent,
      showAll: card.querySelector('dd.command .show-all') !== null,
    })),
  );
  saved.forEach((w, index) => {
    const p = w.process && byKey.get(`${w.process.processId}@${w.process.startedAt}`);
    check(p !== undefined, `the record names the process of ${w.handle}`);
    if (!p) {
      return;
    }
    const card = cards[index];
    const program = p.description || p.product || p.imagePath.split('\\').pop();
    check(card.who === program + (p.company ? `, ${p.company}` : ''), `who line of ${w.handle}: ${card.who}`);
    check(card.badges.includes('unsigned') === (p.signature === 'unsigned'), `unsigned badge of ${w.handle}`);
    check(/^started \d+ s before the run$/.test(card.started), `start of ${w.handle}: ${card.started}`);
    const parentName = p.parentImagePath ? p.parentImagePath.split('\\').pop() : '';
    const expectedParent = p.parentProcessId === 0 ? 'none'
      : p.parentGone ? `gone (was process ${p.parentProcessId})`
        : `${parentName || (p.parentUnreadable ? 'unreadable' : '')} (process ${p.parentProcessId})`;
    check(card.parent === expectedParent, `parent of ${w.handle}: ${card.parent}`);
    const long = p.commandLine.length > 240;
    check(card.showAll === long, `"show all" only for a long command line (${w.handle})`);
    check(card.command === (long ? `${p.commandLine.substring(0, 240)}\u2026` : p.commandLine),
      `command line of ${w.handle} shown as text`);
  });
  check(launched.some((p) => p.parentGone) && launched.some((p) => !p.parentGone && p.parentImagePath),
    'one launched fixture has its parent, the other lost it');

  // The whole command line after "show all", in a fixed-width font, wrapped within the card.
  const longIndex = saved.findIndex((w) => w.process && launched.some((p) => p.processId === w.process.processId));
  if (longIndex >= 0) {
    await page.click(`.card[data-index="${longIndex}"] .show-all`);
    const shown = await page.$eval(`.card[data-index="${longIndex}"] dd.command pre`, (pre) => ({
      text: pre.textContent,
      font: getComputedStyle(pre).fontFamily,
      fits: pre.scrollWidth <= pre.clientWidth + 1,
    }));
    const p = byKey.get(`${saved[longIndex].process.processId}@${saved[longIndex].process.startedAt}`);
    check(shown.text === p.commandLine, '"show all" shows the whole command line');
    check(/mono|consolas/i.test(shown.font) && shown.fits, `command line fixed-width and wrapped: ${shown.font}`);
  }
  const injected = await page.evaluate(() => ({
    version: document.getElementById('versionInjected') !== null,
    bogusImage: Array.from(document.images).some((img) => img.getAttribute('src') === 'x'),
    ran: window.pwned !== undefined,
  }));
  check(!injected.version && !injected.bogusImage && !injected.ran,
    `version strings and command lines made nothing: ${JSON.stringify(injected)}`);

  // The view by program: one line per process, narrowed by company and by signature.
  const lines = () => page.$$eval('li.program', (items) =>
    items.filter((item) => !item.hidden).map((item) => item.querySelector('.program-line').textContent));
  const all = await lines();
  check(all.length === processes.length, `one program line per process (${all.length} of ${processes.length})`);
  launched.forEach((p) => {
    const count = saved.filter((w) => w.process && w.process.processId === p.processId).length;
    const expected = `${count} window${count === 1 ? '' : 's'} from ${p.description}, ${p.company}, unsigned`;
    check(all.includes(expected), `program line "${expected}"`);
  });
  await page.select('#signature', 'signed');
  check((await lines()).length === processes.filter((p) => p.signature === 'signed').length, 'signed filter');
  await page.select('#signature', 'unsigned');
  check((await lines()).length === processes.filter((p) => p.signature === 'unsigned').length &&
    processes.some((p) => p.signature === 'unsigned'), 'unsigned filter');
  await page.select('#signature', '');
  const companyValue = await page.$eval('#company', (select, company) =>
    Array.from(select.options).find((option) => option.textContent === company).value, launched[0].company);
  await page.select('#company', companyValue);
  check((await lines()).length === processes.filter((p) => p.company === launched[0].company).length,
    'company filter narrows to the fixture\'s maker');
  await page.select('#company', '');
}

// The signature states a run under Wine does not make: a signature found in a catalog and one
// whose chain is not trusted, on the cards and in the view by program's filter.
async function checkSignatureStates(browser, run) {
  const problems = [];
  let listed = null;
  let untrusted = null;
  let signedCount = 0;
  const page = await openVariant(browser, run, (record) => {
    const launched = record.processes.filter((p) => p.commandLine && p.commandLine.includes('--launched'));
    listed = launched[0];
    untrusted = launched[1];
    Object.assign(listed, { signature: 'signed', signer: 'Catalog <Signer>', signedBy: 'catalog', catalog: 'x.cat',
      signatureResult: 0 });
    Object.assign(untrusted, { signature: 'untrusted', signer: 'Test <Signer>', signedBy: 'file', catalog: null,
      signatureResult: -2146762487 });
    signedCount = record.processes.filter((p) => p.signature === 'signed').length;
  }, problems);
  const cards = await page.$$eval('.card', (elements) => elements.map((card) => ({
    who: (card.querySelector('p.who') || {}).textContent,
    badges: Array.from(card.querySelectorAll('.badge')).map((badge) => badge.textContent),
  })));
  const whoLines = cards.map((card) => card.who);
  const program = (p) => `${p.description}, ${p.company}`;
  check(whoLines.includes(`${program(listed)}, signed by Catalog <Signer> (catalog)`),
    `a catalog signature is named as such: ${whoLines.join(' | ')}`);
  check(cards.some((card) => card.badges.includes('signature not trusted: Test <Signer>')) &&
    !cards.some((card) => card.badges.includes('signature not trusted: Catalog <Signer>')),
  'an untrusted signature is badged with its signer');
  check(whoLines.every((who) => !/signed by Test/.test(who)), 'an untrusted signer is not "signed by"');
  const visible = () => page.$$eval('li.program', (items) => items.filter((item) => !item.hidden).length);
  await page.select('#signature', 'untrusted');
  check(await visible() === 1, 'the "not trusted" filter shows the one untrusted process');
  await page.select('#signature', 'signed');
  check(await visible() === signedCount && signedCount >= 1,
    'the "signed" filter shows the process signed through its catalog');
  check(problems.length === 0, `variant page runs cleanly: ${problems.join('; ')}`);
  await page.close();
  fs.unlinkSync(path.join(run.folder, 'Morvane.Run.variant.html'));
}

async function checkFirstRun(browser, run) {
  const problems = [];
  const page = await openPage(browser, run, problems);
  check(run.record.previousRun === null, 'the first sample run had nothing to compare with');
  const header = await page.$eval('#summary', (element) => element.textContent);
  check(header.includes('There was no earlier run to compare with.'), `first run header: ${header}`);
  check(await page.$eval('#only-new', (box) => box.disabled), '"new" filter is off without an earlier run');
  const badges = await page.$$eval('.badge.new', (b) => b.length);
  check(badges === 0, 'no window is new without an earlier run');
  problems.forEach((problem) => check(false, problem));
  await page.close();
}

// The three-monitor run: a map of the virtual screen, each monitor at its place and size at one
// scale, the primary marked, the window across two monitors outlined on both.
async function checkMonitorMap(browser, run) {
  const problems = [];
  const page = await openPage(browser, run, problems);
  const saved = run.record.windows.filter((w) => w.outcome === 'saved');
  const monitors = run.record.monitors;
  check(monitors.length === 3, `three monitors in the record (${monitors.length})`);
  await picturesOf(page);
  const map = await page.$eval('#monitors', (container) => {
    const box = container.getBoundingClientRect();
    return {
      isMap: container.classList.contains('map'),
      box: { left: box.left, top: box.top, width: box.width, height: box.height },
      figures: Array.from(container.querySelectorAll('figure.monitor')).map((figure) => {
        const picture = figure.querySelector('img.screen').getBoundingClientRect();
        return { handle: figure.dataset.handle, primary: figure.classList.contains('primary'),
          caption: figure.querySelector('figcaption').textContent,
          picture: { left: picture.left, top: picture.top, width: picture.width, height: picture.height } };
      }),
    };
  });
  check(map.isMap, 'several monitors sit on a map');
  const desk = {
    left: Math.min(...monitors.map((m) => m.rect.left)), top: Math.min(...monitors.map((m) => m.rect.top)),
    right: Math.max(...monitors.map((m) => m.rect.right)), bottom: Math.max(...monitors.map((m) => m.rect.bottom)),
  };
  const scale = map.box.width / (desk.right - desk.left);
  check(Math.abs(map.box.height - (desk.bottom - desk.top) * scale) <= 1, 'the map has the virtual screen\'s shape');
  for (const m of monitors) {
    const figure = map.figures.find((f) => f.handle === m.handle);
    check(figure !== undefined, `a figure for ${m.device}`);
    if (!figure) {
      continue;
    }
    const expected = {
      left: map.box.left + (m.rect.left - desk.left) * scale, top: map.box.top + (m.rect.top - desk.top) * scale,
      width: (m.rect.right - m.rect.left) * scale, height: (m.rect.bottom - m.rect.top) * scale,
    };
    const off = Object.keys(expected).filter((key) => Math.abs(figure.picture[key] - expected[key]) > 1);
    check(off.length === 0, `${m.device} at its place and size on the map (${off.join(', ')}: got ` +
      `${JSON.stringify(figure.picture)}, want ${JSON.stringify(expected)})`);
    const primary = (m.flags & 1) !== 0;
    check(figure.primary === primary && figure.caption.includes('(primary)') === primary,
      `${m.device} ${primary ? 'is' : 'is not'} marked primary`);
  }
  const overlaps = (a, b) => a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
  // A window is outlined on every monitor that shows part of its visible frame.
  const outlines = await checkOutlines(page, run, saved, (w, m) => w.monitor === m.handle || overlaps(shownRect(w), m.rect));
  const across = saved.findIndex((w) => w.className === 'MonitorsAcross');
  check(across >= 0, 'the window across two monitors was saved');
  const acrossMonitors = new Set(outlines.filter((o) => o.index === across).map((o) => o.monitor));
  check(acrossMonitors.size === 2, `the window across two monitors is outlined on both (${acrossMonitors.size})`);
  await checkPictureNotes(page, run, saved);
  problems.forEach((problem) => check(false, problem));
  await page.close();
}

async function main() {
  const args = process.argv.slice(2);
  const mapAt = args.indexOf('--monitor-map');
  if (mapAt >= 0) {
    await withBrowser(async (browser) => {
      const runs = readRuns(args[mapAt + 1]);
      check(runs.length === 1, `one three-monitor run (found ${runs.length})`);
      if (runs.length === 1) {
        await checkMonitorMap(browser, runs[0]);
      }
    });
    finish();
  }
  const home = args[0];
  const shotAt = args.indexOf('--screenshot');
  const screenshot = shotAt >= 0 ? path.resolve(args[shotAt + 1]) : null;
  if (!home) {
    console.log('FAIL run page: usage: node run-page.test.js <sample folder> [--screenshot file.png]');
    process.exit(2);
  }
  const runs = readRuns(home);
  check(runs.length === 2, `two sample runs in ${home} (found ${runs.length})`);
  if (runs.length < 2) {
    finish();
  }
  await withBrowser(async (browser) => {
    await checkFirstRun(browser, runs[0]);
    await checkLatestRun(browser, runs[runs.length - 1], screenshot);
    await checkDroppedPictures(browser, runs[runs.length - 1]);
    await checkDiskBudget(browser, runs[runs.length - 1]);
    await checkVisibleFrames(browser, runs[runs.length - 1]);
    await checkSignatureStates(browser, runs[runs.length - 1]);
    await checkParentStandings(browser, runs[runs.length - 1]);
    await checkManyWindows(browser, runs[runs.length - 1]);
    await checkShortLivedToggle(browser, runs[runs.length - 1]);
  });
  finish();
}

async function withBrowser(use) {
  let puppeteer;
  try {
    puppeteer = require('puppeteer-core');
  } catch (error) {
    console.log(`FAIL run page: puppeteer-core is not installed (npm ci in ${__dirname}): ${error.message}`);
    process.exit(2);
  }
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'morvane-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.MORVANE_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      `--user-data-dir=${profile}`,
    ],
  });
  try {
    await use(browser);
  } finally {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.log(`FAIL run page: ${error.stack || error}`);
  process.exit(1);
});
