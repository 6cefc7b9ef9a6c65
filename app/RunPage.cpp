#include "RunPage.h"

namespace Morvane {
namespace {

// The parts of the page around the record data. Split into pieces under the string literal
// limit of every compiler.
constexpr const char kHead[] = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; img-src 'self' file:; style-src 'nonce-@NONCE@'; script-src 'nonce-@NONCE@'; base-uri 'none'; form-action 'none'">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Morvane run</title>
<style nonce="@NONCE@">
body { font: 14px/1.4 system-ui, sans-serif; margin: 0; color: #1d2330; background: #f3f4f7; }
header, main > section { padding: 12px 20px; }
header { background: #1d2330; color: #f3f4f7; }
header h1 { font-size: 20px; margin: 0 0 6px; }
header p { margin: 2px 0; }
header .bad { color: #ffb4a8; }
h2 { font-size: 16px; margin: 8px 0; }
.monitors { display: flex; flex-wrap: wrap; gap: 16px; }
.monitor { margin: 0; flex: 1 1 560px; max-width: 960px; }
.monitor figcaption { font-size: 12px; color: #555; }
.stage { position: relative; overflow: hidden; background: #c8ccd4; line-height: 0; }
.stage img { width: 100%; height: auto; display: block; }
.outline { position: absolute; box-sizing: border-box; border: 2px solid #ff2d6f; background: rgba(255, 45, 111, 0.08);
  padding: 0; margin: 0; cursor: pointer; }
.outline:hover, .outline.selected { border-color: #ffe600; background: rgba(255, 230, 0, 0.18); }
.outline.new { border-style: dashed; }
.filters { display: flex; flex-wrap: wrap; gap: 12px; align-items: center; position: sticky; top: 0; z-index: 2;
  background: #f3f4f7; border-bottom: 1px solid #d5d8de; }
.filters input[type=search] { width: 280px; padding: 4px 6px; }
.cards { display: grid; grid-template-columns: repeat(auto-fill, minmax(300px, 1fr)); gap: 12px; }
.card { background: #fff; border: 1px solid #d5d8de; border-radius: 6px; padding: 10px; overflow: hidden; }
.card.selected { outline: 3px solid #ffb800; }
.card[hidden] { display: none; }
.thumb { width: 100%; height: 160px; object-fit: contain; background: #e9ebef; display: block; }
.nothumb { height: 160px; background: #e9ebef; color: #777; display: flex; align-items: center; justify-content: center; }
.card h3 { font-size: 14px; margin: 8px 0 4px; white-space: pre-wrap; word-break: break-word; max-height: 7em; overflow: auto; }
.card h3.untitled { font-style: italic; color: #777; }
.card dl { display: grid; grid-template-columns: auto 1fr; gap: 1px 8px; margin: 0; font-size: 12px; }
.card dt { color: #666; }
.card dd { margin: 0; word-break: break-all; }
.badge { display: inline-block; font-size: 11px; border-radius: 3px; padding: 0 5px; margin-right: 4px; color: #fff; }
.badge.new { background: #1a8f3c; } .badge.topmost { background: #5a4fcf; } .badge.tool { background: #777; }
.badge.hung { background: #c0392b; } .badge.failed { background: #e67e22; }
table { border-collapse: collapse; font-size: 12px; background: #fff; }
td, th { border: 1px solid #d5d8de; padding: 2px 6px; text-align: left; vertical-align: top; }
td.text { white-space: pre-wrap; word-break: break-word; max-width: 480px; }
</style>
</head>
<body>
<header id="summary"></header>
<main>
<section><h2>Monitors</h2><div class="monitors" id="monitors"></div></section>
<section class="filters">
<label>Search <input type="search" id="search" placeholder="caption, class or image"></label>
<label>Process <select id="process"><option value="">All processes</option></select></label>
<label><input type="checkbox" id="only-new"> New since last run only</label>
<span id="shown"></span>
</section>
<section><h2>Saved windows</h2><div class="cards" id="cards"></div></section>
<section id="others"></section>
</main>
<script type="application/json" id="run-data">)PAGE";

constexpr const char kScriptPart1[] = R"PAGE(</script>
<script nonce="@NONCE@">
(function () {
  'use strict';
  var run = JSON.parse(document.getElementById('run-data').textContent);
  var windows = run.windows || [];
  var saved = windows.filter(function (w) { return w.outcome === 'saved'; });
  var skipped = windows.filter(function (w) { return w.outcome === 'skipped'; });

  // Every text of the record goes into the page through textContent only.
  function make(tag, className, text) {
    var element = document.createElement(tag);
    if (className) { element.className = className; }
    if (text !== undefined && text !== null) { element.textContent = String(text); }
    return element;
  }
  function add(parent, child) { parent.appendChild(child); return child; }
  function fileUrl(folder, name) {
    return folder.split('/').map(encodeURIComponent).join('/') + '/' + encodeURIComponent(name);
  }
  function imageName(path) {
    var cut = Math.max(path.lastIndexOf('\\'), path.lastIndexOf('/'));
    return cut < 0 ? path : path.substring(cut + 1);
  }
  function rectText(r) {
    return r.left + ', ' + r.top + ' \u2013 ' + r.right + ', ' + r.bottom + ' (' + (r.right - r.left) + ' \u00d7 ' +
      (r.bottom - r.top) + ')';
  }
  function hex(n) { return '0x' + (n >>> 0).toString(16); }
  function failedSteps(w) {
    var failed = [];
    if (w.results) {
      if (w.results.record < 0) { failed.push('text record ' + hex(w.results.record)); }
      if (w.results.window < 0) { failed.push('window picture ' + hex(w.results.window)); }
      if (w.results.monitor < 0) { failed.push('monitor picture ' + hex(w.results.monitor)); }
    }
    return failed;
  }

  // Header: when, where, how many, and what failed.
  var header = document.getElementById('summary');
  document.title = 'Morvane run ' + run.startedAt + ' on ' + run.computerName;
  add(header, make('h1', '', 'Morvane run on ' + run.computerName));
  add(header, make('p', '', 'Started ' + run.startedAt + ', ended ' + run.endedAt + '. Output: ' + run.outputDirectory));
  var reasons = {};
  skipped.forEach(function (w) { reasons[w.skipReason] = (reasons[w.skipReason] || 0) + 1; });
  var reasonText = Object.keys(reasons).sort().map(function (k) { return k + ' ' + reasons[k]; }).join(', ');
  add(header, make('p', 'counts', windows.length + ' windows enumerated: ' + saved.length + ' saved, ' +
    skipped.length + ' skipped' + (reasonText ? ' (' + reasonText + ')' : '') + '.'));
  var newCount = saved.filter(function (w) { return w.newSinceLastRun; }).length;
  var gone = run.goneSinceLastRun || [];
  var goneCount = gone.reduce(function (sum, g) { return sum + g.count; }, 0);
  add(header, make('p', 'history', run.previousRun === null
    ? 'There was no earlier run to compare with.'
    : newCount + ' new since the last run (' + run.previousRun + '), ' + goneCount + ' gone.'));
  var failures = [];
  saved.forEach(function (w) {
    failedSteps(w).forEach(function (step) { failures.push(step + ' of ' + w.handle); });
  });
  add(header, make('p', failures.length ? 'bad failures' : 'failures',
    failures.length ? 'Failed steps: ' + failures.join('; ') + '.' : 'No step failed.'));

  var cards = [];
  var outlines = [];
  function select(index) {
    cards.forEach(function (card, i) { card.classList.toggle('selected', i === index); });
    outlines.forEach(function (o) { o.element.classList.toggle('selected', o.index === index); });
  }
  function showCard(index) {
    if (cards[index].hidden) { clearFilters(); }
    select(index);
    cards[index].scrollIntoView({ block: 'center' });
  }
)PAGE";

constexpr const char kScriptPart2[] = R"PAGE(
  // Each monitor's picture with the outline of every saved window on it; the topmost window's
  // outline comes last so that it lies on top.
  var monitorsElement = document.getElementById('monitors');
  (run.monitors || []).forEach(function (m) {
    var figure = add(monitorsElement, make('figure', 'monitor'));
    figure.dataset.handle = m.handle;
    var stage = add(figure, make('div', 'stage'));
    var width = m.rect.right - m.rect.left;
    var height = m.rect.bottom - m.rect.top;
    if (m.picture) {
      var picture = add(stage, make('img', 'screen'));
      picture.alt = 'Monitor ' + m.device;
      picture.src = fileUrl(m.picture.substring(0, m.picture.lastIndexOf('/')), 'Morvane.DisplayMonitor.jpg');
    } else {
      stage.style.aspectRatio = width + ' / ' + height;
    }
    for (var i = saved.length - 1; i >= 0; --i) {
      var w = saved[i];
      if (w.monitor !== m.handle) { continue; }
      var outline = add(stage, make('button', 'outline' + (w.newSinceLastRun ? ' new' : '')));
      outline.type = 'button';
      outline.title = (w.caption || '(no caption)') + ' \u2014 ' + w.className;
      outline.dataset.index = String(i);
      outline.style.left = ((w.rect.left - m.rect.left) * 100 / width) + '%';
      outline.style.top = ((w.rect.top - m.rect.top) * 100 / height) + '%';
      outline.style.width = ((w.rect.right - w.rect.left) * 100 / width) + '%';
      outline.style.height = ((w.rect.bottom - w.rect.top) * 100 / height) + '%';
      outline.addEventListener('click', showCard.bind(null, i));
      outlines.push({ element: outline, index: i });
    }
    add(figure, make('figcaption', '', m.device + ' ' + rectText(m.rect)));
  });

  // One card per saved window.
  var cardsElement = document.getElementById('cards');
  saved.forEach(function (w, index) {
    var card = add(cardsElement, make('article', 'card'));
    card.dataset.index = String(index);
    if (w.pictureSource !== null && w.results && w.results.window >= 0) {
      var thumb = add(card, make('img', 'thumb'));
      thumb.loading = 'lazy';
      thumb.alt = 'Window picture';
      thumb.src = fileUrl(w.folder, 'Morvane.Window.jpg');
    } else {
      add(card, make('div', 'nothumb', 'No window picture'));
    }
    var badges = add(card, make('div', 'badges'));
    if (w.newSinceLastRun) { add(badges, make('span', 'badge new', 'new')); }
    if (w.exStyle & 0x8) { add(badges, make('span', 'badge topmost', 'topmost')); }
    if (w.exStyle & 0x80) { add(badges, make('span', 'badge tool', 'tool window')); }
    if (w.hung) { add(badges, make('span', 'badge hung', 'hung')); }
    if (failedSteps(w).length) { add(badges, make('span', 'badge failed', 'failed step')); }
    add(card, make('h3', w.caption ? 'caption' : 'caption untitled', w.caption || '(no caption)'));
    var facts = add(card, make('dl'));
    [['Class', w.className], ['Image', w.imagePath], ['Process', w.processId + ', thread ' + w.threadId],
      ['Handle', w.handle], ['Zone', w.zone], ['Rectangle', rectText(w.rect)],
      ['Picture', w.pictureSource || 'none'], ['Folder', w.folder]].forEach(function (fact) {
      add(facts, make('dt', '', fact[0]));
      add(facts, make('dd', fact[0].toLowerCase(), fact[1]));
    });
    var failed = failedSteps(w);
    if (failed.length) { add(facts, make('dt', '', 'Failed')); add(facts, make('dd', 'failed', failed.join(', '))); }
    card.addEventListener('click', function () { select(index); });
    cards.push(card);
  });
)PAGE";

constexpr const char kScriptPart3[] = R"PAGE(
  // Filters: text over caption, class and image; one process; new windows only.
  var search = document.getElementById('search');
  var process = document.getElementById('process');
  var onlyNew = document.getElementById('only-new');
  var shown = document.getElementById('shown');
  var processes = {};
  saved.forEach(function (w) { processes[w.processId] = imageName(w.imagePath); });
  Object.keys(processes).map(Number).sort(function (a, b) { return a - b; }).forEach(function (pid) {
    var option = add(process, make('option', '', pid + ' ' + processes[pid]));
    option.value = String(pid);
  });
  onlyNew.disabled = run.previousRun === null;
  function applyFilters() {
    var words = search.value.toLowerCase();
    var pid = process.value;
    var count = 0;
    saved.forEach(function (w, index) {
      var text = (w.caption + '\n' + w.className + '\n' + w.imagePath).toLowerCase();
      var visible = (!words || text.indexOf(words) >= 0) && (!pid || String(w.processId) === pid) &&
        (!onlyNew.checked || w.newSinceLastRun);
      cards[index].hidden = !visible;
      if (visible) { ++count; }
    });
    shown.textContent = 'Showing ' + count + ' of ' + saved.length + ' saved windows';
  }
  function clearFilters() {
    search.value = '';
    process.value = '';
    onlyNew.checked = false;
    applyFilters();
  }
  search.addEventListener('input', applyFilters);
  process.addEventListener('change', applyFilters);
  onlyNew.addEventListener('change', applyFilters);
  applyFilters();

  // Gone and skipped windows, folded away.
  var others = document.getElementById('others');
  function table(title, columns, rows) {
    var details = add(others, make('details'));
    add(details, make('summary', '', title));
    var grid = add(details, make('table'));
    var head = add(grid, make('tr'));
    columns.forEach(function (c) { add(head, make('th', '', c)); });
    rows.forEach(function (row) {
      var line = add(grid, make('tr'));
      row.forEach(function (cell) { add(line, make('td', 'text', cell)); });
    });
  }
  if (run.previousRun !== null) {
    table('Gone since the last run (' + goneCount + ')', ['Image', 'Class', 'Caption', 'Count'],
      gone.map(function (g) { return [g.imagePath, g.className, g.caption, g.count]; }));
  }
  table('Skipped windows (' + skipped.length + ')', ['Handle', 'Reason', 'Process', 'Class', 'Caption', 'Image'],
    skipped.map(function (w) { return [w.handle, w.skipReason, w.processId, w.className, w.caption, w.imagePath]; }));
})();
</script>
</body>
</html>
)PAGE";

void AppendWithNonce(std::string& page, std::string_view part, std::string_view nonce)
{
    constexpr std::string_view kMark = "@NONCE@";
    size_t start = 0;
    for (size_t mark = part.find(kMark); mark != std::string_view::npos; mark = part.find(kMark, start)) {
        page.append(part.substr(start, mark - start));
        page.append(nonce);
        start = mark + kMark.size();
    }
    page.append(part.substr(start));
}

} // namespace

std::string EscapeJsonForScript(std::string_view json)
{
    std::string escaped;
    escaped.reserve(json.size() + json.size() / 16);
    for (const char character : json) {
        switch (character) {
        case '<':
            escaped += "\\u003c";
            break;
        case '>':
            escaped += "\\u003e";
            break;
        case '&':
            escaped += "\\u0026";
            break;
        default:
            escaped += character;
            break;
        }
    }
    return escaped;
}

std::string MakeRunPage(std::string_view recordJson, std::string_view nonce)
{
    std::string page;
    page.reserve(recordJson.size() + 24000);
    AppendWithNonce(page, kHead, nonce);
    page += EscapeJsonForScript(recordJson);
    AppendWithNonce(page, kScriptPart1, nonce);
    page += kScriptPart2;
    page += kScriptPart3;
    return page;
}

} // namespace Morvane
