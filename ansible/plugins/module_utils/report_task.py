# -*- coding: utf-8 -*-
"""The report task: writes the fleet report of the hosts' install results as Markdown and HTML."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import datetime
import os
import tempfile

from ansible_collections.zelk.firmware.plugins.module_utils import fleetreport
from ansible_collections.zelk.firmware.plugins.module_utils.task import TaskFailed


def write(path, content):
    """Replaces `path` at once, so that a reader sees the old report or the new one, never a part."""
    target = os.path.abspath(path)
    temporary = None
    try:
        os.makedirs(os.path.dirname(target), exist_ok=True)
        descriptor, temporary = tempfile.mkstemp(dir=os.path.dirname(target), prefix='.report-')
        with os.fdopen(descriptor, 'w') as out:
            out.write(content)
        os.chmod(temporary, 0o644)
        os.replace(temporary, target)
    except (IOError, OSError) as e:
        if temporary is not None and os.path.exists(temporary):
            os.unlink(temporary)
        raise TaskFailed('cannot write %s: %s' % (path, e))


def run(params, check_mode):
    generated = datetime.datetime.now(datetime.timezone.utc).strftime('%Y-%m-%d %H:%M UTC')
    report = fleetreport.Report(params['hosts'], params['results'], params['title'], generated)
    if not check_mode:
        if params['markdown_path']:
            write(params['markdown_path'], fleetreport.markdown(report))
        if params['html_path']:
            write(params['html_path'], fleetreport.html_page(report))
    return dict(changed=True, summary=report.counts(), text=report.summary())
