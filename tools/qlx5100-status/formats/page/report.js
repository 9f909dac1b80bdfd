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
    if (!input.ok) {
      // A refused block: its bytes, if any, and no values.
      if (input.bytes) input.values = columns.map(function () { return null; });
      return;
    }
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

  // What the field dictionary knows of each key (--describe's rows; the
  // first of a key's rows tells its type).
  var fieldInfo = {};
  data.fields.forEach(function (f) { if (!(f.key in fieldInfo)) fieldInfo[f.key] = f; });

  // One colour per key the dictionary places, the same on every page: as
  // many as there are such keys, spread evenly round the hue circle of
  // OKLab (where equal steps look equal) in two lightnesses, light enough
  // for dark text. Keys next to each other in the dictionary (and so in the
  // block) get hues far apart and the other lightness.
  var keyColour = {};
  (function () {
    var keys = Object.keys(fieldInfo).map(function (key) { return fieldInfo[key]; })
        .filter(function (f) { return f.type !== 'constant'; });
    var slots = keys.length + keys.length % 2;
    var stride = Math.round(slots * 0.38);
    function gcd(a, b) { return b ? gcd(b, a % b) : a; }
    while (gcd(stride, slots) !== 1) ++stride;
    var rules = '';
    keys.forEach(function (f, i) {
      var slot = (i * stride) % slots;
      keyColour[f.key] = i;
      rules += '.k' + i + ' { background: ' +
          oklab(slot % 2 ? 0.76 : 0.86, 2 * Math.PI * slot / slots) + '; }\n';
    });
    document.head.appendChild(el('style', '', rules));
  })();

  // The most saturated colour of that lightness and hue that sRGB can show,
  // up to a chroma that keeps text on it legible.
  function oklab(lightness, hue) {
    function cube(v) { return v * v * v; }
    for (var c = 0.13; ; c -= 0.005) {
      var a = c * Math.cos(hue), b = c * Math.sin(hue);
      var l = cube(lightness + 0.3963377774 * a + 0.2158037573 * b);
      var m = cube(lightness - 0.1055613458 * a - 0.0638541728 * b);
      var s = cube(lightness - 0.0894841775 * a - 1.2914855480 * b);
      var rgb = [4.0767416621 * l - 3.3077115913 * m + 0.2309699292 * s,
                 -1.2684380046 * l + 2.6097574011 * m - 0.3413193965 * s,
                 -0.0041960863 * l - 0.7034186147 * m + 1.7076147010 * s];
      if (c <= 0 || rgb.every(function (v) { return v >= 0 && v <= 1; })) {
        return '#' + rgb.map(function (v) {
          v = Math.min(1, Math.max(0, v));
          v = v <= 0.0031308 ? 12.92 * v : 1.055 * Math.pow(v, 1 / 2.4) - 0.055;
          return hex(Math.round(v * 255), 2);
        }).join('');
      }
    }
  }

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

  // What a grid needs of one input: its bytes, which fields read each byte
  // and the lines it must show (those with a non-zero byte or a field's).
  function prepare(input) {
    var view = {placed: new Set(input.placed), hexCells: [], textCells: [], rows: {},
                fieldsAt: [], busy: new Set(), bytes: decode(input)};
    view.placed.forEach(function (c) {
      var col = columns[c];
      for (var i = col.offset; i < col.offset + col.width && i < view.bytes.length; ++i) {
        (view.fieldsAt[i] = view.fieldsAt[i] || []).push(c);
      }
    });
    for (var i = 0; i < view.bytes.length; ++i) {
      if (view.bytes[i] !== 0 || view.fieldsAt[i]) view.busy.add(Math.floor(i / PER_LINE));
    }
    return view;
  }

  // The hex grid: offsets, sixteen bytes a line and the text column. Bytes
  // of a field carry its key's colour; bytes no field reads stay plain.
  // Two or more lines in a row that are only zeros and hold no field fold
  // into one, as xxd's "*" does; it opens on a click or from the keyboard.
  function grid(view) {
    var bytes = view.bytes, fieldsAt = view.fieldsAt;
    var box = el('div', 'grid');
    var lines = Math.ceil(bytes.length / PER_LINE);
    for (var n = 0; n < lines;) {
      var end = n;
      while (end < lines && !view.busy.has(end)) ++end;
      if (end - n < 2) {
        box.appendChild(gridLine(view, n * PER_LINE));
        ++n;
        continue;
      }
      var run = box.appendChild(el('details', 'run'));
      var from = n * PER_LINE, to = Math.min(end * PER_LINE, bytes.length);
      run.dataset.bytes = to - from;
      var summary = run.appendChild(el('summary'));
      summary.appendChild(el('span', 'off', '*'));
      summary.appendChild(el('span', 'zeros', (to - from) + ' zero bytes, ' + hex(from, 8) +
          '\u2013' + hex(to - 1, 8)));
      for (; n < end; ++n) run.appendChild(gridLine(view, n * PER_LINE));
    }
    onPoint(box, function (target) {
      var i = target.dataset ? target.dataset.i : undefined;
      return i !== undefined && fieldsAt[i] ? fieldsAt[i] : null;
    });
    return box;
  }

  function gridLine(view, line) {
    var bytes = view.bytes, fieldsAt = view.fieldsAt;
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
    // A short last line keeps its text column in line with those above.
    for (; i < line + PER_LINE; ++i) hexPart.appendChild(el('i', 'pad'));
    row.appendChild(hexPart);
    row.appendChild(textPart);
    return row;
  }

  function warningsFor(input, col) {
    return (input.warnings || []).filter(function (w) {
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
    ['', 'Key', 'Index', 'Offset', 'Width', 'Value', 'Read as', 'Warnings'].forEach(function (name) {
      head.appendChild(el('th', '', name));
    });
    table.appendChild(el('thead')).appendChild(head);
    var body = table.appendChild(el('tbody'));
    // A block the analyzer refused has no values, but its fields still
    // have their bytes.
    input.values.forEach(function (value, c) {
      var placed = view.placed.has(c);
      if (value === null && !(placed && !input.ok)) return;
      var col = columns[c];
      var tr = el('tr', changed.has(c) ? 'changed' : '');
      tr.dataset.col = c;
      tr.dataset.key = col.key;
      tr.tabIndex = 0;
      tr.appendChild(el('td', placed ? 'swatch k' + keyColour[col.key] : 'swatch'));
      tr.appendChild(el('td', 'key', col.key));
      tr.appendChild(el('td', 'index', col.index));
      tr.appendChild(el('td', 'offset', placed ? '0x' + hex(col.offset, 3) : '-'));
      tr.appendChild(el('td', 'width', placed ? col.width : '-'));
      tr.appendChild(el('td', value === null ? 'value none' : 'value',
                        value === null ? 'not decoded' : value));
      tr.appendChild(readAs(col));
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

  // The dictionary's word on a field: its type and how the analyzer reads
  // it, and for a counted field what counts it.
  function readAs(col) {
    var f = fieldInfo[col.key];
    var cell = el('td', 'read');
    if (!f) {
      cell.textContent = 'not in the field dictionary';
      return cell;
    }
    cell.appendChild(el('span', 'type', f.type));
    cell.appendChild(document.createTextNode(', '));
    cell.appendChild(el('span', 'how', f.readWith));
    if (f.countedBy) {
      cell.appendChild(document.createTextNode('; entry ' + col.index + ' of as many as ' +
                                               f.countedBy + ' says'));
    }
    return cell;
  }

  // One input: its bytes beside its fields; a refused input with its error
  // and whatever bytes it has. view: prepare(input), unless the caller
  // needs it first.
  function blockView(number, input, changed, view) {
    var section = el('section', 'block');
    section.id = 'input-' + number;
    section.appendChild(el('h2', '', input.file));
    if (!input.ok) section.appendChild(el('p', 'error', input.error));
    if (!input.bytes) return section;
    view = view || prepare(input);
    var bytes = view.bytes;
    var size = input.size + ' bytes' + (bytes.length < input.size
        ? '; the first ' + bytes.length + ' are shown, as far as the fields reach' : '');
    section.appendChild(el('p', 'size', size));
    var notes = warningsFor(input, null);
    if (notes.length) {
      var list = section.appendChild(el('ul', 'notes'));
      notes.forEach(function (w) { list.appendChild(el('li', '', w.text)); });
    }
    var panes = section.appendChild(el('div', 'panes'));
    panes.appendChild(grid(view));
    panes.appendChild(fieldTable(view, input, changed || new Set()));
    views.push(view);
    section.view = view;
    return section;
  }

  function showDiff(container) {
    var changed = new Set(data.changes.map(function (c) { return c.column; }));
    var box = el('div', 'views-diff');
    // Both grids fold the same lines, so that they stay side by side line
    // for line, and no line with a byte that differs.
    var prepared = data.inputs.map(prepare);
    var a = prepared[0].bytes, b = prepared[1].bytes;
    var differs = [];
    for (var i = 0; i < Math.max(a.length, b.length); ++i) {
      if (a[i] !== b[i]) differs.push(i);
    }
    var busy = new Set(differs.map(function (i) { return Math.floor(i / PER_LINE); }));
    prepared.forEach(function (view) { view.busy.forEach(function (n) { busy.add(n); }); });
    var shown = data.inputs.map(function (input, i) {
      prepared[i].busy = busy;
      var section = blockView(i + 1, input, changed, prepared[i]);
      section.insertBefore(el('h3', '', i === 0 ? 'Old' : 'New'), section.firstChild);
      box.appendChild(section);
      return section.view;
    });
    container.appendChild(box);
    // Every byte that differs, in both grids; past the end of the shorter
    // block every byte of the longer one differs.
    differs.forEach(function (i) {
      shown.forEach(function (view) {
        if (i < view.bytes.length) {
          view.hexCells[i].classList.add('diff');
          view.textCells[i].classList.add('diff');
        }
      });
    });
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

  // Round ticks covering lo..hi, about `count` of them: 1, 2 or 5 times a
  // power of ten apart, and whole numbers for whole-number data.
  function ticks(lo, hi, count, whole) {
    if (lo === hi) { lo -= 1; hi += 1; }
    var raw = (hi - lo) / count;
    var power = Math.pow(10, Math.floor(Math.log(raw) / Math.LN10));
    var step = 10 * power;
    [5, 2, 1].forEach(function (m) { if (m * power >= raw) step = m * power; });
    if (whole) step = Math.max(1, step);
    var decimals = Math.max(0, -Math.floor(Math.log(step) / Math.LN10 + 1e-9));
    var values = [];
    for (var k = Math.floor(lo / step + 1e-9); k <= Math.ceil(hi / step - 1e-9); ++k) {
      values.push(Number((k * step).toFixed(decimals)));
    }
    return {values: values, decimals: decimals};
  }

  // Each series is told apart by more than its colour, so that series that
  // coincide stay visible: the first is a wide solid line under the others,
  // which are ever narrower with their own dash pattern, and each has its
  // own marker shape.
  var MARKERS = [
    function (x, y, r) {
      return 'M' + (x - r) + ',' + y + 'a' + r + ',' + r + ' 0 1,0 ' + 2 * r + ',0' +
          'a' + r + ',' + r + ' 0 1,0 ' + -2 * r + ',0z';
    },
    function (x, y, r) {
      r *= 1.5;
      return 'M' + (x - r) + ',' + (y - r) + 'h' + 2 * r + 'v' + 2 * r + 'h' + -2 * r + 'z';
    },
    function (x, y, r) {
      r *= 1.8;
      return 'M' + x + ',' + (y - r) + 'L' + (x + r) + ',' + (y + r * 0.8) + 'L' + (x - r) +
          ',' + (y + r * 0.8) + 'z';
    },
    function (x, y, r) {
      r *= 1.9;
      return 'M' + x + ',' + (y - r) + 'L' + (x + r) + ',' + y + 'L' + x + ',' + (y + r) +
          'L' + (x - r) + ',' + y + 'z';
    },
  ];

  function marker(s, x, y, r, cls) {
    return svg('path', {'class': cls || 'pt', d: MARKERS[s](Number(x.toFixed(1)), Number(y.toFixed(1)), r)});
  }

  // A line chart of the chosen columns across the inputs, one point per
  // input that has a value; a failed input leaves a gap in the line.
  function drawChart(container, choice) {
    var cols = chartSeries(choice);
    var n = data.inputs.length;
    var W = 960, H = 324, L = 56, R = 28, T = 16, B = 44;
    var lo = Infinity, hi = -Infinity, whole = true;
    var series = cols.map(function (c) {
      return data.inputs.map(function (input) {
        var v = input.ok ? input.values[c] : null;
        if (v === null || v === undefined) return null;
        v = Number(v);
        lo = Math.min(lo, v);
        hi = Math.max(hi, v);
        whole = whole && Number.isInteger(v);
        return v;
      });
    });
    if (lo === Infinity) { lo = 0; hi = 1; }
    var yTicks = ticks(lo, hi, 5, whole);
    lo = yTicks.values[0];
    hi = yTicks.values[yTicks.values.length - 1];
    function x(i) { return L + (n > 1 ? i * (W - L - R) / (n - 1) : (W - L - R) / 2); }
    function y(v) { return T + (hi - v) * (H - T - B) / (hi - lo); }
    var chart = svg('svg', {viewBox: '0 0 ' + W + ' ' + H, role: 'img', 'class': 'plot'});
    chart.appendChild(svg('title', {})).textContent = cols.map(function (c) {
      return label(columns[c]);
    }).join(', ') + ' across ' + n + ' inputs';
    var labels = [];
    function text(x0, y0, anchor, content, cls) {
      var t = chart.appendChild(svg('text', {x: x0, y: y0, 'text-anchor': anchor, 'class': cls}));
      t.textContent = content;
      labels.push(t);
      return t;
    }
    yTicks.values.forEach(function (v) {
      chart.appendChild(svg('line', {x1: L, y1: y(v), x2: W - R, y2: y(v), 'class': 'rule'}));
      text(L - 6, y(v) + 4, 'end', v.toFixed(yTicks.decimals), 'tick y');
    });
    chart.appendChild(svg('line', {x1: L, y1: T, x2: L, y2: H - B, 'class': 'axis'}));
    chart.appendChild(svg('line', {x1: L, y1: H - B, x2: W - R, y2: H - B, 'class': 'axis'}));
    // Inputs are numbered from 1: the first, then round numbers.
    var xTicks = ticks(1, Math.max(n, 1), 8, true).values.filter(function (i) {
      return i > 1 && i <= n;
    });
    [1].concat(xTicks).forEach(function (i) {
      chart.appendChild(svg('line', {x1: x(i - 1), y1: H - B, x2: x(i - 1), y2: H - B + 4,
                                     'class': 'axis'}));
      text(x(i - 1), H - B + 20, 'middle', '#' + i, 'tick x');
    });
    text((L + W - R) / 2, H - 6, 'middle', 'input', 'name');
    var r = n > 200 ? 1.5 : 3;
    series.forEach(function (values, s) {
      var group = chart.appendChild(svg('g', {'class': 'series s' + s, 'data-col': cols[s]}));
      var points = [];
      function flush() {
        if (points.length > 1) group.appendChild(svg('polyline', {points: points.join(' ')}));
        points = [];
      }
      var marks = [];
      values.forEach(function (value, i) {
        if (value === null) { flush(); return; }
        var px = x(i), py = y(value);
        points.push(px.toFixed(1) + ',' + py.toFixed(1));
        var dot = marker(s, px, py, r);
        dot.dataset.input = i + 1;
        marks.push(dot);
      });
      flush();
      marks.forEach(function (dot) { group.appendChild(dot); });
    });
    chart.addEventListener('click', function (event) {
      var dot = event.target.closest('.pt');
      if (dot) location.hash = '#input-' + dot.dataset.input;
    });
    // One tooltip for every point: a title each would double the elements
    // of a chart of thousands.
    var tip = el('p', 'tip', '\u00a0');
    chart.addEventListener('mouseover', function (event) {
      var dot = event.target.closest('.pt');
      if (!dot) return;
      var i = Number(dot.dataset.input);
      var c = Number(dot.parentNode.dataset.col);
      tip.textContent = '#' + i + ' ' + data.inputs[i - 1].file + ': ' + label(columns[c]) +
          ' = ' + data.inputs[i - 1].values[c];
    });
    var legend = el('p', 'legend');
    series.forEach(function (values, s) {
      var item = legend.appendChild(el('span'));
      var sample = item.appendChild(svg('svg', {width: 36, height: 12, 'class': 'sample'}));
      var g = sample.appendChild(svg('g', {'class': 's' + s}));
      g.appendChild(svg('polyline', {points: '2,6 34,6'}));
      g.appendChild(marker(s, 18, 6, 3, 'mark'));
      var name = label(columns[cols[s]]);
      // A series hidden under another would otherwise pass unnoticed.
      for (var other = 0; other < s; ++other) {
        if (values.every(function (v, i) { return v === series[other][i]; })) {
          name += ' (the same as ' + label(columns[cols[other]]) + ' at every input)';
          item.className = 'same';
          break;
        }
      }
      item.appendChild(document.createTextNode(name));
    });
    container.textContent = '';
    container.appendChild(legend);
    container.appendChild(chart);
    container.appendChild(tip);
    // Labels at the chart's edges, such as the last input's number, are
    // moved inside it rather than cut off.
    labels.forEach(function (t) {
      var box = t.getBBox();
      var shift = box.x < 0 ? -box.x : Math.min(0, W - (box.x + box.width));
      if (shift) t.setAttribute('x', Number(t.getAttribute('x')) + shift);
    });
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
