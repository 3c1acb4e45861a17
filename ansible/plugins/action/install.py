# -*- coding: utf-8 -*-
"""Runs zelk.firmware.install in the controller's worker (see plugin_utils.task_action)."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible_collections.zelk.firmware.plugins.module_utils import install_task
from ansible_collections.zelk.firmware.plugins.modules import install
from ansible_collections.zelk.firmware.plugins.plugin_utils.task_action import TaskAction


class ActionModule(TaskAction):
    argument_spec = staticmethod(install.argument_spec)
    task = staticmethod(install_task.run)
