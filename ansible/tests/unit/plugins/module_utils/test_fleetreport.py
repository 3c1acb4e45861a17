"""The fleet report's colours per host and package, and texts from hosts kept from breaking it."""
from ansible_collections.zelk.firmware.plugins.module_utils import fleetreport


def package(pid, code, message, final=True):
    return {'id': pid, 'code': code, 'message': message, 'installed': code == 50, 'final': final}


RESULTS = {
    'h1': {'changed': True, 'packages': [package('uefi', 50, 'ok'), package('brcd', 50, 'ok')]},
    'h2': {'failed': True, 'msg': 'host h2: 1 of 2 packages not installed',
           'packages': [package('uefi', 53, 'Unable to ping | <script>alert(1)</script>\n'), package('brcd', 50, 'ok')]},
    'h3': {'failed': True, 'msg': 'host h3: connection to https://h3:5989/cimom failed: Connection refused'},
    'h4': {'changed': True, 'msg': 'would install uefi, brcd',
           'packages': [package('uefi', None, None, False), package('brcd', None, None, False)]},
}


def test_rows_cells_and_counts():
    report = fleetreport.Report(['h1', 'h2', 'h3', 'h4', 'h5'], RESULTS, 'Rollout', '2024-01-01 00:00 UTC')
    assert [(r.host, r.kind, r.outcome) for r in report.rows] == [
        ('h1', 'installed', 'installed'), ('h2', 'failed', 'failed'), ('h3', 'failed', 'failed'),
        ('h4', 'none', 'no outcome'), ('h5', 'none', 'not run')]
    assert report.packages == ['uefi', 'brcd']
    assert [report.cell(report.rows[1], p).kind for p in report.packages] == ['failed', 'installed']
    assert report.counts() == {'hosts': 5, 'installed': 1, 'failed': 2, 'no_outcome': 2}


def test_markdown_and_html_hold_host_texts_as_text():
    report = fleetreport.Report(['h1', 'h2', 'h3'], RESULTS, 'Rollout <1>', '2024-01-01 00:00 UTC')
    markdown = fleetreport.markdown(report)
    assert '| h2 | failed | 53 failed | 50 installed |' in markdown
    assert '- h2 uefi: 53: Unable to ping \\| <script>alert(1)</script>' in markdown
    # A host's failure is told once: by its red packages, or by its message when it has none.
    assert '- h2: ' not in markdown and '- h3: host h3: connection to https://h3:5989/cimom failed' in markdown
    assert all(line.count(' | ') == 3 for line in markdown.splitlines() if line.startswith('| h'))
    page = fleetreport.html_page(report)
    assert '<script>' not in page and '&lt;script&gt;' in page and '<title>Rollout &lt;1&gt;</title>' in page
    assert '<td class="failed" title="Unable to ping | &lt;script&gt;' in page
    # Self-contained: one page without outside resources.
    assert page.count('<tr>') == 4 and '<link' not in page and 'src=' not in page
