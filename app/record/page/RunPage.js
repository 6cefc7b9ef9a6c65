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
  add(header, make('p', failures.length ? 'bad failures' : 'failures',
    failures.length ? 'Failed steps: ' + failures.join('; ') + '.' : 'No step failed.'));
  var droppedCount = saved.reduce(function (sum, w) { return sum + droppedPictures(w).length; }, 0);
  if (droppedCount) {
    add(header, make('p', 'dropped', droppedCount + ' picture' + (droppedCount === 1 ? ' was' : 's were') +
      ' not written because the window had gone, was hidden or had moved right after its capture.'));
  }

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

  // Each monitor's picture with the outline of every saved window on it or across it (a window
  // across two monitors is outlined on both); the topmost window's outline comes last so that
  // it lies on top.
  var monitorsElement = document.getElementById('monitors');
  if (onMap) {
    monitorsElement.classList.add('map');
    monitorsElement.style.aspectRatio = deskWidth + ' / ' + deskHeight;
  }
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
    for (var i = saved.length - 1; i >= 0; --i) {
      var w = saved[i];
      var shown = shownRect(w);
      if (w.monitor !== m.handle && !overlaps(shown, m.rect)) { continue; }
      var outline = add(stage, make('button', 'outline' + (w.newSinceLastRun ? ' new' : '')));
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
    add(figure, make('figcaption', '', m.device + (primary ? ' (primary) ' : ' ') + rectText(m.rect) +
      (m.dpi ? ', ' + m.dpi + ' DPI' : '')));
  });

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
  saved.forEach(function (w, index) {
    var card = add(cardsElement, make('article', 'card'));
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
        : w.minimised ? 'No window picture: the window is minimised'
        : w.cloaked ? 'No window picture: the window is not on screen' : 'No window picture'));
    }
    var badges = add(card, make('div', 'badges'));
    if (w.newSinceLastRun) { add(badges, make('span', 'badge new', 'new')); }
    if (w.topmost) { add(badges, make('span', 'badge topmost', 'topmost')); }
    if (w.toolWindow) { add(badges, make('span', 'badge tool', 'tool window')); }
    if (w.hung) { add(badges, make('span', 'badge hung', 'hung')); }
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
    cards.push(card);
  });

  // Filters: text over caption, class and image; one process; new windows only.
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
  function applyFilters() {
    var words = search.value.toLowerCase();
    var pid = process.value;
    var count = 0;
    saved.forEach(function (w, index) {
      var text = (w.caption + '\n' + w.className + '\n' + w.imagePath).toLowerCase();
      var visible = (!words || text.indexOf(words) >= 0) && (!pid || String(w.processId) === pid) &&
        (!onlyNew.checked || w.newSinceLastRun) && (!onlyWatched.checked || !!w.appearedAt);
      cards[index].hidden = !visible;
      if (visible) { ++count; }
    });
    shown.textContent = 'Showing ' + count + ' of ' + saved.length + ' saved windows';
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
  // Who made each window: its program, maker and signature first, then its parent, its start
  // and its command line; and a view by program. Texts of other programs, as captions, only
  // through textContent.
  var runProcesses = run.processes || [];
  var processByKey = {};
  runProcesses.forEach(function (p) { processByKey[p.processId + '@' + p.startedAt] = p; });
  function processOf(w) {
    return w.process ? processByKey[w.process.processId + '@' + w.process.startedAt] : undefined;
  }
  function programName(p) { return p.description || p.product || imageName(p.imagePath) || 'an unknown program'; }
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
  saved.forEach(function (w, index) {
    var p = processOf(w);
    if (!p) { return; }
    var card = cards[index];
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
  });

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
  var programItems = runProcesses.map(function (p) {
    var item = add(programList, make('li', 'program'));
    var own = [];
    saved.forEach(function (w, index) { if (processOf(w) === p) { own.push(index); } });
    add(item, make('p', 'program-line', own.length + (own.length === 1 ? ' window' : ' windows') + ' from ' +
      programName(p) + (p.company ? ', ' + p.company : '') + ', ' + p.signature));
    add(item, make('p', 'program-image', p.imagePath + ' (process ' + p.processId + ', parent ' + parentText(p) + ')'));
    var windowsList = add(item, make('ul', 'program-windows'));
    own.forEach(function (index) {
      var button = add(add(windowsList, make('li')), make('button', 'program-window',
        saved[index].caption || '(no caption)'));
      button.type = 'button';
      button.addEventListener('click', showCard.bind(null, index));
    });
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

  // A watch: every window that appeared, in time order, with its time since the start and how
  // long it stayed. A run without a watch shows none of this.
  if (run.watch) {
    document.getElementById('only-watched-label').hidden = false;
    var start = Date.parse(run.startedAt);
    var appeared = windows.filter(function (w) { return w.appearedAt; }).sort(function (a, b) {
      return Date.parse(a.appearedAt) - Date.parse(b.appearedAt);
    });
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
    appeared.forEach(function (w) {
      var row = add(rows, make('tr', w.outcome));
      add(row, make('td', '', ((Date.parse(w.appearedAt) - start) / 1000).toFixed(3) + ' s'));
      add(row, make('td', '', w.shownForMs === null ? 'still shown' : w.shownForMs + ' ms'));
      var cell = add(row, make('td'));
      if (w.outcome === 'saved' && w.pictureSource !== null && w.results && w.results.window >= 0) {
        var thumb = add(cell, make('img'));
        thumb.loading = 'lazy';
        thumb.alt = 'Window picture';
        thumb.src = fileUrl(w.folder, 'Morvane.Window.jpg');
      } else {
        cell.textContent = w.pictureDropped ? 'dropped: ' + w.pictureDropped
          : w.picturesStopped ? 'none: disk budget' : 'none';
      }
      var index = saved.indexOf(w);
      var name = add(row, make('td', 'text', (w.caption || '(no caption)') + ' \u2014 ' + w.className));
      if (index >= 0) {
        name.style.cursor = 'pointer';
        name.addEventListener('click', showCard.bind(null, index));
      }
      add(row, make('td', '', w.caughtBy));
      add(row, make('td', '', w.outcome + (w.savedAfterMs === null ? '' : ' after ' + w.savedAfterMs + ' ms')));
    });
  }
})();
