# -*- coding: utf-8 -*-
"""The fleet report: one row per host, one column per package, as Markdown and as an HTML page.

A host's entry is what zelk.firmware.install returned for it (as registered), or nothing when
the rollout never reached it. A cell is green when the package was installed, red when it got a
final code other than 50, grey when it has no outcome (not run, check mode, run unfinished).
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import html

INSTALLED, FAILED, NONE = 'installed', 'failed', 'none'
COLOURS = {INSTALLED: '#1e7b34', FAILED: '#b3261e', NONE: '#8a8a8a'}


class Cell(object):
    def __init__(self, kind, text, detail=''):
        self.kind = kind
        self.text = text
        self.detail = detail


class HostRow(object):
    def __init__(self, host, result):
        self.host = host
        self.cells = {}
        result = result or {}
        for package in result.get('packages') or []:
            self.cells[package.get('id')] = self._cell(package)
        if not result:
            self.kind, self.outcome, self.note = NONE, 'not run', ''
        elif result.get('failed'):
            self.kind, self.outcome, self.note = FAILED, 'failed', str(result.get('msg', ''))
        elif result.get('skipped'):
            self.kind, self.outcome, self.note = NONE, 'skipped', str(result.get('skip_reason', ''))
        elif self.cells and all(cell.kind == INSTALLED for cell in self.cells.values()):
            self.kind, self.outcome, self.note = INSTALLED, 'installed', ''
        else:
            self.kind, self.outcome, self.note = NONE, 'no outcome', str(result.get('msg', ''))

    @staticmethod
    def _cell(package):
        code, message = package.get('code'), (package.get('message') or '').strip()
        if package.get('installed'):
            return Cell(INSTALLED, '50 installed', message)
        if code is not None and package.get('final'):
            return Cell(FAILED, '%s failed' % code, message)
        return Cell(NONE, '%s' % code if code is not None else '-', message)


class Report(object):
    def __init__(self, hosts, results, title, generated):
        self.title = title
        self.generated = generated
        self.rows = [HostRow(host, results.get(host)) for host in hosts]
        self.packages = []
        for row in self.rows:
            self.packages.extend(p for p in row.cells if p not in self.packages)

    def counts(self):
        counts = {INSTALLED: 0, FAILED: 0, NONE: 0}
        for row in self.rows:
            counts[row.kind] += 1
        return {'hosts': len(self.rows), 'installed': counts[INSTALLED], 'failed': counts[FAILED],
                'no_outcome': counts[NONE]}

    def summary(self):
        c = self.counts()
        return '%d hosts: %d installed, %d failed, %d without outcome' % (
            c['hosts'], c['installed'], c['failed'], c['no_outcome'])

    def cell(self, row, package):
        return row.cells.get(package) or Cell(NONE, '-')

    def problems(self):
        """(host, package, text) of every red cell; (host, None, text) of a host that failed
        otherwise (unreachable, busy, run unfinished)."""
        found = []
        for row in self.rows:
            red = [(row.host, package, '%s: %s' % (cell.text.split()[0], cell.detail))
                   for package, cell in ((p, self.cell(row, p)) for p in self.packages) if cell.kind == FAILED]
            found += red or ([(row.host, None, row.note)] if row.kind == FAILED else [])
        return found


def _md(text):
    return ' '.join(str(text).split()).replace('|', '\\|')


def markdown(report):
    lines = ['# %s' % _md(report.title), '', '%s. %s.' % (report.generated, report.summary()), '',
             '| Host | Outcome | %s |' % ' | '.join(_md(p) for p in report.packages),
             '|---|---|%s' % ''.join('---|' for dummy in report.packages)]
    for row in report.rows:
        cells = ' | '.join(_md(report.cell(row, p).text) for p in report.packages)
        lines.append('| %s | %s | %s |' % (_md(row.host), row.outcome, cells))
    problems = report.problems()
    if problems:
        lines += ['', '## Failures', '']
        lines += ['- %s%s: %s' % (_md(host), ' ' + _md(package) if package else '', _md(text))
                  for host, package, text in problems]
    return '\n'.join(lines) + '\n'


_STYLE = '''body{font-family:system-ui,sans-serif;margin:2em;color:#222}
table{border-collapse:collapse}th,td{border:1px solid #ccc;padding:.3em .6em;text-align:left}
td.installed,td.failed,td.none{color:#fff;font-weight:600}
td.installed{background:%(installed)s}td.failed{background:%(failed)s}td.none{background:%(none)s}
.legend span{display:inline-block;padding:.1em .5em;margin-right:.5em;color:#fff}
li{margin:.2em 0;white-space:pre-wrap}''' % COLOURS


def _td(kind, text, detail=''):
    title = ' title="%s"' % html.escape(detail) if detail else ''
    return '<td class="%s"%s>%s</td>' % (kind, title, html.escape(text))


def html_page(report):
    e = html.escape
    head = ''.join('<th>%s</th>' % e(p) for p in report.packages)
    rows = []
    for row in report.rows:
        cells = ''.join(_td(report.cell(row, p).kind, report.cell(row, p).text, report.cell(row, p).detail)
                        for p in report.packages)
        rows.append('<tr><th>%s</th>%s%s</tr>' % (e(row.host), _td(row.kind, row.outcome, row.note), cells))
    problems = ''.join('<li><b>%s%s</b>: %s</li>' % (e(host), ' ' + e(package) if package else '', e(text))
                       for host, package, text in report.problems())
    legend = ''.join('<span style="background:%s">%s</span>' % (COLOURS[k], label)
                     for k, label in ((INSTALLED, 'installed'), (FAILED, 'failed'), (NONE, 'no outcome')))
    return ('<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8"><title>%s</title>'
            '<style>%s</style></head><body><h1>%s</h1><p>%s. %s.</p><p class="legend">%s</p>'
            '<table><tr><th>Host</th><th>Outcome</th>%s</tr>%s</table>%s</body></html>\n') % (
        e(report.title), _STYLE, e(report.title), e(report.generated), e(report.summary()), legend,
        head, ''.join(rows), '<h2>Failures</h2><ul>%s</ul>' % problems if problems else '')
