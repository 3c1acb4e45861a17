"""CIM-XML requests as a server reads them, and replies as hostsim serve and other servers write them."""
import xml.etree.ElementTree as ET

import pytest

from ansible_collections.zelk.firmware.plugins.module_utils import cimxml

SERVICE = cimxml.InstanceName('XORVO_VMpkgInstallationService', [
    ('SystemCreationClassName', 'CIM_ComputerSystem', 'string'), ('SystemName', 'esx&<"7>', 'string'),
    ('CreationClassName', 'QEL_PackageInstallationBroker', 'string'),
    ('Name', 'QEL:QEL_PackageInstallationBroker', 'string')], 'zelk/cimv2')


def reply(inner, tag='METHODRESPONSE', name='InstallFromURI'):
    return ('<?xml version="1.0" encoding="UTF-8"?><CIM CIMVERSION="2.0" DTDVERSION="2.0">'
            '<MESSAGE ID="1" PROTOCOLVERSION="1.0"><SIMPLERSP><%s NAME="%s">%s</%s></SIMPLERSP>'
            '</MESSAGE></CIM>' % (tag, name, inner, tag)).encode()


def test_method_request_carries_target_and_typed_parameters_intact():
    body = cimxml.method_request(SERVICE, 'InstallFromURI', [
        ('URI', 'file:///p/a&b.xml|file:///p/<c>.xml', 'string'),
        ('InstallOptions', [32769, 5], 'uint16'),
        ('UpdateArgs', '--backup\n"x"', 'string')], message_id=7)
    root = ET.fromstring(body)
    call = root.find('MESSAGE/SIMPLEREQ/METHODCALL')
    assert root.find('MESSAGE').get('ID') == '7' and call.get('NAME') == 'InstallFromURI'
    path = call.find('LOCALINSTANCEPATH')
    assert [n.get('NAME') for n in path.iter('NAMESPACE')] == ['zelk', 'cimv2']
    assert cimxml.parse_instance_name(path) == SERVICE
    params = {p.get('NAME'): p for p in call.findall('PARAMVALUE')}
    assert params['URI'].find('VALUE').text == 'file:///p/a&b.xml|file:///p/<c>.xml'
    assert params['InstallOptions'].get('PARAMTYPE') == 'uint16'
    assert [v.text for v in params['InstallOptions'].find('VALUE.ARRAY')] == ['32769', '5']
    assert params['UpdateArgs'].find('VALUE').text == '--backup\n"x"'


def test_get_instance_request_names_the_instance():
    job = cimxml.InstanceName('CIM_ConcreteJob', [('InstanceID', 'ZELK-3', 'string')], 'zelk/cimv2')
    call = ET.fromstring(cimxml.intrinsic_request('GetInstance', 'zelk/cimv2', [('InstanceName', job)]))
    param = call.find('MESSAGE/SIMPLEREQ/IMETHODCALL/IPARAMVALUE')
    assert param.get('NAME') == 'InstanceName'
    assert cimxml.parse_instance_name(param.find('INSTANCENAME'), 'zelk/cimv2') == job


@pytest.mark.parametrize('reference', [
    '<INSTANCEPATH><NAMESPACEPATH><HOST>h</HOST><LOCALNAMESPACEPATH><NAMESPACE NAME="zelk"/>'
    '<NAMESPACE NAME="cimv2"/></LOCALNAMESPACEPATH></NAMESPACEPATH>%s</INSTANCEPATH>',
    '<LOCALINSTANCEPATH><LOCALNAMESPACEPATH><NAMESPACE NAME="zelk"/><NAMESPACE NAME="cimv2"/>'
    '</LOCALNAMESPACEPATH>%s</LOCALINSTANCEPATH>',
    '%s',
])
def test_method_reply_gives_return_value_and_job_reference(reference):
    name = '<INSTANCENAME CLASSNAME="CIM_ConcreteJob"><KEYBINDING NAME="InstanceID">' \
           '<KEYVALUE VALUETYPE="string">ZELK-12</KEYVALUE></KEYBINDING></INSTANCENAME>'
    returned, outputs = cimxml.method_result(reply(
        '<RETURNVALUE PARAMTYPE="uint32"><VALUE>4096</VALUE></RETURNVALUE>'
        '<PARAMVALUE NAME="Job" PARAMTYPE="reference"><VALUE.REFERENCE>%s</VALUE.REFERENCE></PARAMVALUE>'
        % (reference % name)), 'InstallFromURI')
    assert returned == 4096
    assert outputs['Job'].classname == 'CIM_ConcreteJob' and outputs['Job'].key('instanceid') == 'ZELK-12'
    assert outputs['Job'].namespace in ('zelk/cimv2', None)


