# -*- coding: utf-8 -*-
"""The status task: the host's installation service and every job of the provider, as facts."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import re

from ansible_collections.zelk.firmware.plugins.module_utils import jobstatus
from ansible_collections.zelk.firmware.plugins.module_utils.host import JOB_CLASS, NAMESPACE, SERVICE_CLASS, HostSession


def job_number(view):
    found = re.search(r'-([0-9]+)$', view['instance_id'] or '')
    return (int(found.group(1)) if found else 0, view['instance_id'] or '')


def run(params, check_mode):
    session = HostSession(params)
    services = session.call(session.client.enumerate_instances, NAMESPACE, SERVICE_CLASS)
    if len(services) != 1:
        session.fail('%d instances of %s in %s, expected one' % (len(services), SERVICE_CLASS, NAMESPACE))
    path, service = services[0]
    service['path'] = str(path)
    jobs = [jobstatus.job_view(name.key('InstanceID'), properties)
            for name, properties in session.call(session.client.enumerate_instances, NAMESPACE, JOB_CLASS)]
    session.client.close()
    jobs.sort(key=job_number)
    return dict(changed=False, host=session.label, ansible_facts=dict(zelk_firmware=dict(service=service, jobs=jobs)))
