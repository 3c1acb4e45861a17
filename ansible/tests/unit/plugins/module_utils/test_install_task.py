"""How the install task waits: for a busy host, and for the end of a run, on a simulated clock."""
import pytest

from ansible_collections.zelk.firmware.plugins.module_utils import cimxml
from ansible_collections.zelk.firmware.plugins.module_utils import install_task

JOB = cimxml.InstanceName('CIM_ConcreteJob', [('InstanceID', 'ZELK-4', 'string')])
BUSY = cimxml.CimError(1, 'An installation process is running')
PARAMS = dict(uris=['file:///d/a.xml', 'file:///d/b.xml'], install_options=None, update_args='--backup',
              poll_interval=5, busy_timeout=60, wait_timeout=300)


class Clock(object):
    def __init__(self):
        self.now = 0.0

    def monotonic(self):
        return self.now

    def sleep(self, seconds):
        self.now += seconds


class Failed(Exception):
    pass


class Session(object):
    """Answers from scripts: InstallFromURI answers, job texts, and whether a run is alive."""

    def __init__(self, answers=(), texts=(), alive=()):
        self.answers, self.texts, self.alive = list(answers), list(texts), list(alive)
        self.client = self
        self.sent = []
        self.probes = 0

    def invoke_method(self, target, method, args):
        self.sent.append(args)
        answer = self.answers.pop(0)
        if isinstance(answer, Exception):
            raise answer
        return answer

    def get_instance(self, name):
        text = self.texts.pop(0) if len(self.texts) > 1 else self.texts[0]
        return {'JobStatus': text, 'JobState': 7}

    def busy(self, service):
        self.probes += 1
        return self.alive.pop(0)

    def call(self, operation, *args):
        try:
            return operation(*args)
        except cimxml.CimError as e:
            self.fail(e)

    def fail(self, error, **result):
        raise Failed(str(error))


@pytest.fixture(autouse=True)
def clock(monkeypatch):
    fake = Clock()
    monkeypatch.setattr(install_task, 'time', fake)
    return fake


def test_a_busy_host_is_asked_again_until_busy_timeout(clock):
    session = Session([BUSY, BUSY, (4096, {'Job': JOB})])
    job, waited = install_task.start_run(session, None, PARAMS)
    assert job.key('InstanceID') == 'ZELK-4' and job.namespace == 'zelk/cimv2' and waited == 10
    assert session.sent[0] == [('URI', 'file:///d/a.xml|file:///d/b.xml', 'string'),
                               ('UpdateArgs', '--backup', 'string')]
    with pytest.raises(Failed, match=r'^CIM_ERR_FAILED: An installation process is running \(still busy after 60 s\)'):
        install_task.start_run(Session([BUSY] * 20), None, PARAMS)
    with pytest.raises(Failed, match='CIM_ERR_INVALID_PARAMETER'):
        install_task.start_run(Session([cimxml.CimError(4, 'URI')]), None, PARAMS)
    with pytest.raises(Failed, match='started no job: .*synchronous path'):
        install_task.start_run(Session([(None, {})]), None, PARAMS)


def test_the_run_ends_when_the_host_says_so_not_when_the_text_looks_done(clock):
    # A package at 62 is never taken for the end; a package no installer took stays at 10, so the
    # host is asked once the text stops moving; a settled text is checked with the host as well.
    texts = ['0|a: 10: Package download completed with no error.|b: 62: Updating and Package installation is running.|',
             '1|a: 10: Package download completed with no error.|b: 50: Package installation successfully.|']
    session = Session(texts=list(texts), alive=[True, False])
    properties, status = install_task.follow_run(session, None, JOB, PARAMS, PARAMS['uris'])
    assert session.probes == 2 and [p.code for p in status.packages] == [10, 50]
    packages = install_task.packages_of(status, PARAMS['uris'])
    assert [(p['id'], p['installed'], p['uri']) for p in packages] == [
        ('a', False, 'file:///d/a.xml'), ('b', True, 'file:///d/b.xml')]
    assert install_task.summary(packages) == '1 of 2 packages not installed: a (10: Package download completed with no error.)'

    settled = Session(texts=['0|a: 18: Invalid Destination URI from TFTP file transfer|b: 50: x|',
                             '0|a: 50: x|b: 50: x|'], alive=[True, False])
    dummy, status = install_task.follow_run(settled, None, JOB, PARAMS, PARAMS['uris'])
    assert [p.code for p in status.packages] == [50, 50]

    # The job's one line ends at a message's line feed: the package after it shows no status.
    cut = Session(texts=['0|a: 57: No driver file name that need to be update.\n'], alive=[False])
    dummy, status = install_task.follow_run(cut, None, JOB, PARAMS, PARAMS['uris'])
    packages = install_task.packages_of(status, PARAMS['uris'])
    assert [(p['id'], p['code']) for p in packages] == [('a', 57), ('b', None)]
    assert install_task.summary(packages, 'ZELK-4').endswith('/tmp/zelkstatZELK-4.txt on the host holds them')


def test_a_run_that_does_not_end_fails_at_wait_timeout(clock):
    session = Session(texts=['0|a: 62: Updating and Package installation is running.|b: 0: x|'])
    with pytest.raises(Failed, match='timeout: the run of job ZELK-4 did not end within 300 s'):
        install_task.follow_run(session, None, JOB, PARAMS, PARAMS['uris'])
    assert session.probes == 0 and 300 <= clock.now < 310
