# -*- coding: utf-8 -*-
"""The base of the collection's action plugins: each runs its task in the controller's worker
process instead of starting a module process per host.

The tasks need nothing on the managed host: they speak CIM-XML to it from the control node. A
module process costs far more than the task itself (the interpreter, the module's packaging,
ansible.module_utils.basic, its arguments and result as JSON), and a rollout starts one per host.
The action runs the same task function as the module, on the options checked against the
module's own argument_spec (module_defaults included, which Ansible applies before any action
runs), and returns what the module would: the same result and messages, check mode, the
invocation, and no_log values (the password) hidden wherever they appear.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

from ansible.module_utils.common.arg_spec import ArgumentSpecValidator
from ansible.module_utils.common.parameters import remove_values
from ansible.module_utils.errors import UnsupportedError
from ansible.plugins.action import ActionBase
from ansible_collections.zelk.firmware.plugins.module_utils.task import TaskFailed


class TaskAction(ActionBase):
    TRANSFERS_FILES = False

    # Set by each plugin, as static methods: the module's argument_spec() and the task function
    # (module_utils.task); spec_checks: the module's further checks (required_one_of, ...).
    argument_spec = None
    task = None
    spec_checks = {}

    def run(self, tmp=None, task_vars=None):
        if self._task.async_val:
            # A background job outlives this worker: it needs the module's own process.
            return self._run_module(task_vars)
        result = super(TaskAction, self).run(tmp, task_vars)
        # As AnsibleModule checks them, with its messages (ActionBase.validate_argument_spec names
        # the plugin's Python module in them, and adds an empty traceback).
        validation = ArgumentSpecValidator(self.argument_spec(), **self.spec_checks).validate(self._task.args)
        params = validation.validated_parameters
        try:
            if validation.error_messages:
                message = validation.errors.msg
                if isinstance(validation.errors[0], UnsupportedError):
                    message = 'Unsupported parameters for (%s) module: %s' % (self._task.action, message)
                raise TaskFailed(message)
            result.update(self.task(params, self._task.check_mode))
        except TaskFailed as e:
            result.update(e.result, failed=True, msg=e.msg)
        result['invocation'] = {'module_args': params}
        return remove_values(result, validation._no_log_values)

    def _run_module(self, task_vars):
        normal = self._shared_loader_obj.action_loader.get(
            'ansible.legacy.normal', task=self._task, connection=self._connection, play_context=self._play_context,
            loader=self._loader, templar=self._templar, shared_loader_obj=self._shared_loader_obj)
        return normal.run(task_vars=task_vars)
