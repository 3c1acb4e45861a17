#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: report
short_description: Write the fleet report of a rollout as Markdown and HTML
description:
  - Writes a table with one row per host and one column per package from the results that
    M(zelk.firmware.install) returned for each host; green installed, red failed, grey without
    outcome (not reached, check mode, run unfinished). The HTML page is self-contained.
  - Runs on the control node, inside Ansible's own process (the collection's action plugin), so the
    files are written there whatever the task's host; once for the fleet (C(run_once=true)).
version_added: 1.0.0
author: zelkprovider team
extends_documentation_fragment:
  - zelk.firmware.controller
attributes:
  check_mode:
    support: full
    description: Writes nothing.
options:
  hosts:
    description: Every host of the rollout, in report order; hosts without a result show grey.
    type: list
    elements: str
    required: true
  results:
    description: The registered result of M(zelk.firmware.install) per host name.
    type: dict
    default: {}
  markdown_path:
    description: Where to write the Markdown report.
    type: path
  html_path:
    description: Where to write the HTML page.
    type: path
  title:
    description: Heading of the report.
    type: str
    default: Firmware rollout
'''

EXAMPLES = r'''
- name: Fleet report
  zelk.firmware.report:
    hosts: "{{ ansible_play_hosts_all }}"
    results: "{{ dict(ansible_play_hosts_all | zip(ansible_play_hosts_all | map('extract', hostvars, 'firmware'))) }}"
    markdown_path: reports/rollout.md
    html_path: reports/rollout.html
  run_once: true
'''

RETURN = r'''
summary:
  description: Host counts.
  returned: always
  type: dict
  sample: {hosts: 20, installed: 17, failed: 3, no_outcome: 0}
text:
  description: The summary as one line.
  returned: always
  type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.zelk.firmware.plugins.module_utils import report_task
from ansible_collections.zelk.firmware.plugins.module_utils.task import run_module

REQUIRED_ONE_OF = [('markdown_path', 'html_path')]


def argument_spec():
    return dict(
        hosts=dict(type='list', elements='str', required=True),
        results=dict(type='dict', default={}),
        markdown_path=dict(type='path'),
        html_path=dict(type='path'),
        title=dict(type='str', default='Firmware rollout'),
    )


def main():
    module = AnsibleModule(argument_spec=argument_spec(), required_one_of=REQUIRED_ONE_OF, supports_check_mode=True)
    run_module(module, report_task.run)


if __name__ == '__main__':
    main()
