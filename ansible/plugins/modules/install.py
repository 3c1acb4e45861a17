#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
module: install
short_description: Install firmware and driver packages on a host through its update provider
description:
  - Calls C(InstallFromURI) on the host's C(XORVO_VMpkgInstallationService) instance with a list of
    package descriptor locations, then follows the returned C(CIM_ConcreteJob) until every package
    has its outcome, and returns each package's status code and message.
  - A host that answers "An installation process is running" is asked again every I(poll_interval)
    seconds until I(busy_timeout) has passed.
  - The run counts as over when the provider has no run alive any more, which the module asks
    once every package has a final status code, or once the status text has stopped changing with
    no package in progress. C(JobState) alone is no guide, as it says Completed as soon as any
    package message holds "successfully". See the collection's docs for the whole rule.
version_added: 1.0.0
author: zelkprovider team
extends_documentation_fragment:
  - zelk.firmware.connection
  - zelk.firmware.controller
attributes:
  check_mode:
    support: full
    description: Reaches the host, finds the service, checks the URI list and whether a run is
      alive, and reports what would be installed. Nothing is installed.
options:
  uris:
    description:
      - Package descriptor locations, all C(file://), C(tftp://) or C(sftp://) paths, or one
        C(ftp://) hypervisor bundle location; at most 20, each under 200 characters.
      - They are joined with C(|) into the provider's C(URI) argument.
    type: list
    elements: str
    required: true
  install_options:
    description:
      - C(InstallOptions) values. 32769 asks for a background run, which is also what the provider
        does without them.
      - 32768 (synchronous) is refused, because it installs nothing and keeps the provider on that
        path until it restarts; use check mode to try a list.
    type: list
    elements: int
  update_args:
    description: C(UpdateArgs) text; C(--backup) in it updates the controller's backup bank.
    type: str
  wait:
    description: Follow the job until the run is over. With C(false) the module returns once the run has started.
    type: bool
    default: true
  wait_timeout:
    description: Seconds to follow the job before failing; the run goes on on the host.
    type: int
    default: 3600
  poll_interval:
    description: Seconds between two reads of the job, and between two tries on a busy host.
    type: float
    default: 5
  busy_timeout:
    description: Seconds to keep asking a host whose provider is busy with another run.
    type: int
    default: 600
'''

EXAMPLES = r'''
- name: Update the system firmware of every host
  hosts: esxi
  gather_facts: false
  module_defaults:
    group/zelk.firmware.all:
      host: "{{ ansible_host }}"
      username: root
      password: "{{ vault_cim_password }}"
      ca_path: /etc/ssl/fleet-ca.pem
  tasks:
    - name: Install UEFI and controller firmware
      zelk.firmware.install:
        uris:
          - file:///vmfs/volumes/depot/uefi.xml
          - file:///vmfs/volumes/depot/vxc.xml
        update_args: --backup
      register: firmware

    - name: Show what was installed
      ansible.builtin.debug:
        msg: "{{ firmware.packages | map(attribute='id') | zip(firmware.packages | map(attribute='code')) }}"
'''

RETURN = r'''
packages:
  description: One entry per URI, in list order, as the job's status text reports it.
  returned: always
  type: list
  elements: dict
  contains:
    id: {description: Package id (the descriptor's file name without extension), type: str}
    uri: {description: The descriptor URI, type: str}
    code: {description: Last status code (50 installed), type: int}
    message: {description: Last status message, type: str}
    installed: {description: Whether the package was installed, type: bool}
    final: {description: Whether the code is final (not initialised, downloaded or in progress), type: bool}
job:
  description: InstanceID of the run's C(CIM_ConcreteJob).
  returned: when a run was started
  type: str
  sample: ZELK-3
job_state:
  description: The job's last C(JobState) (7 Completed, 4 Running, 10 Exception).
  returned: when a run was started
  type: int
status_text:
  description: The job's last status text, as the provider wrote it.
  returned: when a run was started
  type: str
busy_seconds:
  description: Seconds spent waiting for another run on the host to end.
  returned: when a run was started
  type: float
busy:
  description: Whether a run was alive on the host (check mode).
  returned: in check mode
  type: bool
host:
  description: How messages name the host.
  returned: always
  type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.zelk.firmware.plugins.module_utils import install_task
from ansible_collections.zelk.firmware.plugins.module_utils.host import connection_argument_spec
from ansible_collections.zelk.firmware.plugins.module_utils.task import run_module


def argument_spec():
    spec = connection_argument_spec()
    spec.update(
        uris=dict(type='list', elements='str', required=True),
        install_options=dict(type='list', elements='int'),
        update_args=dict(type='str'),
        wait=dict(type='bool', default=True),
        wait_timeout=dict(type='int', default=3600),
        poll_interval=dict(type='float', default=5),
        busy_timeout=dict(type='int', default=600),
    )
    return spec


def main():
    module = AnsibleModule(argument_spec=argument_spec(), supports_check_mode=True)
    run_module(module, install_task.run)


if __name__ == '__main__':
    main()
