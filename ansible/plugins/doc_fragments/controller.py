# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    DOCUMENTATION = r'''
attributes:
  action:
    support: full
    description: Runs inside Ansible's process on the control node (the collection's action plugin),
      not as a module process.
  async:
    support: full
    description: With C(async) the task runs as a module process instead, started by the task's
      connection.
'''
