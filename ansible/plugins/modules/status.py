#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: status
short_description: Gather the update provider's service and jobs as facts
description:
  - Reads the host's C(XORVO_VMpkgInstallationService) instance and every C(CIM_ConcreteJob) of
    the provider, with each package's status code and message read from the job's status text.
  - Sets the fact C(zelk_firmware). Changes nothing on the host.
  - When a run starts, the provider writes the new packages' initialisation lines into the status
    file of the previous job, so an earlier job can show another run's packages at code 0.
version_added: 1.0.0
author: zelkprovider team
extends_documentation_fragment:
  - zelk.firmware.connection
  - zelk.firmware.controller
attributes:
  check_mode:
    support: full
    description: Reads as in a normal run.
  facts:
    support: full
options: {}
'''

EXAMPLES = r'''
- name: Read the provider's jobs
  zelk.firmware.status:
    host: esxi-07.example
    username: root
    password: "{{ vault_cim_password }}"
    ca_path: /etc/ssl/fleet-ca.pem

- name: Hosts whose last run left a package uninstalled
  ansible.builtin.debug:
    msg: "{{ zelk_firmware.jobs[-1].packages | rejectattr('installed') | map(attribute='id') }}"
  when: zelk_firmware.jobs | length > 0
'''

RETURN = r'''
ansible_facts:
  description: Facts set for the host.
  returned: always
  type: dict
  contains:
    zelk_firmware:
      description: The service and the jobs.
      type: dict
      contains:
        service:
          description: The service instance's properties and its C(path).
          type: dict
        jobs:
          description: The provider's jobs in job-number order.
          type: list
          elements: dict
          contains:
            instance_id: {description: The job's InstanceID, type: str, sample: ZELK-2}
            job_state: {description: JobState (7 Completed, 4 Running, 10 Exception), type: int}
            job_state_name: {description: Name of the JobState, type: str}
            status_text: {description: The status text as the provider wrote it, type: str}
            complete_flag: {description: The status text's completion flag (the last package of the list finished), type: bool}
            settled: {description: Whether every package has a final code, type: bool}
            packages:
              description: Per package, in URI-list order.
              type: list
              elements: dict
              contains:
                id: {description: Package id, type: str}
                code: {description: Status code (50 installed), type: int}
                message: {description: Status message, type: str}
                installed: {description: Whether the code is 50, type: bool}
                final: {description: Whether the code is final, type: bool}
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.zelk.firmware.plugins.module_utils import status_task
from ansible_collections.zelk.firmware.plugins.module_utils.host import connection_argument_spec
from ansible_collections.zelk.firmware.plugins.module_utils.task import run_module


def argument_spec():
    return connection_argument_spec()


def main():
    module = AnsibleModule(argument_spec=argument_spec(), supports_check_mode=True)
    run_module(module, status_task.run)


if __name__ == '__main__':
    main()
