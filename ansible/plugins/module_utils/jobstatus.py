# -*- coding: utf-8 -*-
"""The run of a job, read from the provider's status text and its URI list.

The status text is "flag|id: code: message|id: code: message|...|": a completion flag, then one
field per package in the order of the URI list. A message may hold a line feed, and a broker's
text inside a message may hold "|".

When is a run over? JobState says Completed as soon as any package's message holds
"successfully", which the first package's initialisation message already does, and Exception
while no message holds "successfully" or "running", which is the case between stages. The
completion flag is 1 when the last package of the list reached a final code, but the provider
installs in its own order (categories, prerequisites), so others may still be running then, and a
later package sets it back to 0. Codes do not settle it either: a package that no installer takes
keeps its download code 10, and one whose descriptor could not be read (12) or whose transfer
named no destination (18) still goes on to its payload. So the modules take the text as a hint
only: once every package has a final code (`settled`), or the text has stopped changing with no
package in progress, they ask the host whether a run is still alive (host.HostSession.busy).
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import re

INSTALLED = 50
PASSING_CODES = frozenset((0, 10, 15))
IN_PROGRESS_CODES = frozenset((60, 61, 62))
MAX_PACKAGES = 20
MAX_URI_LENGTH = 199
SCHEMES = ('file://', 'tftp://', 'sftp://', 'ftp://')

JOB_STATE_NAMES = {
    2: 'New', 3: 'Starting', 4: 'Running', 5: 'Suspended', 6: 'Shutting Down', 7: 'Completed',
    8: 'Terminated', 9: 'Killed', 10: 'Exception', 11: 'Service', 12: 'Query Pending',
}

# "id: code: message": the id ends at the first ": " that a decimal code and ": " follow.
_LINE = re.compile(r'^(?P<id>.*?): (?P<code>-?[0-9]{1,9}): (?P<message>.*)$', re.DOTALL)


def is_final(code):
    return code not in PASSING_CODES and code not in IN_PROGRESS_CODES


class Package(object):
    def __init__(self, package_id=None, code=None, message=None):
        self.id = package_id
        self.code = code
        self.message = message

    @property
    def reported(self):
        return self.code is not None

    @property
    def final(self):
        return self.reported and is_final(self.code)

    @property
    def installed(self):
        return self.code == INSTALLED

    def as_dict(self, uri=None):
        result = {'id': self.id, 'code': self.code, 'message': self.message,
                  'installed': self.installed, 'final': self.final}
        if uri is not None:
            result['uri'] = uri
        return result


class StatusText(object):
    def __init__(self, text):
        self.text = text if isinstance(text, str) else ''
        self.complete = False
        self.packages = []
        if not self.text:
            return
        fields = self.text.split('|')
        self.complete = fields[0] == '1'
        # The last field is empty when the text ends with its "|", and cut short otherwise; but
        # the job reads one line of the status file, so a text that ends with a message's own
        # line feed ends after a whole field, and the packages after it are not in the text.
        self.cut_at_line_end = len(fields) > 1 and self.text.endswith('\n')
        last = len(fields) if self.cut_at_line_end else -1
        for field in fields[1:last]:
            match = _LINE.match(field)
            if match:
                self.packages.append(Package(match.group('id'), int(match.group('code')), match.group('message')))
            elif field and self.packages and self.packages[-1].reported:
                self.packages[-1].message += '|' + field
            else:
                self.packages.append(Package())

    @property
    def settled(self):
        """Every package of the run has a final code."""
        return bool(self.packages) and all(p.final for p in self.packages)

    @property
    def in_progress(self):
        return any(p.code in IN_PROGRESS_CODES for p in self.packages)


def package_id(uri):
    """The id the provider gives the package of a descriptor URI: its last name without extension."""
    name = uri[uri.rfind('/') + 1:]
    dot = name.rfind('.')
    return name[:dot] if dot > 0 else name


def check_uris(uris):
    """The reasons the provider could not take this list as one run; empty when it can."""
    if not uris:
        return ['the URI list is empty']
    problems = []
    if len(uris) > MAX_PACKAGES:
        problems.append('%d URIs, the provider takes at most %d' % (len(uris), MAX_PACKAGES))
    first_scheme = None
    for number, uri in enumerate(uris, 1):
        scheme = next((s for s in SCHEMES if uri.startswith(s)), None)
        if not uri:
            problems.append('URI %d is empty' % number)
        elif '|' in uri:
            problems.append('URI %d holds "|", which separates URIs' % number)
        elif len(uri) > MAX_URI_LENGTH:
            problems.append('URI %d is longer than %d characters' % (number, MAX_URI_LENGTH))
        elif scheme is None or '/' not in uri[len(scheme):]:
            problems.append('URI %d (%s) is not a file://, tftp://, sftp:// or ftp:// path' % (number, uri))
        elif first_scheme is None:
            first_scheme = scheme
        elif scheme != first_scheme:
            problems.append('URI %d is %s, the list began with %s' % (number, scheme, first_scheme))
    if first_scheme == 'ftp://' and len(uris) > 1:
        problems.append('an ftp:// location is one hypervisor bundle; the provider skips the other URIs')
    return problems


def job_view(instance_id, properties):
    """A job instance as the modules return it."""
    status = StatusText(properties.get('JobStatus'))
    state = properties.get('JobState')
    return {
        'instance_id': instance_id,
        'name': properties.get('Name'),
        'job_state': state,
        'job_state_name': JOB_STATE_NAMES.get(state, 'unknown') if isinstance(state, int) else 'unknown',
        'time_of_last_state_change': properties.get('TimeOfLastStateChange'),
        'status_text': status.text,
        'complete_flag': status.complete,
        'settled': status.settled,
        'packages': [p.as_dict() for p in status.packages],
    }
