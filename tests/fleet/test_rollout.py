"""The rollout playbook against 20 simulated hosts over HTTPS, driven by ansible-playbook as a user
drives it: two hosts whose scenario fails packages, one host down, one host already busy with a
run when the play starts. The recap, each host's result and the fleet report must show what each
host's scenario makes it do. ZELK_BUILD_DIR names the build (hostsim, build/collections)."""
import json
import os
import re
import subprocess

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
BUILD = os.environ.get('ZELK_BUILD_DIR', os.path.join(ROOT, 'build'))
FLEET = os.path.join(ROOT, 'scripts', 'fleet')
DIR = os.path.join(BUILD, 'fleet-test')
PACKAGES = ['uefi', 'vxc', 'brcd', 'nic', 'hdd']
LSI_REFUSES, CONTROLLER_UNREACHABLE, DOWN, BUSY = 'h04', 'h11', 'h08', 'h03'
CONNECTION = {'host': '{{ zelk_host }}', 'port': '{{ zelk_port }}', 'username': '{{ zelk_username }}',
              'password': '{{ zelk_password }}', 'ca_path': '{{ zelk_ca_path }}'}


def scenario(name, change):
    with open(os.path.join(ROOT, 'hostsim', 'scenarios', 'default.json')) as default:
        content = json.load(default)
    change(content)
    path = os.path.join(DIR, 'scenarios', name + '.json')
    with open(path, 'w') as out:
        json.dump(content, out)
    return path


def unreachable_controller(content):
    content['controller']['job']['steps']['JobStatus'] = [
        '0x00|Initialization', '0x00|Unable to ping through VXC IP address']


def first_controller_call_hangs(content):
    # The run started before the play keeps the provider busy for 25 s of real time.
    content['controller']['methods']['InstallFromURI'].update(fault=['hang', None], hang_seconds=25)


def ansible(*args):
    env = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=os.path.join(BUILD, 'collections'), ANSIBLE_NOCOLOR='1',
               ANSIBLE_LOCAL_TEMP=os.path.join(DIR, 'ansible-tmp'), ANSIBLE_REMOTE_TEMP=os.path.join(DIR, 'ansible-tmp'),
               ANSIBLE_DEPRECATION_WARNINGS='0')
    return subprocess.run(args, cwd=DIR, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          universal_newlines=True, timeout=300)


def module(hosts, name, args, *options):
    return ansible('ansible', hosts, '-i', 'inventory.yml', '-m', 'zelk.firmware.' + name,
                   '-a', json.dumps(dict(CONNECTION, **args)), '-o', *options)


def one_line_results(output):
    """host -> result of `ansible -o` lines ("h03 | CHANGED => {...}")."""
    return {m.group(1): json.loads(m.group(2)) for m in re.finditer(r'^(\S+) \| [A-Z]+!? => (\{.*\})$', output, re.M)}


def recap(output):
    return {m.group(1): dict((k, int(v)) for k, v in re.findall(r'(\w+)=(\d+)', m.group(2)))
            for m in re.finditer(r'^(h\d+)\s+: (ok=.*)$', output.split('PLAY RECAP')[-1], re.M)}


def task_results(output, task):
    """host -> result of one task, from ansible-playbook -v."""
    section = output.split('TASK [%s]' % task)[1:]
    found = {}
    for part in section:
        part = part.split('\nTASK [')[0].split('\nPLAY')[0]
        for m in re.finditer(r'^(?:ok|changed|fatal): \[(h\d+)\](?:: FAILED!)? => (\{.*\})$', part, re.M):
            found[m.group(1)] = json.loads(m.group(2))
    return found


def report_rows(path):
    """host -> (outcome, {package: cell}) from the Markdown report."""
    with open(path) as report:
        lines = [line for line in report.read().splitlines() if re.match(r'^\| h\d+ ', line)]
    rows = {}
    for line in lines:
        cells = [c.strip() for c in line.strip('|').split('|')]
        rows[cells[0]] = (cells[1], dict(zip(PACKAGES, cells[2:])))
    return rows


@pytest.fixture(scope='module')
def fleet():
    if os.path.exists(os.path.join(DIR, 'fleet.json')):
        subprocess.run([FLEET, 'down', '--dir', DIR])
    subprocess.run(['rm', '-rf', DIR], check=True)
    os.makedirs(os.path.join(DIR, 'scenarios'))
    up = [FLEET, 'up', '--hosts', '20', '--dir', DIR, '--tls', '--fast',
          '--hostsim', os.path.join(BUILD, 'bin', 'hostsim'), '--down', DOWN[1:],
          '--host-scenario', '%d=%s' % (int(LSI_REFUSES[1:]), os.path.join(ROOT, 'hostsim', 'scenarios', 'demo.json')),
          '--host-scenario', '%d=%s' % (int(CONTROLLER_UNREACHABLE[1:]), scenario('unreachable', unreachable_controller)),
          '--host-scenario', '%d=%s' % (int(BUSY[1:]), scenario('busy', first_controller_call_hangs))]
    subprocess.run(up, check=True)
    yield DIR
    subprocess.run([FLEET, 'down', '--dir', DIR], check=True)
    # No host reported anything on its way: no refused start, crash or sanitizer finding.
    for host in sorted(os.listdir(os.path.join(DIR, 'hosts'))):
        if host != DOWN:
            with open(os.path.join(DIR, 'hosts', host, 'serve.err')) as err:
                assert err.read() == '', host


