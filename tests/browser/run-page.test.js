'use strict';
// Opens the run pages of two real runs (left by the RunPageSample test) in headless chromium and
// checks what a person sees: every picture decodes, every outline lies over its window's place
// on the monitor picture, a click on an outline shows the window's card, captions with markup
// stay text, the filters narrow the cards, and the page of a first run says there was nothing to
// compare with. Prints PASS or FAIL with every failed check; exits non-zero on failure.
//
// Usage: node run-page.test.js <folder holding Morvane/Output> [--screenshot <file.png>]

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
  await page.goto(pathToFileURL(path.join(run.folder, 'Morvane.Run.html')).href, { waitUntil: 'load' });
  return page;
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

  // Each outline sits over its window's place on its monitor's picture.
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
  const onPicturedMonitors = saved.filter((w) =>
    run.record.monitors.some((m) => m.handle === w.monitor && m.picture !== null),
  );
  check(outlines.length === onPicturedMonitors.length, `an outline per saved window (${outlines.length})`);
  for (const outline of outlines) {
    const w = saved[outline.index];
    const m = run.record.monitors.find((monitor) => monitor.handle === outline.monitor);
    const scale = outline.frame.width / outline.naturalWidth;
    check(outline.naturalWidth === m.rect.right - m.rect.left, `monitor picture has the monitor's width`);
    const expected = {
      left: outline.frame.left + (w.rect.left - m.rect.left) * scale,
      top: outline.frame.top + (w.rect.top - m.rect.top) * scale,
      width: (w.rect.right - w.rect.left) * scale,
      height: (w.rect.bottom - w.rect.top) * scale,
    };
    const off = Object.keys(expected).filter((key) => Math.abs(outline.box[key] - expected[key]) > 1);
    check(w.monitor === m.handle && off.length === 0,
      `outline of ${w.handle} at its place (${off.join(', ')}: got ${JSON.stringify(outline.box)}, ` +
        `want ${JSON.stringify(expected)})`);
  }

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
    check(card.parent === (p.parentGone ? `gone (was process ${p.parentProcessId})`
      : `${parentName} (process ${p.parentProcessId})`), `parent of ${w.handle}: ${card.parent}`);
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

async function main() {
  const args = process.argv.slice(2);
  const home = args[0];
  const shotAt = args.indexOf('--screenshot');
  const screenshot = shotAt >= 0 ? path.resolve(args[shotAt + 1]) : null;
  if (!home) {
    console.log('FAIL run page: usage: node run-page.test.js <sample folder> [--screenshot file.png]');
    process.exit(2);
  }
  let puppeteer;
  try {
    puppeteer = require('puppeteer-core');
  } catch (error) {
    console.log(`FAIL run page: puppeteer-core is not installed (npm ci in ${__dirname}): ${error.message}`);
    process.exit(2);
  }
  const runs = readRuns(home);
  check(runs.length === 2, `two sample runs in ${home} (found ${runs.length})`);
  if (runs.length < 2) {
    finish();
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
    await checkFirstRun(browser, runs[0]);
    await checkLatestRun(browser, runs[runs.length - 1], screenshot);
  } finally {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  finish();
}

main().catch((error) => {
  console.log(`FAIL run page: ${error.stack || error}`);
  process.exit(1);
});
