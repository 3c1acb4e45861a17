"""The action plugins answer as their modules would: options checked as AnsibleModule checks them
(defaults, types, module_defaults' values, the modules' messages), the task's result or failure,
the invocation, and the password hidden wherever it appears."""
import types

from ansible.playbook.task import Task

from ansible_collections.zelk.firmware.plugins.action import maintenance, report
from ansible_collections.zelk.firmware.plugins.module_utils.task import TaskFailed

PASSWORD = 's3cret!'


def run(plugin, name, args, outcome=None, check_mode=False):
    """The plugin's result for `args`, with the task function replaced by one that returns or
    raises `outcome`; and the (parameters, check mode) it was called with."""
    calls = []

    def task_function(params, check):
        calls.append((params, check))
        if isinstance(outcome, Exception):
            raise outcome
        return dict(outcome)

    class Action(plugin.ActionModule):
        task = staticmethod(task_function)

    task = Task()
    task.action, task.args, task.check_mode = 'zelk.firmware.' + name, args, check_mode
    connection = types.SimpleNamespace(_shell=types.SimpleNamespace(tmpdir=None))
    return Action(task, connection, None, None, None, None).run(task_vars={}), calls


def test_result_and_failure_as_the_module_returns_them():
    args = {'host': 'esx07', 'port': '5999', 'password': PASSWORD, 'method': 'ResetCimmon'}
    result, calls = run(maintenance, 'maintenance', args, {'changed': True, 'msg': 'said %s' % PASSWORD}, True)
    (params, check_mode), = calls
    assert check_mode and params['port'] == 5999 and params['scheme'] == 'https' and params['timeout'] == 30
    assert params['password'] == PASSWORD
    assert result['changed'] and result['msg'] == 'said ********' and 'failed' not in result
    assert result['invocation']['module_args']['password'] == 'VALUE_SPECIFIED_IN_NO_LOG_PARAMETER'

    failed, dummy = run(maintenance, 'maintenance', args, TaskFailed('host esx07: %s refused' % PASSWORD, job='ZELK-2'))
    assert failed['failed'] and failed['msg'] == 'host esx07: ******** refused' and failed['job'] == 'ZELK-2'
    assert PASSWORD not in repr(result) + repr(failed)


def test_bad_options_fail_with_the_modules_messages_before_the_task_runs():
    cases = [
        (maintenance, 'maintenance', {'host': 'h', 'method': 'ResetCimmon', 'bogus': 1},
         'Unsupported parameters for (zelk.firmware.maintenance) module: bogus. Supported parameters include: '),
        (maintenance, 'maintenance', {'host': 'h', 'method': 'Reset'},
         'value of method must be one of: ResetCimmon, DeleteZELKDebugLogFile, got: Reset'),
        (maintenance, 'maintenance', {'method': 'ResetCimmon'}, 'missing required arguments: host'),
        (report, 'report', {'hosts': ['h01']}, 'one of the following is required: markdown_path, html_path'),
    ]
    for plugin, name, args, message in cases:
        result, calls = run(plugin, name, args)
        assert result['failed'] and result['msg'].startswith(message) and 'exception' not in result, result
        assert calls == []