def test_instances_keep_types_line_feeds_and_nulls():
    found = cimxml.intrinsic_result(reply(
        '<IRETURNVALUE><VALUE.NAMEDINSTANCE><INSTANCENAME CLASSNAME="CIM_ConcreteJob"/>'
        '<INSTANCE CLASSNAME="CIM_ConcreteJob">'
        '<PROPERTY NAME="JobState" TYPE="uint16"><VALUE>7</VALUE></PROPERTY>'
        '<PROPERTY NAME="JobStatus" TYPE="string"><VALUE>1|a: 57: No driver&#10;|</VALUE></PROPERTY>'
        '<PROPERTY NAME="Done" TYPE="boolean"><VALUE>TRUE</VALUE></PROPERTY>'
        '<PROPERTY NAME="Missing" TYPE="string"></PROPERTY>'
        '<PROPERTY.ARRAY NAME="Codes" TYPE="sint32"><VALUE.ARRAY><VALUE>-1</VALUE><VALUE.NULL/>'
        '</VALUE.ARRAY></PROPERTY.ARRAY></INSTANCE></VALUE.NAMEDINSTANCE></IRETURNVALUE>',
        'IMETHODRESPONSE', 'EnumerateInstances'), 'EnumerateInstances')
    properties = cimxml.parse_instance(found[0].find('INSTANCE'))
    assert properties == {'JobState': 7, 'JobStatus': '1|a: 57: No driver\n|', 'Done': True,
                          'Missing': None, 'Codes': [-1, None]}


def test_errors_and_foreign_replies_are_told_apart():
    with pytest.raises(cimxml.CimError) as error:
        cimxml.method_result(reply('<ERROR CODE="1" DESCRIPTION="An installation process is running"/>'),
                             'InstallFromURI')
    assert str(error.value) == 'CIM_ERR_FAILED: An installation process is running'
    assert error.value.code == 1
    with pytest.raises(cimxml.CimReplyError, match='answers ResetCimmon'):
        cimxml.method_result(reply('', name='ResetCimmon'), 'InstallFromURI')
    with pytest.raises(cimxml.CimReplyError, match='not acceptable XML'):
        cimxml.method_result(b'<html>502 Bad Gateway', 'InstallFromURI')
    # An entity bomb is refused before it is expanded.
    bomb = (b'<?xml version="1.0"?><!DOCTYPE CIM [<!ENTITY a "aaaaaaaa"><!ENTITY b "&a;&a;&a;&a;">]>'
            b'<CIM><MESSAGE><SIMPLERSP><METHODRESPONSE NAME="InstallFromURI">'
            b'<RETURNVALUE PARAMTYPE="string"><VALUE>&b;</VALUE></RETURNVALUE>'
            b'</METHODRESPONSE></SIMPLERSP></MESSAGE></CIM>')
    with pytest.raises(cimxml.CimReplyError):
        cimxml.method_result(bomb, 'InstallFromURI')
    with pytest.raises(cimxml.CimReplyError, match='an empty VALUE.REFERENCE'):
        cimxml.method_result(reply('<PARAMVALUE NAME="Job" PARAMTYPE="reference"><VALUE.REFERENCE/></PARAMVALUE>'),
                             'InstallFromURI')
    with pytest.raises(cimxml.CimReplyError, match='not a uint32'):
        cimxml.method_result(reply('<RETURNVALUE PARAMTYPE="uint32"><VALUE>many</VALUE></RETURNVALUE>'),
                             'InstallFromURI')
