# -*- coding: utf-8 -*-
"""What the host tasks (install, status, maintenance) share: the connection options, the client,
the installation service of a host, and failures that name the host."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import traceback

from ansible.module_utils.basic import missing_required_lib
from ansible_collections.zelk.firmware.plugins.module_utils import cimclient, cimxml
from ansible_collections.zelk.firmware.plugins.module_utils.task import TaskFailed

NAMESPACE = 'zelk/cimv2'
SERVICE_CLASS = 'XORVO_VMpkgInstallationService'
JOB_CLASS = 'CIM_ConcreteJob'
BUSY_MESSAGE = 'An installation process is running'


def connection_argument_spec():
    return dict(
        host=dict(type='str', required=True),
        port=dict(type='int'),
        scheme=dict(type='str', default='https', choices=['https', 'http']),
        username=dict(type='str'),
        password=dict(type='str', no_log=True),
        validate_certs=dict(type='bool', default=True),
        ca_path=dict(type='path'),
        timeout=dict(type='int', default=30),
    )


class HostSession(object):
    """One host, reached with the connection options in `params`: failures raise TaskFailed with
    a message naming the host."""

    def __init__(self, params):
        if not cimxml.HAS_DEFUSEDXML:
            raise TaskFailed(missing_required_lib('defusedxml (Debian: python3-defusedxml)'))
        if params['timeout'] <= 0:
            raise TaskFailed('timeout must be a positive number of seconds')
        self.client = cimclient.CimClient(
            params['host'], params['port'], params['scheme'], params['username'], params['password'],
            params['validate_certs'], params['ca_path'], params['timeout'])
        # Returned with any failure from now on (a run started on the host, its job).
        self.result = {}

    @property
    def label(self):
        return self.client.label

    def message(self, error):
        return self.client.redact('host %s: %s' % (self.label, error))

    def fail(self, error, **result):
        self.client.close()
        raise TaskFailed(self.message(error), host=self.label, **dict(self.result, **result))

    def call(self, operation, *args):
        """Runs one client operation; any failure of it ends the task."""
        try:
            return operation(*args)
        except (cimclient.ClientError, cimxml.CimError, cimxml.CimReplyError) as e:
            self.fail(e)
        except Exception as e:  # a fault of ours: say so, with the trace for -vvv
            self.client.close()
            raise TaskFailed(self.message('unexpected %s: %s' % (type(e).__name__, e)),
                             exception=self.client.redact(traceback.format_exc()), **self.result)

    def service(self):
        """The host's one installation service instance."""
        names = self.call(self.client.enumerate_instance_names, NAMESPACE, SERVICE_CLASS)
        if len(names) != 1:
            self.fail('%d instances of %s in %s, expected one' % (len(names), SERVICE_CLASS, NAMESPACE))
        return names[0]

    def busy(self, service):
        """Whether an installation run is alive: an InstallFromURI without any argument is refused
        before the provider reads anything, busy or not, so it starts nothing."""
        try:
            self.client.invoke_method(service, 'InstallFromURI')
        except cimxml.CimError as e:
            return BUSY_MESSAGE in e.description
        except (cimclient.ClientError, cimxml.CimReplyError) as e:
            self.fail(e)
        return False