def test_rollout_to_twenty_hosts(fleet):
    started = one_line_results(module(BUSY, 'install', {'uris': '{{ zelk_uris }}', 'wait': False}).stdout)
    assert started[BUSY]['changed'] and started[BUSY]['job'] == 'ZELK-1'
    checked = one_line_results(module(BUSY, 'install', {'uris': '{{ zelk_uris }}'}, '--check').stdout)
    assert checked[BUSY]['busy'] and 'once the run in progress has ended' in checked[BUSY]['msg']

    # Every task of the rollout runs in the controller: neither a connection to the hosts nor a
    # module process (which would need the interpreter) is ever started.
    play = ansible('ansible-playbook', '-v', '-i', 'inventory.yml', '-f', '10', os.path.join(ROOT, 'ansible', 'playbooks', 'rollout.yml'),
                   '-e', 'zelk_serial=10', '-e', 'zelk_max_fail_percentage=25', '-e', 'zelk_poll_interval=0.5',
                   '-e', 'zelk_busy_timeout=120', '-e', 'zelk_report_dir=report',
                   '-e', 'ansible_connection=ssh', '-e', 'ansible_python_interpreter=/nonexistent/python3')
    assert play.returncode == 2, play.stdout  # some hosts failed
    failing = {LSI_REFUSES, CONTROLLER_UNREACHABLE, DOWN}
    stats = recap(play.stdout)
    assert len(stats) == 20
    assert {h for h, s in stats.items() if s['failed']} == failing, play.stdout
    assert all(s['changed'] >= 1 for h, s in stats.items() if h != DOWN)

    results = task_results(play.stdout, 'Install the packages')
    assert len(results) == 20
    address = results[DOWN]['host']
    assert results[DOWN]['msg'] == 'host %s: connection to https://%s/cimom failed: Connection refused ' \
        '(ECONNREFUSED)' % (address, address)
    assert results[LSI_REFUSES]['msg'].endswith('1 of 5 packages not installed: hdd (58: Unsupported Target Type.)')
    assert [p['code'] for p in results[CONTROLLER_UNREACHABLE]['packages']] == [53, 53, 50, 50, 50]
    assert 'Unable to ping through VXC IP address.' in results[CONTROLLER_UNREACHABLE]['msg']
    # The busy host was waited for, then ran the play's own job to the end.
    assert results[BUSY]['busy_seconds'] > 5 and results[BUSY]['job'] == 'ZELK-2', results[BUSY]
    for host, result in results.items():
        if host not in failing:
            assert [p['code'] for p in result['packages']] == [50] * 5, (host, result)
            assert not result.get('failed') and result['changed']

    rows = report_rows(os.path.join(fleet, 'report', 'rollout.md'))
    assert len(rows) == 20
    assert rows[DOWN] == ('failed', dict.fromkeys(PACKAGES, '-'))
    assert rows[LSI_REFUSES] == ('failed', dict(dict.fromkeys(PACKAGES, '50 installed'), hdd='58 failed'))
    assert rows[CONTROLLER_UNREACHABLE][1]['vxc'] == '53 failed'
    assert all(row == ('installed', dict.fromkeys(PACKAGES, '50 installed'))
               for host, row in rows.items() if host not in failing)
    with open(os.path.join(fleet, 'report', 'rollout.html')) as page:
        html = page.read()
    assert html.count('<td class="failed"') == 2 + 1 + 3  # h04: host, hdd; h08: host; h11: host, uefi, vxc

    # The provider's jobs as facts (with async, from the module's own process), and a maintenance call.
    status = one_line_results(module(CONTROLLER_UNREACHABLE, 'status', {}, '-B', '60', '-P', '1').stdout)[CONTROLLER_UNREACHABLE]
    assert status['ansible_job_id'] and status['finished']
    jobs = status['ansible_facts']['zelk_firmware']['jobs']
    assert [j['instance_id'] for j in jobs] == ['ZELK-1'] and jobs[0]['settled']
    assert [p['code'] for p in jobs[0]['packages']] == [53, 53, 50, 50, 50]
    reset = one_line_results(module('h01', 'maintenance', {'method': 'ResetCimmon'}).stdout)['h01']
    assert reset['changed'] and reset['return_value'] == 0


def test_failure_threshold_stops_the_rollout_and_the_report_says_where(fleet):
    play = ansible('ansible-playbook', '-i', 'inventory.yml', os.path.join(ROOT, 'ansible', 'playbooks', 'rollout.yml'),
                   '--limit', 'h04,h05,h06,h07', '-e', 'zelk_serial=2', '-e', 'zelk_max_fail_percentage=0',
                   '-e', 'zelk_poll_interval=0.5', '-e', 'zelk_report_dir=report-stopped')
    assert play.returncode == 2, play.stdout
    assert set(recap(play.stdout)) == {'h04', 'h05'}
    rows = report_rows(os.path.join(fleet, 'report-stopped', 'rollout.md'))
    assert {h: r[0] for h, r in rows.items()} == {'h04': 'failed', 'h05': 'installed',
                                                  'h06': 'not run', 'h07': 'not run'}
