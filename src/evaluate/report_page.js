// The evaluation report page's own script: it records rendering failures,
// builds the Vega-Lite definition of every plot from the page's JSON data
// and draws them. It runs before the plotting libraries load, so that an
// error in any script of the page is counted.
//
// When every plot has been drawn or has failed, the body carries
//   data-plots-rendered  the plots drawn
//   data-plot-errors     failed plots, script errors and rejected promises
//   data-plots-done      "true"
// so that a headless browser can check the page.
(function () {
  'use strict';

  var rendered = 0;
  var errors = 0;
  var done = false;

  function record() {
    var body = document.body;
    if (!body) return;
    body.setAttribute('data-plots-rendered', String(rendered));
    body.setAttribute('data-plot-errors', String(errors));
    if (done) body.setAttribute('data-plots-done', 'true');
  }

  window.addEventListener('error', function () {
    errors += 1;
    record();
  });
  window.addEventListener('unhandledrejection', function () {
    errors += 1;
    record();
  });

  var seriesColors = {
    domain: ['unadjusted', 'PC-adjusted'],
    range: ['#1f5f9e', '#d0622b']
  };
  var powerColors = {
    domain: ['observed', 'expected (model)', 'expected (nominal)'],
    range: ['#1f5f9e', '#2e8b57', '#b8860b']
  };
  var groupColors = {
    domain: ['cases', 'controls', 'sample'],
    range: ['#c0392b', '#1f5f9e', '#555555']
  };
  // The colour scale of the series or groups that the data hold, so that a
  // legend lists only what is drawn and each keeps its colour.
  function colorsOf(scale, rows, field) {
    var domain = [];
    var range = [];
    scale.domain.forEach(function (name, i) {
      if (rows.some(function (row) { return row[field] === name; })) {
        domain.push(name);
        range.push(scale.range[i]);
      }
    });
    return { domain: domain, range: range };
  }

  var mlog10p = '\u2212log\u2081\u2080 p';

  // The QQ data come as columns, compact for millions of p-values.
  function qqSpec(qq) {
    var points = [];
    var band = [];
    var top = 0;
    qq.series.forEach(function (series) {
      series.x.forEach(function (x, i) {
        var y = series.y[i];
        points.push({ series: series.name, x: x, y: y, p: Math.pow(10, -y) });
        top = Math.max(top, x);
      });
    });
    qq.band.x.forEach(function (x, i) {
      band.push({ x: x, low: qq.band.low[i], high: qq.band.high[i] });
      top = Math.max(top, x);
    });
    var x = { field: 'x', type: 'quantitative', title: 'expected ' + mlog10p };
    return {
      width: 420,
      height: 360,
      layer: [
        {
          data: { values: band },
          mark: { type: 'area', color: '#9aa5b1', opacity: 0.35 },
          encoding: {
            x: x,
            y: { field: 'low', type: 'quantitative', title: 'observed ' + mlog10p },
            y2: { field: 'high' },
            tooltip: [
              { field: 'x', title: 'expected', format: '.3f' },
              { field: 'low', title: '95 % band from', format: '.3f' },
              { field: 'high', title: '95 % band to', format: '.3f' }
            ]
          }
        },
        {
          data: { values: [{ x: 0, y: 0 }, { x: top, y: top }] },
          mark: { type: 'line', color: '#444444', strokeDash: [5, 4], strokeWidth: 1 },
          encoding: { x: x, y: { field: 'y', type: 'quantitative' } }
        },
        {
          data: { values: points },
          mark: { type: 'point', filled: true, size: 14, opacity: 0.8 },
          encoding: {
            x: x,
            y: { field: 'y', type: 'quantitative' },
            color: { field: 'series', type: 'nominal', title: null, scale: colorsOf(seriesColors, points, 'series') },
            tooltip: [
              { field: 'series', title: 'series' },
              { field: 'p', title: 'p', format: '.3g' },
              { field: 'x', title: 'expected', format: '.3f' },
              { field: 'y', title: 'observed', format: '.3f' }
            ]
          }
        }
      ]
    };
  }

  // A histogram of counted bins; several series share the bins and overlap.
  function histogramSpec(bins, options) {
    var layers = [
      {
        mark: { type: 'bar', opacity: options.colorField ? 0.55 : 0.85, binSpacing: 0 },
        encoding: {
          x: { field: 'start', type: 'quantitative', bin: 'binned', title: options.xTitle },
          x2: { field: 'end' },
          y: { field: options.yField, type: 'quantitative', stack: null, title: options.yTitle },
          tooltip: [
            { field: 'start', title: 'from', format: '.3g' },
            { field: 'end', title: 'to', format: '.3g' },
            { field: 'count', title: 'count' }
          ]
        }
      }
    ];
    if (options.colorField) {
      layers[0].encoding.color = {
        field: options.colorField, type: 'nominal', title: null,
        scale: colorsOf(options.colors, bins, options.colorField)
      };
      layers[0].encoding.tooltip.unshift({ field: options.colorField, title: options.colorField });
    } else {
      layers[0].mark.color = '#555555';
    }
    if (options.rule !== undefined) {
      layers.push({
        data: { values: [{ at: options.rule }] },
        mark: { type: 'rule', color: '#444444', strokeDash: [5, 4] },
        encoding: { x: { field: 'at', type: 'quantitative' } }
      });
    }
    return { width: 420, height: 240, data: { values: bins }, layer: layers };
  }

  function powerSpec(power) {
    var alphas = [];
    power.forEach(function (d) {
      if (alphas.every(function (a) { return a.alpha !== d.alpha; })) {
        alphas.push({ alpha: d.alpha, label: d.alphaLabel });
      }
    });
    alphas.sort(function (a, b) { return b.alpha - a.alpha; });
    var x = {
      field: 'alphaLabel', type: 'ordinal', title: 'significance level \u03b1',
      sort: alphas.map(function (a) { return a.label; }),
      axis: { labelAngle: 0 }
    };
    var offset = { field: 'series', type: 'nominal', scale: { domain: colorsOf(powerColors, power, 'series').domain } };
    return {
      data: { values: power },
      facet: { column: { field: 'locus', type: 'nominal', title: null } },
      spec: {
        width: Math.max(160, 60 * alphas.length),
        height: 260,
        layer: [
          {
            transform: [{ filter: 'datum.low != null && datum.high != null' }],
            mark: { type: 'rule', strokeWidth: 1.5, color: '#1f5f9e' },
            encoding: {
              x: x,
              xOffset: offset,
              y: { field: 'low', type: 'quantitative' },
              y2: { field: 'high' }
            }
          },
          {
            mark: { type: 'point', filled: true, size: 70 },
            encoding: {
              x: x,
              xOffset: offset,
              y: {
                field: 'value', type: 'quantitative', title: 'power',
                scale: { domain: [0, 1] }
              },
              color: { field: 'series', type: 'nominal', title: null, scale: colorsOf(powerColors, power, 'series') },
              shape: { field: 'series', type: 'nominal', title: null, scale: { domain: colorsOf(powerColors, power, 'series').domain } },
              tooltip: [
                { field: 'locus', type: 'nominal' },
                { field: 'alphaLabel', title: '\u03b1' },
                { field: 'series', type: 'nominal' },
                { field: 'value', title: 'power', format: '.3f' },
                { field: 'low', title: '95 % from', format: '.3f' },
                { field: 'high', title: '95 % to', format: '.3f' }
              ]
            }
          }
        ]
      }
    };
  }

  function specFor(name, data) {
    switch (name) {
      case 'qq':
        return qqSpec(data.qq);
      case 'lambda':
        return histogramSpec(data.lambda, {
          colorField: 'series', colors: seriesColors, yField: 'count',
          xTitle: 'genomic-control \u03bb', yTitle: 'replicates', rule: 1
        });
      case 'power':
        return powerSpec(data.power);
      case 'ancestry':
        return histogramSpec(data.ancestry, {
          colorField: 'group', colors: groupColors, yField: 'fraction',
          xTitle: 'YRI ancestry', yTitle: 'fraction of the group'
        });
      case 'phenotype':
        return histogramSpec(data.phenotype, {
          yField: 'count', xTitle: 'phenotype', yTitle: 'individuals'
        });
      default:
        throw new Error('no plot named ' + name);
    }
  }

  function drawPlots() {
    var elements = Array.prototype.slice.call(document.querySelectorAll('[data-plot]'));
    var pending = elements.length;
    function settled() {
      pending -= 1;
      if (pending === 0) done = true;
      record();
    }
    if (pending === 0) {
      done = true;
      record();
      return;
    }
    var data;
    try {
      data = JSON.parse(document.getElementById('report-data').textContent);
    } catch (e) {
      errors += elements.length;
      done = true;
      record();
      return;
    }
    elements.forEach(function (element) {
      var name = element.getAttribute('data-plot');
      try {
        if (typeof vegaEmbed !== 'function') throw new Error('the plotting library did not load');
        vegaEmbed(element, specFor(name, data), { renderer: 'svg', actions: false }).then(
          function () {
            rendered += 1;
            settled();
          },
          function (error) {
            errors += 1;
            element.textContent = 'This plot could not be drawn: ' + error;
            settled();
          });
      } catch (error) {
        errors += 1;
        element.textContent = 'This plot could not be drawn: ' + error;
        settled();
      }
    });
  }

  document.addEventListener('DOMContentLoaded', function () {
    record();
    drawPlots();
  });
})();
