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
  connection: local
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

import time

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.zelk.firmware.plugins.module_utils import cimxml, jobstatus
from ansible_collections.zelk.firmware.plugins.module_utils.host import (
    BUSY_MESSAGE, NAMESPACE, HostSession, connection_argument_spec)

SYNCHRONOUS_OPTION = 32768
JOB_STARTED = 4096


def packages_of(status, uris):
    found = status.packages if status else []
    result = []
    for index, uri in enumerate(uris):
        package = found[index] if index < len(found) else jobstatus.Package()
        entry = package.as_dict(uri)
        entry['id'] = package.id if package.id is not None else jobstatus.package_id(uri)
        result.append(entry)
    return result


def start_run(session, service, params):
    """Calls InstallFromURI until the host takes the run; (job path, seconds spent on a busy host)."""
    args = [('URI', '|'.join(params['uris']), 'string')]
    if params['install_options'] is not None:
        args.append(('InstallOptions', params['install_options'], 'uint16'))
    if params['update_args'] is not None:
        args.append(('UpdateArgs', params['update_args'], 'string'))

    def attempt():
        try:
            return session.client.invoke_method(service, 'InstallFromURI', args), None
        except cimxml.CimError as e:
            if BUSY_MESSAGE not in e.description:
                raise
            return None, e

    began = time.monotonic()
    while True:
        waited = time.monotonic() - began
        answer, busy = session.call(attempt)
        if busy is None:
            break
        if waited >= params['busy_timeout']:
            session.fail('%s (still busy after %d s)' % (busy, waited))
        time.sleep(min(params['poll_interval'], max(params['busy_timeout'] - waited, 0.1)))
    returned, outputs = answer
    job = outputs.get('Job')
    if returned is None and job is None:
        session.fail('InstallFromURI started no job: the provider takes the synchronous path once any '
                     'client has asked for it (InstallOptions 32768), until it is restarted')
    if returned != JOB_STARTED or not isinstance(job, cimxml.InstanceName):
        session.fail('InstallFromURI returned %s without a job' % returned)
    if job.namespace is None:
        job.namespace = NAMESPACE
    return job, waited


def follow_run(session, service, job, params, uris):
    """Reads the job until the run is over; its last properties and status text."""
    deadline = time.monotonic() + params['wait_timeout']
    previous = None
    while True:
        properties = session.call(session.client.get_instance, job)
        status = jobstatus.StatusText(properties.get('JobStatus'))
        # The text cannot tell the end of a run by itself (see jobstatus): once it looks
        # finished, or has stopped moving with no package in progress, ask the host.
        looks_over = status.settled or (not status.in_progress and status.text == previous)
        if looks_over and not session.busy(service):
            properties = session.call(session.client.get_instance, job)
            return properties, jobstatus.StatusText(properties.get('JobStatus'))
        if time.monotonic() >= deadline:
            session.fail('timeout: the run of job %s did not end within %d s; it goes on on the host'
                         % (job.key('InstanceID'), params['wait_timeout']),
                         packages=packages_of(status, uris), status_text=status.text)
        previous = status.text
        time.sleep(params['poll_interval'])


def summary(packages, cut_job=None):
    """What did not install; `cut_job` names the job whose text ended at a message's line feed."""
    missing = [p for p in packages if not p['installed']]
    described = ', '.join('%s (%s: %s)' % (p['id'], p['code'] if p['code'] is not None else 'no status',
                                           (p['message'] or '').replace('\n', ' ').strip())
                          for p in missing)
    text = '%d of %d packages not installed: %s' % (len(missing), len(packages), described)
    if cut_job:
        text += ('; the job\'s text ends at a message\'s line feed, so it shows no status for the '
                 'packages after it: /tmp/zelkstat%s.txt on the host holds them' % cut_job)
    return text


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
    params = module.params
    uris = params['uris']
    problems = jobstatus.check_uris(uris)
    if problems:
        module.fail_json(msg='uris: ' + '; '.join(problems))
    if SYNCHRONOUS_OPTION in (params['install_options'] or []):
        module.fail_json(msg='install_options: 32768 installs nothing and keeps the provider on the '
                             'synchronous path until it restarts; use check mode to try a list')
    if params['poll_interval'] <= 0:
        module.fail_json(msg='poll_interval must be above 0')

    session = HostSession(module)
    service = session.service()
    if module.check_mode:
        busy = session.busy(service)
        session.client.close()
        ids = ', '.join(jobstatus.package_id(uri) for uri in uris)
        module.exit_json(changed=True, host=session.label, busy=busy, packages=packages_of(None, uris),
                         msg='would install %s%s' % (ids, ' once the run in progress has ended' if busy else ''))

    job, busy_seconds = start_run(session, service, params)
    session.result.update(changed=True, job=job.key('InstanceID'), busy_seconds=round(busy_seconds, 1))
    result = dict(session.result, host=session.label)
    if not params['wait']:
        session.client.close()
        module.exit_json(packages=packages_of(None, uris), msg='run started as job %s' % result['job'], **result)

    properties, status = follow_run(session, service, job, params, uris)
    session.client.close()
    packages = packages_of(status, uris)
    result.update(packages=packages, job_state=properties.get('JobState'), status_text=status.text,
                  changed=any(p['installed'] for p in packages))
    if not all(p['installed'] for p in packages):
        cut = status.cut_at_line_end and len(status.packages) < len(uris)
        module.fail_json(msg=session.message(summary(packages, result['job'] if cut else None)), **result)
    module.exit_json(msg='%d packages installed' % len(packages), **result)


if __name__ == '__main__':
    main()
