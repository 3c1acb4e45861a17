#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: maintenance
short_description: Run the update provider's maintenance methods
description:
  - C(ResetCimmon) removes what a failed update left behind on the host (the file store and the
    run lock file); C(DeleteZELKDebugLogFile) removes the provider's trace log, which then starts
    again with one line.
  - The provider answers both with 0 whatever it removed, so the module always reports a change.
  - C(ResetCimmon) is served also while a run is in progress.
version_added: 1.0.0
author: zelkprovider team
extends_documentation_fragment:
  - zelk.firmware.connection
  - zelk.firmware.controller
attributes:
  check_mode:
    support: full
    description: Reaches the host and finds the service, but calls nothing.
options:
  method:
    description: The maintenance method to call.
    type: str
    required: true
    choices: [ResetCimmon, DeleteZELKDebugLogFile]
'''

EXAMPLES = r'''
- name: Clear what a failed update left behind
  zelk.firmware.maintenance:
    host: esxi-07.example
    username: root
    password: "{{ vault_cim_password }}"
    method: ResetCimmon
'''

RETURN = r'''
return_value:
  description: The method's return value (0).
  returned: unless in check mode
  type: int
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.zelk.firmware.plugins.module_utils import maintenance_task
from ansible_collections.zelk.firmware.plugins.module_utils.host import connection_argument_spec
from ansible_collections.zelk.firmware.plugins.module_utils.task import run_module


def argument_spec():
    spec = connection_argument_spec()
    spec.update(method=dict(type='str', required=True, choices=['ResetCimmon', 'DeleteZELKDebugLogFile']))
    return spec


def main():
    module = AnsibleModule(argument_spec=argument_spec(), supports_check_mode=True)
    run_module(module, maintenance_task.run)


if __name__ == '__main__':
    main()
