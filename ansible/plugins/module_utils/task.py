# -*- coding: utf-8 -*-
"""How a task of the collection ends, the same whether it runs in the controller's worker (the
action plugins) or as a module: a task is a function of the validated parameters and check mode
that returns its result, or raises TaskFailed with the message and the result to return."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class TaskFailed(Exception):
    def __init__(self, msg, **result):
        super(TaskFailed, self).__init__(msg)
        self.msg = msg
        self.result = result


def run_module(module, task):
    """Ends the AnsibleModule `module` with what `task` returns or raises."""
    try:
        result = task(module.params, module.check_mode)
    except TaskFailed as e:
        module.fail_json(msg=e.msg, **e.result)
    module.exit_json(**result)
