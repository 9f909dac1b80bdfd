// The qlx5100-status report page: draws the hex grids, field tables, the
// batch overview and its chart from the embedded JSON. Every text from the
// data goes in as textContent, never as markup, so nothing a device or a
// file name holds can become an element or run.
(function () {
  'use strict';

  var data = JSON.parse(document.getElementById('report-data').textContent);
  var columns = data.columns;
  var PER_LINE = 16;

  // The data leaves out what follows from the rest (see htmlreport.cpp):
  // trailing absent values, and which fields lie in the block when that is
  // every field with a place, a value and room in the block.
  data.inputs.forEach(function (input) {
    if (!input.ok) return;
    while (input.values.length < columns.length) input.values.push(null);
    if (!input.placed) {
      input.placed = [];
      columns.forEach(function (col, c) {
        if (col.offset !== null && input.values[c] !== null &&
            col.offset + col.width <= input.shown) {
          input.placed.push(c);
        }
      });
    }
  });

  function el(tag, className, text) {
    var node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined && text !== null) node.textContent = String(text);
    return node;
  }

  function svg(tag, attrs) {
    var node = document.createElementNS('http://www.w3.org/2000/svg', tag);
    for (var name in attrs) node.setAttribute(name, attrs[name]);
    return node;
  }

  function hex(n, digits) {
    var s = n.toString(16);
    while (s.length < digits) s = '0' + s;
    return s;
  }

  // The shown bytes: zeros but for the [offset, base64] stretches.
  function decode(input) {
    var bytes = new Uint8Array(input.shown);
    input.bytes.forEach(function (stretch) {
      var raw = atob(stretch[1]);
      for (var i = 0; i < raw.length; ++i) bytes[stretch[0] + i] = raw.charCodeAt(i);
    });
    return bytes;
  }

  function label(col) {
    return col.key + '[' + col.index + ']';
  }

  // One colour per key, in column order.
  var keyColour = {};
  columns.forEach(function (col) {
    if (col.offset !== null && !(col.key in keyColour)) {
      keyColour[col.key] = Object.keys(keyColour).length % 10;
    }
  });

  // Highlighting is shared by every view on the page, so that a row of the
  // diff's change list lights up the bytes in both grids.
  var views = [];
  var lit = [];

  function clearHighlight() {
    lit.forEach(function (node) { node.classList.remove('hl'); });
    lit = [];
  }

  function light(node) {
    node.classList.add('hl');
    lit.push(node);
  }

  function highlight(cols) {
    clearHighlight();
    views.forEach(function (view) {
      cols.forEach(function (c) {
        var col = columns[c];
        if (view.placed.has(c)) {
          for (var i = col.offset; i < col.offset + col.width; ++i) {
            light(view.hexCells[i]);
            light(view.textCells[i]);
          }
        }
        (view.rows[c] || []).forEach(light);
      });
    });
    document.querySelectorAll('table.changes tr[data-col]').forEach(function (row) {
      if (cols.indexOf(Number(row.dataset.col)) >= 0) light(row);
    });
  }

  function onPoint(container, find) {
    function handler(event) {
      var cols = find(event.target);
      if (cols) highlight(cols); else clearHighlight();
    }
    container.addEventListener('mouseover', handler);
    container.addEventListener('focusin', handler);
    container.addEventListener('mouseleave', clearHighlight);
    container.addEventListener('focusout', function (event) {
      if (!container.contains(event.relatedTarget)) clearHighlight();
    });
  }

  function rowCols(target) {
    var row = target.closest('tr[data-col]');
    return row ? [Number(row.dataset.col)] : null;
  }

  // The hex grid: offsets, sixteen bytes a line and the text column. Bytes
  // of a field carry its key's colour; bytes no field reads stay plain.
  function grid(view, bytes) {
    var fieldsAt = [];
    view.placed.forEach(function (c) {
      var col = columns[c];
      for (var i = col.offset; i < col.offset + col.width && i < bytes.length; ++i) {
        (fieldsAt[i] = fieldsAt[i] || []).push(c);
      }
    });
    view.fieldsAt = fieldsAt;
    var box = el('div', 'grid');
    for (var line = 0; line < bytes.length; line += PER_LINE) {
      var row = el('span', 'line');
      row.appendChild(el('span', 'off', hex(line, 8)));
      var hexPart = el('span', 'hex');
      var textPart = el('span', 'txt');
      for (var i = line; i < line + PER_LINE && i < bytes.length; ++i) {
        var b = bytes[i];
        var h = el('span', '', hex(b, 2));
        var t = el('span', '', b >= 0x20 && b < 0x7f ? String.fromCharCode(b) : '.');
        h.dataset.i = t.dataset.i = i;
        if (fieldsAt[i]) {
          var cls = 'f k' + keyColour[columns[fieldsAt[i][0]].key] +
              (fieldsAt[i].length > 1 ? ' overlap' : '');
          h.className = t.className = cls;
          h.tabIndex = 0;
          h.title = fieldsAt[i].map(function (c) { return label(columns[c]); }).join(', ');
        }
        view.hexCells[i] = h;
        view.textCells[i] = t;
        hexPart.appendChild(h);
        textPart.appendChild(t);
      }
      row.appendChild(hexPart);
      row.appendChild(textPart);
      box.appendChild(row);
    }
    onPoint(box, function (target) {
      var i = target.dataset ? target.dataset.i : undefined;
      return i !== undefined && fieldsAt[i] ? fieldsAt[i] : null;
    });
    return box;
  }

  function warningsFor(input, col) {
    return input.warnings.filter(function (w) {
      return col ? w.key === col.key && w.index === col.index : w.key === '';
    });
  }

  function fieldTable(view, input, changed) {
    var wrap = el('div', 'fieldpane');
    var filter = el('label', 'filter', 'Filter by key ');
    var search = el('input');
    search.type = 'search';
    search.placeholder = 'e.g. Heater';
    filter.appendChild(search);
    wrap.appendChild(filter);
    var table = el('table', 'fields');
    var head = el('tr');
    ['', 'Key', 'Index', 'Offset', 'Width', 'Value', 'Warnings'].forEach(function (name) {
      head.appendChild(el('th', '', name));
    });
    table.appendChild(el('thead')).appendChild(head);
    var body = table.appendChild(el('tbody'));
    input.values.forEach(function (value, c) {
      if (value === null) return;
      var col = columns[c];
      var tr = el('tr', changed.has(c) ? 'changed' : '');
      tr.dataset.col = c;
      tr.dataset.key = col.key;
      tr.tabIndex = 0;
      var placed = view.placed.has(c);
      tr.appendChild(el('td', placed ? 'swatch k' + keyColour[col.key] : 'swatch'));
      tr.appendChild(el('td', 'key', col.key));
      tr.appendChild(el('td', 'index', col.index));
      tr.appendChild(el('td', 'offset', placed ? '0x' + hex(col.offset, 3) : '-'));
      tr.appendChild(el('td', 'width', placed ? col.width : '-'));
      tr.appendChild(el('td', 'value', value));
      tr.appendChild(el('td', 'warn', warningsFor(input, col).map(function (w) {
        return w.text;
      }).join(' ')));
      (view.rows[c] = view.rows[c] || []).push(tr);
      body.appendChild(tr);
    });
    wrap.appendChild(table);
    search.addEventListener('input', function () {
      var q = search.value.trim().toLowerCase();
      body.querySelectorAll('tr').forEach(function (tr) {
        tr.hidden = q !== '' && tr.dataset.key.toLowerCase().indexOf(q) < 0;
      });
    });
    onPoint(body, rowCols);
    return wrap;
  }

  function blockView(number, input, changed) {
    var section = el('section', 'block');
    section.id = 'input-' + number;
    section.appendChild(el('h2', '', input.file));
    if (!input.ok) {
      section.appendChild(el('p', 'error', input.error));
      return section;
    }
    var view = {placed: new Set(input.placed), hexCells: [], textCells: [], rows: {}};
    var bytes = decode(input);
    view.bytes = bytes;
    var size = input.size + ' bytes' + (bytes.length < input.size
        ? '; the first ' + bytes.length + ' are shown, as far as the fields reach' : '');
    section.appendChild(el('p', 'size', size));
    var notes = warningsFor(input, null);
    if (notes.length) {
      var list = section.appendChild(el('ul', 'notes'));
      notes.forEach(function (w) { list.appendChild(el('li', '', w.text)); });
    }
    var panes = section.appendChild(el('div', 'panes'));
    panes.appendChild(grid(view, bytes));
    panes.appendChild(fieldTable(view, input, changed || new Set()));
    views.push(view);
    section.view = view;
    return section;
  }

  function showDiff(container) {
    var changed = new Set(data.changes.map(function (c) { return c.column; }));
    var box = el('div', 'views-diff');
    var shown = data.inputs.map(function (input, i) {
      var section = blockView(i + 1, input, changed);
      section.insertBefore(el('h3', '', i === 0 ? 'Old' : 'New'), section.firstChild);
      box.appendChild(section);
      return section.view;
    });
    container.appendChild(box);
    // Every byte that differs, in both grids; past the end of the shorter
    // block every byte of the longer one differs.
    if (shown[0] && shown[1]) {
      var a = shown[0].bytes, b = shown[1].bytes;
      for (var i = 0; i < Math.max(a.length, b.length); ++i) {
        if (a[i] !== b[i]) {
          if (i < a.length) { shown[0].hexCells[i].classList.add('diff'); shown[0].textCells[i].classList.add('diff'); }
          if (i < b.length) { shown[1].hexCells[i].classList.add('diff'); shown[1].textCells[i].classList.add('diff'); }
        }
      }
    }
    var list = document.querySelector('table.changes tbody');
    if (list) onPoint(list, rowCols);
  }

  // The batch overview: one row per input, one column per field; a cell is
  // marked where it differs from the nearest decoded input above. A browser
  // lays out a table of thousands of rows for seconds, so a large batch is
  // shown a range of rows at a time (all of them when printed), about as
  // many cells at once whatever the number of columns.
  var ROWS_AT_ONCE = Math.max(25, Math.min(250, Math.floor(12000 / (columns.length + 2))));

  function overview(container) {
    var table = el('table');
    var head = el('tr');
    head.appendChild(el('th', '', '#'));
    head.appendChild(el('th', '', 'File'));
    columns.forEach(function (col) { head.appendChild(el('th', 'col', label(col))); });
    table.appendChild(el('thead')).appendChild(head);
    var body = table.appendChild(el('tbody'));
    var above = [];
    var last = null;
    data.inputs.forEach(function (input, n) {
      above[n] = last;
      if (input.ok) last = input;
    });
    var scroll = el('div', 'scroll');
    scroll.appendChild(table);
    container.textContent = '';
    var n = data.inputs.length;
    if (n > ROWS_AT_ONCE) {
      var pager = container.appendChild(el('p', 'controls'));
      var range = el('select');
      range.id = 'overview-rows';
      for (var from = 0; from < n; from += ROWS_AT_ONCE) {
        var option = el('option', '', (from + 1) + '\u2013' + Math.min(from + ROWS_AT_ONCE, n));
        option.value = from;
        range.appendChild(option);
      }
      var all = el('option', '', 'all ' + n + ' (slow to lay out)');
      all.value = 'all';
      range.appendChild(all);
      pager.appendChild(el('label', '', 'Rows ')).appendChild(range);
      range.addEventListener('change', function () { showRows(body, above, range.value); });
      window.addEventListener('beforeprint', function () { showRows(body, above, 'all'); });
      window.addEventListener('afterprint', function () { showRows(body, above, range.value); });
    }
    container.appendChild(scroll);
    showRows(body, above, '0');
  }

  // Shows the rows from `from` on ('all': every row).
  function showRows(body, above, from) {
    var first = from === 'all' ? 0 : Number(from);
    var end = from === 'all' ? data.inputs.length
                             : Math.min(first + ROWS_AT_ONCE, data.inputs.length);
    var rows = document.createDocumentFragment();
    for (var n = first; n < end; ++n) {
      rows.appendChild(overviewRow(data.inputs[n], n, above[n]));
    }
    body.textContent = '';
    body.appendChild(rows);
    markCurrent();
  }

  function overviewRow(input, n, previous) {
    var tr = el('tr', input.ok ? '' : 'failed');
    tr.id = 'row-' + (n + 1);
    var link = el('a', '', n + 1);
    link.href = '#input-' + (n + 1);
    tr.appendChild(el('td')).appendChild(link);
    var name = el('a', '', input.file);
    name.href = link.href;
    tr.appendChild(el('td', 'file')).appendChild(name);
    if (!input.ok) {
      var cell = el('td', 'error', input.error);
      cell.colSpan = columns.length;
      tr.appendChild(cell);
    } else {
      input.values.forEach(function (value, c) {
        var differs = previous !== null && previous.values[c] !== value;
        tr.appendChild(el('td', differs ? 'chg' : '', value === null ? '' : value));
      });
    }
    return tr;
  }

  function currentInput() {
    var m = /^#input-(\d+)$/.exec(location.hash);
    var n = m ? Number(m[1]) : 0;
    return n >= 1 && n <= data.inputs.length ? n : 0;
  }

  function markCurrent() {
    document.querySelectorAll('#overview-table tr.current').forEach(function (tr) {
      tr.classList.remove('current');
    });
    var row = document.getElementById('row-' + currentInput());
    if (row) row.classList.add('current');
  }

  function chartSeries(choice) {
    var cols = [];
    if (choice === 'heaters') {
      columns.forEach(function (col, c) { if (col.key === 'HeaterTemperature') cols.push(c); });
    } else {
      cols.push(Number(choice));
    }
    return cols.slice(0, 4);
  }

  // A line chart of the chosen columns across the inputs, one point per
  // input that has a value; a failed input leaves a gap in the line.
  function drawChart(container, choice) {
    var cols = chartSeries(choice);
    var n = data.inputs.length;
    var W = 960, H = 320, L = 56, R = 16, T = 16, B = 40;
    var lo = Infinity, hi = -Infinity;
    cols.forEach(function (c) {
      data.inputs.forEach(function (input) {
        var v = input.ok ? input.values[c] : null;
        if (v !== null && v !== undefined) {
          lo = Math.min(lo, Number(v));
          hi = Math.max(hi, Number(v));
        }
      });
    });
    if (lo === Infinity) { lo = 0; hi = 1; }
    if (lo === hi) { lo -= 1; hi += 1; }
    function x(i) { return L + (n > 1 ? i * (W - L - R) / (n - 1) : (W - L - R) / 2); }
    function y(v) { return T + (hi - v) * (H - T - B) / (hi - lo); }
    var chart = svg('svg', {viewBox: '0 0 ' + W + ' ' + H, role: 'img'});
    chart.appendChild(svg('title', {})).textContent = cols.map(function (c) {
      return label(columns[c]);
    }).join(', ') + ' across ' + n + ' inputs';
    chart.appendChild(svg('line', {x1: L, y1: T, x2: L, y2: H - B, 'class': 'axis'}));
    chart.appendChild(svg('line', {x1: L, y1: H - B, x2: W - R, y2: H - B, 'class': 'axis'}));
    for (var k = 0; k <= 4; ++k) {
      var v = lo + (hi - lo) * k / 4;
      var t = chart.appendChild(svg('text', {x: L - 6, y: y(v) + 4, 'text-anchor': 'end'}));
      t.textContent = Math.round(v * 10) / 10;
    }
    [0, n - 1].forEach(function (i) {
      if (i < 0) return;
      var t = chart.appendChild(svg('text', {x: x(i), y: H - B + 16, 'text-anchor': 'middle'}));
      t.textContent = '#' + (i + 1);
    });
    var xl = chart.appendChild(svg('text', {x: (L + W - R) / 2, y: H - 6, 'text-anchor': 'middle'}));
    xl.textContent = 'input';
    cols.forEach(function (c, s) {
      var group = chart.appendChild(svg('g', {'class': 'series s' + s, 'data-col': c}));
      var points = [];
      function flush() {
        if (points.length > 1) group.appendChild(svg('polyline', {points: points.join(' ')}));
        points = [];
      }
      data.inputs.forEach(function (input, i) {
        var value = input.ok ? input.values[c] : null;
        if (value === null || value === undefined) { flush(); return; }
        var px = x(i), py = y(Number(value));
        points.push(px.toFixed(1) + ',' + py.toFixed(1));
        var dot = group.appendChild(svg('circle', {cx: px.toFixed(1), cy: py.toFixed(1), r: n > 200 ? 1.5 : 3}));
        dot.dataset.input = i + 1;
      });
      flush();
    });
    chart.addEventListener('click', function (event) {
      var dot = event.target.closest('circle');
      if (dot) location.hash = '#input-' + dot.dataset.input;
    });
    // One tooltip for every point: a title each would double the elements
    // of a chart of thousands.
    var tip = el('p', 'tip', '\u00a0');
    chart.addEventListener('mouseover', function (event) {
      var dot = event.target.closest('circle');
      if (!dot) return;
      var i = Number(dot.dataset.input);
      var c = Number(dot.parentNode.dataset.col);
      tip.textContent = '#' + i + ' ' + data.inputs[i - 1].file + ': ' + label(columns[c]) +
          ' = ' + data.inputs[i - 1].values[c];
    });
    var legend = el('p', 'legend');
    cols.forEach(function (c, s) {
      var item = legend.appendChild(el('span'));
      item.appendChild(el('i', 's' + s));
      item.appendChild(document.createTextNode(label(columns[c])));
    });
    container.textContent = '';
    container.appendChild(legend);
    container.appendChild(chart);
    container.appendChild(tip);
  }

  function showBatchInput(container) {
    var n = currentInput();
    if (n === 0) return;
    views = [];
    clearHighlight();
    container.textContent = '';
    var section = blockView(n, data.inputs[n - 1]);
    container.appendChild(section);
    markCurrent();
    section.scrollIntoView();
  }

  var container = document.getElementById('views');
  container.textContent = '';
  if (data.kind === 'batch') {
    overview(document.getElementById('overview-table'));
    var select = document.getElementById('chart-field');
    var chart = document.getElementById('chart');
    drawChart(chart, select.value);
    select.addEventListener('change', function () { drawChart(chart, select.value); });
    window.addEventListener('hashchange', function () { showBatchInput(container); });
    container.appendChild(el('p', '', 'Choose an input above to see its block.'));
    showBatchInput(container);
  } else if (data.kind === 'diff') {
    showDiff(container);
  } else {
    data.inputs.forEach(function (input, i) { container.appendChild(blockView(i + 1, input)); });
  }
  document.documentElement.dataset.ready = 'true';
  window.qlx5100ReadyAt = performance.now();
  // When the first frame with all of it has been laid out and painted: from
  // then on the page answers the pointer at once.
  requestAnimationFrame(function () {
    setTimeout(function () { window.qlx5100PaintedAt = performance.now(); }, 0);
  });
})();
