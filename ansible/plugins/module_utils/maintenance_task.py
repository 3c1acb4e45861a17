# -*- coding: utf-8 -*-
"""The maintenance task: one of the provider's maintenance methods (ResetCimmon,
DeleteZELKDebugLogFile), which answer 0 whatever they removed."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible_collections.zelk.firmware.plugins.module_utils.host import HostSession


def run(params, check_mode):
    session = HostSession(params)
    service = session.service()
    method = params['method']
    if check_mode:
        session.client.close()
        return dict(changed=True, host=session.label, msg='would call %s' % method)
    returned, dummy = session.call(session.client.invoke_method, service, method)
    session.client.close()
    if returned != 0:
        session.fail('%s returned %s' % (method, returned), return_value=returned)
    return dict(changed=True, host=session.label, return_value=returned, msg='%s done' % method)
