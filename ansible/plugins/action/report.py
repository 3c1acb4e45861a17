# -*- coding: utf-8 -*-
"""Runs zelk.firmware.report in the controller's worker (see plugin_utils.task_action)."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible_collections.zelk.firmware.plugins.module_utils import report_task
from ansible_collections.zelk.firmware.plugins.modules import report
from ansible_collections.zelk.firmware.plugins.plugin_utils.task_action import TaskAction


class ActionModule(TaskAction):
    argument_spec = staticmethod(report.argument_spec)
    task = staticmethod(report_task.run)
    spec_checks = {'required_one_of': report.REQUIRED_ONE_OF}
