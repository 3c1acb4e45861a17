"""Status texts as the provider writes them, and the URI lists it can take."""
import pytest

from ansible_collections.zelk.firmware.plugins.module_utils.jobstatus import StatusText, check_uris, package_id


def test_status_text_packages_in_list_order():
    status = StatusText('1|uefi: 50: Package installation successfully.|'
                        'brcd: 57: No driver file name that need to be update.\n|'
                        'nic: 56: Package installation error message: a|b: c|'
                        '|: 12: Pakcage XML can\'t be opened.|')
    assert status.complete
    assert [(p.id, p.code) for p in status.packages] == [('uefi', 50), ('brcd', 57), ('nic', 56),
                                                          (None, None), ('', 12)]
    assert status.packages[1].message == 'No driver file name that need to be update.\n'
    # A broker's text holding "|" stays in its package's message.
    assert status.packages[2].message == 'Package installation error message: a|b: c'
    assert [p.installed for p in status.packages] == [True, False, False, False, False]
    assert not status.settled  # the fourth package has not reported


@pytest.mark.parametrize('text, settled, in_progress', [
    ('0|a: 50: x|b: 53: y|c: 80: z|', True, False),
    ('0|a: 50: x|b: 10: Package download completed with no error.|', False, False),
    ('0|a: 0: Package Initialization finished successfully|', False, False),
    ('0|a: 15: Asynchronous TFTP transfer|', False, False),
    ('1|a: 62: Updating and Package installation is running.|b: 50: x|', False, True),
    ('0|a: 60: Scanning URI for installable packages.|', False, True),
    ('', False, False),
    ('1|a: 50: x|b: 5', True, False),  # cut short: the last field is incomplete and dropped
    # The job's one line ends at a message's line feed: that field is whole.
    ('0|a: 50: x|b: 57: No driver file name that need to be update.\n', True, False),
])
def test_settled_only_when_every_package_has_a_final_code(text, settled, in_progress):
    status = StatusText(text)
    assert (status.settled, status.in_progress) == (settled, in_progress)


def test_uri_lists_the_provider_cannot_take_are_named():
    good = ['file:///depot/uefi.xml', 'file:///depot/vxc.xml']
    assert check_uris(good) == []
    assert check_uris(['ftp://depot.example/esxi/metadata.zip']) == []
    problems = {
        'empty': check_uris([]),
        'many': check_uris(good * 11),
        'mixed': check_uris(good + ['tftp://tftp/x.xml']),
        'bar': check_uris(['file:///a.xml|file:///b.xml']),
        'long': check_uris(['file:///' + 'a' * 200]),
        'scheme': check_uris(['http://depot/a.xml']),
        'bundle': check_uris(['ftp://depot/a.zip', 'ftp://depot/b.zip']),
    }
    for name, found in problems.items():
        assert len(found) == 1, name
    assert '22 URIs' in problems['many'][0] and 'tftp://' in problems['mixed'][0]


def test_package_id_is_the_last_name_without_extension():
    assert package_id('file:///depot/pkg_1.20.xml') == 'pkg_1.20'
    assert package_id('tftp://server/dir/') == ''
    assert package_id('file:///depot/.hidden') == '.hidden'
