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
  // E_ABORT where the watch says why: the window had gone or moved right after the capture, so the
  // picture was not written on purpose. That is no failure.
  var E_ABORT = -2147467260;
  function dropped(w, result) {
    return w.pictureDropped !== undefined && w.pictureDropped !== null && result === E_ABORT;
  }
  function failedSteps(w) {
    var failed = [];
    if (w.results) {
      if (w.results.record < 0) { failed.push('text record ' + hex(w.results.record)); }
      if (w.results.window < 0 && !dropped(w, w.results.window)) {
        failed.push('window picture ' + hex(w.results.window));
      }
      if (w.results.monitor < 0 && !dropped(w, w.results.monitor)) {
        failed.push('monitor picture ' + hex(w.results.monitor));
      }
    }
    return failed;
  }
  function droppedPictures(w) {
    var pictures = [];
    if (w.results) {
      if (dropped(w, w.results.window)) { pictures.push('window picture'); }
      if (dropped(w, w.results.monitor)) { pictures.push('monitor picture'); }
    }
    return pictures;
  }

  // Why a watch wrote no more pictures: its disk budget.
  function budgetText(stop) {
    return stop === 'maxSize' ? 'the run folder had reached its limit of ' +
      (run.watch.maxSize / 1048576).toFixed(1) + ' MiB (--max-size)'
      : 'the disk had less than 1 GiB free';
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
  // A long watch may fail many steps: the header names the first few and counts the rest.
  var kNamedFailures = 20;
  var namedFailures = failures.slice(0, kNamedFailures).join('; ') +
    (failures.length > kNamedFailures ? '; and ' + (failures.length - kNamedFailures) + ' more' : '');
  add(header, make('p', failures.length ? 'bad failures' : 'failures',
    failures.length ? 'Failed steps: ' + namedFailures + '.' : 'No step failed.'));
  var droppedCount = saved.reduce(function (sum, w) { return sum + droppedPictures(w).length; }, 0);
  if (droppedCount) {
    add(header, make('p', 'dropped', droppedCount + ' picture' + (droppedCount === 1 ? ' was' : 's were') +
      ' not written because the window had gone, was hidden or had moved right after its capture.'));
  }

  // Who made each window, found once for all: a run of a long watch holds tens of thousands.
  var runProcesses = run.processes || [];
  var processByKey = {};
  runProcesses.forEach(function (p) { processByKey[p.processId + '@' + p.startedAt] = p; });
  function processOf(w) {
    return w.process ? processByKey[w.process.processId + '@' + w.process.startedAt] : undefined;
  }
  function programName(p) { return p.description || p.product || imageName(p.imagePath) || 'an unknown program'; }
  var savedProcesses = saved.map(processOf);

  // Counts of the saved windows by program and by kind, the most frequent first. A record made
  // before windows had a kind holds only ordinary windows.
  function kindOf(w) { return w.kind || 'window'; }
  function countsText(names, shownAtMost) {
    var counts = {};
    names.forEach(function (name) { counts[name] = (counts[name] || 0) + 1; });
    var order = Object.keys(counts).sort(function (a, b) { return counts[b] - counts[a] || (a < b ? -1 : a > b ? 1 : 0); });
    var text = order.slice(0, shownAtMost).map(function (name) { return name + ' ' + counts[name]; }).join(', ');
    return text + (order.length > shownAtMost ? ' and ' + (order.length - shownAtMost) + ' more' : '');
  }
  var kCountedPrograms = 12;
  if (saved.length) {
    add(header, make('p', 'by-kind', 'Saved windows by kind: ' + countsText(saved.map(kindOf), Infinity) + '.'));
    add(header, make('p', 'by-program', 'Saved windows by program: ' + countsText(saved.map(function (w, index) {
      var p = savedProcesses[index];
      return p ? programName(p) : imageName(w.imagePath) || 'an unknown program';
    }), kCountedPrograms) + '.'));
  }

  // Lists of any length are shown a page at a time, so that what the page costs is what is on
  // screen: a pager holds the items (indexes) and draws the current page's slice.
  var kPageSize = 100;
  function makePager(nav, draw) {
    var previous = add(nav, make('button', 'previous', 'Previous'));
    var where = add(nav, make('span', 'where'));
    var next = add(nav, make('button', 'next', 'Next'));
    previous.type = 'button';
    next.type = 'button';
    var pager = { items: null, page: -1 };
    pager.pageOf = function (position) { return Math.floor(position / kPageSize); };
    pager.show = function (items, page) {
      var last = Math.max(0, Math.ceil(items.length / kPageSize) - 1);
      page = Math.min(Math.max(page, 0), last);
      if (items === pager.items && page === pager.page) { return; }
      pager.items = items;
      pager.page = page;
      var first = page * kPageSize;
      var slice = items.slice(first, first + kPageSize);
      where.textContent = items.length ? (first + 1) + '\u2013' + (first + slice.length) + ' of ' + items.length : 'none';
      previous.disabled = page === 0;
      next.disabled = page === last;
      nav.hidden = last === 0;
      draw(slice);
    };
    previous.addEventListener('click', function () { pager.show(pager.items, pager.page - 1); });
    next.addEventListener('click', function () { pager.show(pager.items, pager.page + 1); });
    return pager;
  }

  // Cards are made when first shown and kept for a return to their page.
  var cards = {};
  var outlines = [];
  var selected = -1;
  function select(index) {
    selected = index;
    Array.prototype.forEach.call(cardsElement.children, function (card) {
      card.classList.toggle('selected', Number(card.dataset.index) === index);
    });
    outlines.forEach(function (o) { o.element.classList.toggle('selected', o.index === index); });
  }
  function showCard(index) {
    var position = cardPager.items.indexOf(index);
    if (position < 0) {
      if (shortLived(saved[index])) { showShortLived = true; }
      clearFilters();
      position = cardPager.items.indexOf(index);
    }
    cardPager.show(cardPager.items, cardPager.pageOf(position));
    select(index);
    cardFor(index).scrollIntoView({ block: 'center' });
  }

  // What the screen shows of a window: its visible frame where the record has one (the window
  // rectangle holds invisible borders there), else its rectangle.
  function shownRect(w) { return w.frame || w.rect; }
  function overlaps(a, b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
  }
  // Several monitors sit on a map of the virtual screen as they sit on the desk, each at its
  // place and size; one monitor fills the width as it always did.
  var monitorList = run.monitors || [];
  var desk = monitorList.reduce(function (box, m) {
    return { left: Math.min(box.left, m.rect.left), top: Math.min(box.top, m.rect.top),
      right: Math.max(box.right, m.rect.right), bottom: Math.max(box.bottom, m.rect.bottom) };
  }, { left: Infinity, top: Infinity, right: -Infinity, bottom: -Infinity });
  var deskWidth = desk.right - desk.left;
  var deskHeight = desk.bottom - desk.top;
  var onMap = monitorList.length > 1;

  // Each monitor's picture, on which the windows of the cards shown are outlined (below).
  var monitorsElement = document.getElementById('monitors');
  if (onMap) {
    monitorsElement.classList.add('map');
    monitorsElement.style.aspectRatio = deskWidth + ' / ' + deskHeight;
  }
  var stages = [];
  monitorList.forEach(function (m) {
    // The primary is marked only among several.
    var primary = onMap && (m.flags & 1) !== 0;
    var figure = add(monitorsElement, make('figure', 'monitor' + (primary ? ' primary' : '')));
    figure.dataset.handle = m.handle;
    if (onMap) {
      figure.style.left = ((m.rect.left - desk.left) * 100 / deskWidth) + '%';
      figure.style.top = ((m.rect.top - desk.top) * 100 / deskHeight) + '%';
      figure.style.width = ((m.rect.right - m.rect.left) * 100 / deskWidth) + '%';
    }
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
    stages.push({ monitor: m, stage: stage });
    add(figure, make('figcaption', '', m.device + (primary ? ' (primary) ' : ' ') + rectText(m.rect) +
      (m.dpi ? ', ' + m.dpi + ' DPI' : '')));
  });

  // The outline of each window whose card is on the current page, on every monitor it is on or
  // across (a window across two monitors is outlined on both); the topmost window's outline
  // comes last so that it lies on top. Outlines of every window of a long watch would hide the
  // picture and cost each their element.
  var outlineNote = monitorsElement.parentNode.appendChild(make('p', 'outline-note'));
  outlineNote.hidden = true;
  function drawOutlines(indexes, of) {
    outlines.forEach(function (o) { o.element.remove(); });
    outlines = [];
    stages.forEach(function (s) {
      var m = s.monitor;
      var width = m.rect.right - m.rect.left;
      var height = m.rect.bottom - m.rect.top;
      for (var k = indexes.length - 1; k >= 0; --k) {
        var i = indexes[k];
        var w = saved[i];
        var shown = shownRect(w);
        if (w.monitor !== m.handle && !overlaps(shown, m.rect)) { continue; }
        var outline = add(s.stage, make('button', 'outline' + (w.newSinceLastRun ? ' new' : '') +
          (i === selected ? ' selected' : '')));
        outline.type = 'button';
        outline.title = (w.caption || '(no caption)') + ' \u2014 ' + w.className;
        outline.dataset.index = String(i);
        outline.style.left = ((shown.left - m.rect.left) * 100 / width) + '%';
        outline.style.top = ((shown.top - m.rect.top) * 100 / height) + '%';
        outline.style.width = ((shown.right - shown.left) * 100 / width) + '%';
        outline.style.height = ((shown.bottom - shown.top) * 100 / height) + '%';
        outline.addEventListener('click', showCard.bind(null, i));
        outlines.push({ element: outline, index: i });
      }
    });
    outlineNote.hidden = indexes.length === of;
    outlineNote.textContent = 'Outlined: the ' + indexes.length + ' windows whose cards are on this page, of ' + of + '.';
  }

  // Windows whose picture came from the screen show what covers them: the part that windows
  // above them cover is marked on the picture, so that no one takes it for the window's own.
  var byHandle = {};
  windows.forEach(function (w) { byHandle[w.handle] = w; });
  function windowName(w) { return w.caption || w.className || w.handle; }
  function coveringWindows(w) {
    var handles = w.coveredBy ? w.coveredBy.handles : [];
    return handles.map(function (h) { return byHandle[h]; }).filter(function (above) { return !!above; });
  }
  // A picture from the screen is of the window's visible frame, and so is what covers it.
  function markCovered(frame, w, covered) {
    var shown = shownRect(w);
    var width = shown.right - shown.left;
    var height = shown.bottom - shown.top;
    // The picture keeps its proportions within the card's 160 pixels of height.
    frame.style.maxWidth = (160 * width / height) + 'px';
    covered.forEach(function (above) {
      var cover = shownRect(above);
      var left = Math.max(cover.left, shown.left);
      var top = Math.max(cover.top, shown.top);
      var right = Math.min(cover.right, shown.right);
      var bottom = Math.min(cover.bottom, shown.bottom);
      var mark = add(frame, make('span', 'covered-part', 'covered by ' + windowName(above)));
      mark.dataset.handle = above.handle;
      mark.style.left = ((left - shown.left) * 100 / width) + '%';
      mark.style.top = ((top - shown.top) * 100 / height) + '%';
      mark.style.width = ((right - left) * 100 / width) + '%';
      mark.style.height = ((bottom - top) * 100 / height) + '%';
    });
  }

  // One card per saved window.
  var cardsElement = document.getElementById('cards');
  function cardFor(index) {
    if (!cards[index]) { cards[index] = makeCard(saved[index], index); }
    return cards[index];
  }
  function makeCard(w, index) {
    var card = make('article', 'card');
    card.dataset.index = String(index);
    var covered = coveringWindows(w);
    if (w.pictureSource !== null && w.results && w.results.window >= 0) {
      var frame = covered.length ? add(card, make('div', 'shot')) : card;
      var thumb = add(frame, make('img', 'thumb'));
      thumb.loading = 'lazy';
      thumb.alt = 'Window picture';
      thumb.src = fileUrl(w.folder, 'Morvane.Window.jpg');
      if (covered.length) { markCovered(frame, w, covered); }
    } else {
      add(card, make('div', 'nothumb', w.picturesStopped ? 'No window picture: ' + budgetText(w.picturesStopped)
        : w.pictureSkipped === 'queueFull' ? 'No window picture: too many pictures waited to be encoded'
        : w.minimised ? 'No window picture: the window is minimised'
        : w.cloaked ? 'No window picture: the window is not on screen' : 'No window picture'));
    }
    var badges = add(card, make('div', 'badges'));
    if (w.newSinceLastRun) { add(badges, make('span', 'badge new', 'new')); }
    if (w.topmost) { add(badges, make('span', 'badge topmost', 'topmost')); }
    if (w.toolWindow) { add(badges, make('span', 'badge tool', 'tool window')); }
    if (w.hung) { add(badges, make('span', 'badge hung', 'hung')); }
    if (w.kind && w.kind !== 'window') { add(badges, make('span', 'badge kind', w.kind)); }
    if (failedSteps(w).length) { add(badges, make('span', 'badge failed', 'failed step')); }
    if (w.minimised) { add(badges, make('span', 'badge minimised', 'minimised')); }
    if (w.cloaked) { add(badges, make('span', 'badge cloaked', 'not on screen')); }
    if (w.pictureColour) {
      add(badges, make('span', 'badge plain', w.pictureColour === '#000000' ? 'black picture'
        : 'picture of one colour ' + w.pictureColour));
    }
    if (covered.length) { add(badges, make('span', 'badge cover', 'covered')); }
    add(card, make('h3', w.caption ? 'caption' : 'caption untitled', w.caption || '(no caption)'));
    var facts = add(card, make('dl'));
    [['Class', w.className], ['Image', w.imagePath], ['Process', w.processId + ', thread ' + w.threadId],
      ['Handle', w.handle], ['Zone', w.zone], ['Rectangle', rectText(w.rect)]]
      .concat(w.frame ? [['Frame', rectText(w.frame)]] : [])
      .concat([['Picture', w.pictureSource || 'none'], ['Folder', w.folder]]).concat(w.dpi ? [['DPI', w.dpi]] : [])
      .concat(covered.length ? [['Covered', Math.round(w.coveredBy.share * 100) + '% by ' +
        covered.map(windowName).join(', ')]] : []).forEach(function (fact) {
      add(facts, make('dt', '', fact[0]));
      add(facts, make('dd', fact[0].toLowerCase(), fact[1]));
    });
    var failed = failedSteps(w);
    if (failed.length) { add(facts, make('dt', '', 'Failed')); add(facts, make('dd', 'failed', failed.join(', '))); }
    var notWritten = droppedPictures(w);
    if (notWritten.length) {
      add(facts, make('dt', '', 'Not written'));
      add(facts, make('dd', 'dropped', notWritten.join(', ') + ': the window was ' + w.pictureDropped));
    }
    card.addEventListener('click', function () { select(index); });
    addWhoMadeIt(card, w, savedProcesses[index]);
    return card;
  }

  // Filters: text over caption, class and image; one process; new windows only; appeared while
  // watching. Each is a test of one window, applied over the whole list before paging.
  var search = document.getElementById('search');
  var process = document.getElementById('process');
  var onlyNew = document.getElementById('only-new');
  var onlyWatched = document.getElementById('only-watched');
  var shown = document.getElementById('shown');
  var processes = {};
  saved.forEach(function (w) { processes[w.processId] = imageName(w.imagePath); });
  Object.keys(processes).map(Number).sort(function (a, b) { return a - b; }).forEach(function (pid) {
    var option = add(process, make('option', '', pid + ' ' + processes[pid]));
    option.value = String(pid);
  });
  onlyNew.disabled = run.previousRun === null;
  // Menus, tooltips, drop-down lists and the like come and go all day: their cards and outlines
  // stay hidden until asked for. A record without kinds has none.
  function shortLived(w) { return w.kind !== undefined && w.kind !== 'window'; }
  var shortLivedCount = saved.filter(shortLived).length;
  var showShortLived = false;
  var shortLivedBox = document.getElementById('short-lived');
  var shortLivedText = document.getElementById('short-lived-text');
  var shortLivedToggle = document.getElementById('short-lived-toggle');
  shortLivedBox.hidden = shortLivedCount === 0;
  shortLivedToggle.addEventListener('click', function () {
    showShortLived = !showShortLived;
    applyFilters();
  });
  var searchTexts = null;
  function searchText(index) {
    if (!searchTexts) { searchTexts = []; }
    if (searchTexts[index] === undefined) {
      var w = saved[index];
      searchTexts[index] = (w.caption + '\n' + w.className + '\n' + w.imagePath).toLowerCase();
    }
    return searchTexts[index];
  }
  var cardFilters = [
    function (w, index) { var words = search.value.toLowerCase(); return !words || searchText(index).indexOf(words) >= 0; },
    function (w) { return !process.value || String(w.processId) === process.value; },
    function (w) { return !onlyNew.checked || !!w.newSinceLastRun; },
    function (w) { return !onlyWatched.checked || !!w.appearedAt; },
    function (w) { return showShortLived || !shortLived(w); }
  ];
  var cardPager = makePager(document.getElementById('card-pager'), function (indexes) {
    cardsElement.replaceChildren.apply(cardsElement, indexes.map(cardFor));
    select(selected);
    drawOutlines(indexes, cardPager.items.length);
  });
  function applyFilters() {
    var matching = [];
    saved.forEach(function (w, index) {
      if (cardFilters.every(function (passes) { return passes(w, index); })) { matching.push(index); }
    });
    cardPager.show(matching, 0);
    shown.textContent = 'Showing ' + matching.length + ' of ' + saved.length + ' saved windows';
    shortLivedText.textContent = shortLivedCount + ' menus, tooltips and other short-lived windows ' +
      (showShortLived ? 'shown.' : 'hidden.');
    shortLivedToggle.textContent = showShortLived ? 'Hide them' : 'Show them';
  }
  function clearFilters() {
    search.value = '';
    process.value = '';
    onlyNew.checked = false;
    onlyWatched.checked = false;
    applyFilters();
  }
  search.addEventListener('input', applyFilters);
  process.addEventListener('change', applyFilters);
  onlyNew.addEventListener('change', applyFilters);
  onlyWatched.addEventListener('change', applyFilters);

  // Gone and skipped windows, folded away.
  var others = document.getElementById('others');
  function table(title, columns, rows) {
    var details = add(others, make('details'));
    add(details, make('summary', '', title));
    // Made when first opened: a long watch may list thousands.
    details.addEventListener('toggle', function () {
      if (!details.open || details.querySelector('table')) { return; }
      var grid = add(details, make('table'));
      var head = add(grid, make('tr'));
      columns.forEach(function (c) { add(head, make('th', '', c)); });
      rows().forEach(function (row) {
        var line = add(grid, make('tr'));
        row.forEach(function (cell) { add(line, make('td', 'text', cell)); });
      });
    });
  }
  if (run.previousRun !== null) {
    table('Gone since the last run (' + goneCount + ')', ['Image', 'Class', 'Caption', 'Count'],
      function () { return gone.map(function (g) { return [g.imagePath, g.className, g.caption, g.count]; }); });
  }
  table('Skipped windows (' + skipped.length + ')', ['Handle', 'Reason', 'Process', 'Class', 'Caption', 'Image'],
    function () {
      return skipped.map(function (w) { return [w.handle, w.skipReason, w.processId, w.className, w.caption, w.imagePath]; });
    });
  // Who made each window: its program, maker and signature first, then its parent, its start
  // and its command line; and a view by program. Texts of other programs, as captions, only
  // through textContent.
  function whoText(p) {
    return programName(p) + (p.company ? ', ' + p.company : '') + (p.signature === 'signed' && p.signer ?
      ', signed by ' + p.signer + (p.signedBy === 'catalog' ? ' (catalog)' : '') : '');
  }
  function signatureBadgeText(p) {
    if (p.signature === 'unsigned') { return 'unsigned'; }
    if (p.signature === 'untrusted') { return 'signature not trusted: ' + (p.signer || 'unknown signer'); }
    return 'signature unknown';
  }
  function parentText(p) {
    if (p.parentProcessId === null) { return 'unknown'; }
    if (p.parentProcessId === 0) { return 'none'; }
    if (p.parentGone) { return 'gone (was process ' + p.parentProcessId + ')'; }
    return (p.parentImagePath ? imageName(p.parentImagePath) : 'unreadable') + ' (process ' + p.parentProcessId + ')';
  }
  function startedText(p, w) {
    var started = Date.parse(p.startedAt);
    var showed = w && w.appearedAt ? Date.parse(w.appearedAt) : NaN;
    var reference = isNaN(showed) ? Date.parse(run.startedAt) : showed;
    if (isNaN(started) || isNaN(reference)) { return 'unknown'; }
    var seconds = Math.round((reference - started) / 1000);
    return 'started ' + Math.abs(seconds) + ' s ' + (seconds >= 0 ? 'before ' : 'after ') +
      (isNaN(showed) ? 'the run' : 'it showed');
  }
  var kShortCommandLine = 240;
  function commandLineElement(text) {
    var box = make('div', 'commandline');
    if (text === null || text === undefined) { box.textContent = 'unreadable'; return box; }
    var line = add(box, make('pre', 'commandline-text', text.length > kShortCommandLine ?
      text.substring(0, kShortCommandLine) + '\u2026' : text));
    if (text.length > kShortCommandLine) {
      var more = add(box, make('button', 'show-all', 'show all (' + text.length + ' characters)'));
      more.type = 'button';
      more.addEventListener('click', function (event) {
        event.stopPropagation();
        line.textContent = text;
        box.removeChild(more);
      });
    }
    return box;
  }
  function addWhoMadeIt(card, w, p) {
    if (!p) { return; }
    card.insertBefore(make('p', 'who', whoText(p)), card.querySelector('h3'));
    if (p.signature !== 'signed') {
      add(card.querySelector('.badges'), make('span', 'badge ' + p.signature, signatureBadgeText(p)));
    }
    var facts = card.querySelector('dl');
    add(facts, make('dt', '', 'Parent'));
    add(facts, make('dd', 'parent', parentText(p)));
    add(facts, make('dt', '', 'Started'));
    add(facts, make('dd', 'started', startedText(p, w)));
    add(facts, make('dt', '', 'Command line'));
    add(add(facts, make('dd', 'command')), commandLineElement(p.commandLine));
  }

  // The view by program: each process with its windows, filtered by company and signature.
  var programList = document.getElementById('program-list');
  var companyFilter = document.getElementById('company');
  var signatureFilter = document.getElementById('signature');
  var companies = [];
  runProcesses.forEach(function (p) {
    var company = p.company || '';
    if (companies.indexOf(company) < 0) { companies.push(company); }
  });
  companies.sort().forEach(function (company, i) {
    var option = add(companyFilter, make('option', '', company || '(no company)'));
    option.value = String(i);
  });
  // Each process's windows, found in one pass; a process lists its first windows, and more on
  // demand.
  var kListedWindows = 20;
  var ownWindows = runProcesses.map(function () { return []; });
  var processIndex = new Map(runProcesses.map(function (p, i) { return [p, i]; }));
  savedProcesses.forEach(function (p, index) { if (p) { ownWindows[processIndex.get(p)].push(index); } });
  function listWindows(windowsList, own, from) {
    own.slice(from, from + kListedWindows).forEach(function (index) {
      var button = add(add(windowsList, make('li')), make('button', 'program-window',
        saved[index].caption || '(no caption)'));
      button.type = 'button';
      button.addEventListener('click', showCard.bind(null, index));
    });
    var left = own.length - from - kListedWindows;
    if (left > 0) {
      var more = add(add(windowsList, make('li')), make('button', 'more-windows', 'show ' +
        Math.min(left, kListedWindows) + ' more of ' + left));
      more.type = 'button';
      more.addEventListener('click', function () {
        windowsList.removeChild(more.parentNode);
        listWindows(windowsList, own, from + kListedWindows);
      });
    }
  }
  var programItems = runProcesses.map(function (p, i) {
    var item = add(programList, make('li', 'program'));
    var own = ownWindows[i];
    add(item, make('p', 'program-line', own.length + (own.length === 1 ? ' window' : ' windows') + ' from ' +
      programName(p) + (p.company ? ', ' + p.company : '') + ', ' + p.signature));
    add(item, make('p', 'program-image', p.imagePath + ' (process ' + p.processId + ', parent ' + parentText(p) + ')'));
    listWindows(add(item, make('ul', 'program-windows')), own, 0);
    return { element: item, process: p };
  });
  function applyProgramFilters() {
    var company = companyFilter.value === '' ? null : companies[Number(companyFilter.value)];
    var signature = signatureFilter.value;
    programItems.forEach(function (item) {
      item.element.hidden = (company !== null && (item.process.company || '') !== company) ||
        (signature !== '' && item.process.signature !== signature);
    });
  }
  companyFilter.addEventListener('change', applyProgramFilters);
  signatureFilter.addEventListener('change', applyProgramFilters);
  applyProgramFilters();
  applyFilters();

  // A watch: every window that appeared, in time order, with its time since the start and how
  // long it stayed. A run without a watch shows none of this.
  if (run.watch) {
    document.getElementById('only-watched-label').hidden = false;
    var start = Date.parse(run.startedAt);
    var appearedAt = new Map();
    var appeared = windows.filter(function (w) { return w.appearedAt; });
    appeared.forEach(function (w) { appearedAt.set(w, Date.parse(w.appearedAt)); });
    appeared.sort(function (a, b) { return appearedAt.get(a) - appearedAt.get(b); });
    var savedIndex = new Map(saved.map(function (w, index) { return [w, index]; }));
    var missedCount = appeared.filter(function (w) { return w.outcome === 'missed'; }).length;
    add(header, make('p', 'watch', 'Watching since ' + run.watch.since +
      (run.watch.running ? ', still running' : '') + ': ' + appeared.length + ' windows appeared, ' + missedCount +
      ' missed.'));
    if (run.watch.picturesStopped) {
      add(header, make('p', 'budget', 'Pictures stopped at ' + run.watch.picturesStoppedAt + ': ' +
        budgetText(run.watch.picturesStopped) + '. Windows after that have entries and text records only.'));
    }
    var section = document.getElementById('timeline');
    section.hidden = false;
    var rows = document.getElementById('timeline-rows');
    var timelinePager = makePager(document.getElementById('timeline-pager'), function (slice) {
      rows.replaceChildren.apply(rows, slice.map(timelineRow));
    });
    timelinePager.show(appeared, 0);
  }
  function timelineRow(w) {
    var row = make('tr', w.outcome);
    add(row, make('td', '', ((appearedAt.get(w) - start) / 1000).toFixed(3) + ' s'));
    add(row, make('td', '', w.shownForMs === null ? 'still shown' : w.shownForMs + ' ms'));
    var cell = add(row, make('td'));
    if (w.outcome === 'saved' && w.pictureSource !== null && w.results && w.results.window >= 0) {
      var thumb = add(cell, make('img'));
      thumb.loading = 'lazy';
      thumb.alt = 'Window picture';
      thumb.src = fileUrl(w.folder, 'Morvane.Window.jpg');
    } else {
      cell.textContent = w.pictureDropped ? 'dropped: ' + w.pictureDropped
        : w.picturesStopped ? 'none: disk budget'
        : w.pictureSkipped === 'queueFull' ? 'none: encode queue full' : 'none';
    }
    var index = savedIndex.get(w);
    var name = add(row, make('td', 'text', (w.caption || '(no caption)') + ' \u2014 ' + w.className));
    if (index !== undefined) {
      name.style.cursor = 'pointer';
      name.addEventListener('click', showCard.bind(null, index));
    }
    add(row, make('td', '', w.caughtBy));
    add(row, make('td', '', w.outcome + (w.savedAfterMs === null ? '' : ' after ' + w.savedAfterMs + ' ms')));
    return row;
  }
})();
