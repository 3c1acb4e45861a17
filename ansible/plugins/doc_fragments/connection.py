# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    DOCUMENTATION = r'''
options:
  host:
    description:
      - Address or name of the host's CIM server.
      - The module runs on the control node, inside Ansible's own process (the collection's action
        plugin), and reaches the host over CIM-XML. No connection to the managed host is made, so
        C(connection=local) and C(delegate_to=localhost) are not needed (and do no harm).
    type: str
    required: true
  port:
    description:
      - TCP port of the CIM server.
      - Defaults to 5989 for C(https) and 5988 for C(http).
    type: int
  scheme:
    description: Whether to speak HTTPS or plain HTTP.
    type: str
    choices: [https, http]
    default: https
  username:
    description: User for HTTP Basic authentication; without it no credentials are sent.
    type: str
  password:
    description: Password of I(username). It never appears in the module's output.
    type: str
  validate_certs:
    description:
      - Whether the server's TLS certificate must be signed by a trusted CA and name I(host).
      - Set to C(false) only for hosts whose certificate you cannot check otherwise.
    type: bool
    default: true
  ca_path:
    description:
      - PEM file of the CA certificates to trust, instead of the system's.
    type: path
  timeout:
    description: Seconds to wait for the connection and for each answer.
    type: int
    default: 30
notes:
  - The connection options can be set once for all modules of the collection with the action group
    C(zelk.firmware.all) in C(module_defaults).
  - With C(async), the task runs as a module process instead, where the task's connection starts it
    (use C(connection=local) or C(delegate_to=localhost) then).
requirements:
  - python3-defusedxml for the Python that runs Ansible on the control node.
'''
