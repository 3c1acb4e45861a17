# -*- coding: utf-8 -*-
"""Runs zelk.firmware.status in the controller's worker (see plugin_utils.task_action)."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible_collections.zelk.firmware.plugins.module_utils import status_task
from ansible_collections.zelk.firmware.plugins.modules import status
from ansible_collections.zelk.firmware.plugins.plugin_utils.task_action import TaskAction


class ActionModule(TaskAction):
    argument_spec = staticmethod(status.argument_spec)
    task = staticmethod(status_task.run)
