# -*- coding: utf-8 -*-
"""The install task: starts a run of InstallFromURI on a host and follows its job until every
package has its outcome (see jobstatus for when a run is over)."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import time

from ansible_collections.zelk.firmware.plugins.module_utils import cimxml, jobstatus
from ansible_collections.zelk.firmware.plugins.module_utils.host import BUSY_MESSAGE, NAMESPACE, HostSession
from ansible_collections.zelk.firmware.plugins.module_utils.task import TaskFailed

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


def run(params, check_mode):
    uris = params['uris']
    problems = jobstatus.check_uris(uris)
    if problems:
        raise TaskFailed('uris: ' + '; '.join(problems))
    if SYNCHRONOUS_OPTION in (params['install_options'] or []):
        raise TaskFailed('install_options: 32768 installs nothing and keeps the provider on the '
                         'synchronous path until it restarts; use check mode to try a list')
    if params['poll_interval'] <= 0:
        raise TaskFailed('poll_interval must be above 0')

    session = HostSession(params)
    service = session.service()
    if check_mode:
        busy = session.busy(service)
        session.client.close()
        ids = ', '.join(jobstatus.package_id(uri) for uri in uris)
        return dict(changed=True, host=session.label, busy=busy, packages=packages_of(None, uris),
                    msg='would install %s%s' % (ids, ' once the run in progress has ended' if busy else ''))

    job, busy_seconds = start_run(session, service, params)
    session.result.update(changed=True, job=job.key('InstanceID'), busy_seconds=round(busy_seconds, 1))
    result = dict(session.result, host=session.label)
    if not params['wait']:
        session.client.close()
        return dict(result, packages=packages_of(None, uris), msg='run started as job %s' % result['job'])

    properties, status = follow_run(session, service, job, params, uris)
    session.client.close()
    packages = packages_of(status, uris)
    result.update(packages=packages, job_state=properties.get('JobState'), status_text=status.text,
                  changed=any(p['installed'] for p in packages))
    if not all(p['installed'] for p in packages):
        cut = status.cut_at_line_end and len(status.packages) < len(uris)
        raise TaskFailed(session.message(summary(packages, result['job'] if cut else None)), **result)
    return dict(result, msg='%d packages installed' % len(packages))
