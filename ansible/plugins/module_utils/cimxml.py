# -*- coding: utf-8 -*-
"""CIM-XML messages (DMTF DSP0200/DSP0201): requests built as text, replies read with defusedxml.

Only what the firmware modules need: EnumerateInstanceNames, EnumerateInstances, GetInstance and
extrinsic method calls, with string, integer, boolean and reference values.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

from xml.sax.saxutils import escape, quoteattr

try:
    from defusedxml import ElementTree
    from defusedxml.common import DefusedXmlException
    HAS_DEFUSEDXML = True
except ImportError:  # reported by the modules with missing_required_lib
    HAS_DEFUSEDXML = False

    class DefusedXmlException(Exception):
        pass

CIM_ERRORS = {
    1: 'CIM_ERR_FAILED', 2: 'CIM_ERR_ACCESS_DENIED', 3: 'CIM_ERR_INVALID_NAMESPACE',
    4: 'CIM_ERR_INVALID_PARAMETER', 5: 'CIM_ERR_INVALID_CLASS', 6: 'CIM_ERR_NOT_FOUND',
    7: 'CIM_ERR_NOT_SUPPORTED', 8: 'CIM_ERR_CLASS_HAS_CHILDREN', 9: 'CIM_ERR_CLASS_HAS_INSTANCES',
    10: 'CIM_ERR_INVALID_SUPERCLASS', 11: 'CIM_ERR_ALREADY_EXISTS', 12: 'CIM_ERR_NO_SUCH_PROPERTY',
    13: 'CIM_ERR_TYPE_MISMATCH', 14: 'CIM_ERR_QUERY_LANGUAGE_NOT_SUPPORTED',
    15: 'CIM_ERR_INVALID_QUERY', 16: 'CIM_ERR_METHOD_NOT_AVAILABLE', 17: 'CIM_ERR_METHOD_NOT_FOUND',
}

_INTEGER_TYPES = frozenset(('uint8', 'uint16', 'uint32', 'uint64', 'sint8', 'sint16', 'sint32', 'sint64'))


class CimError(Exception):
    """A CIM error the server answered with: its code and description."""

    def __init__(self, code, description):
        self.code = code
        self.description = description or ''
        name = CIM_ERRORS.get(code, 'CIM error %d' % code)
        super(CimError, self).__init__('%s: %s' % (name, self.description) if self.description else name)


class CimReplyError(Exception):
    """A reply that is not the CIM-XML answer to the request sent."""


class InstanceName(object):
    """An instance path: class, key bindings as (name, value, CIM type) and an optional namespace."""

    def __init__(self, classname, keys, namespace=None):
        self.classname = classname
        self.keys = list(keys)
        self.namespace = namespace

    def key(self, name):
        for key_name, value, dummy in self.keys:
            if key_name.lower() == name.lower():
                return value
        return None

    def __str__(self):
        keys = ','.join('%s="%s"' % (name, value) for name, value, dummy in self.keys)
        path = '%s.%s' % (self.classname, keys) if keys else self.classname
        return '%s:%s' % (self.namespace, path) if self.namespace else path

    def __eq__(self, other):
        return isinstance(other, InstanceName) and str(self) == str(other)

    def __ne__(self, other):
        return not self == other

    def __hash__(self):
        return hash(str(self))

    def __repr__(self):
        return 'InstanceName(%r)' % str(self)


# ---- requests

def _namespace_xml(namespace):
    return '<LOCALNAMESPACEPATH>%s</LOCALNAMESPACEPATH>' % ''.join(
        '<NAMESPACE NAME=%s/>' % quoteattr(part) for part in namespace.split('/') if part)


def _value_type(cim_type):
    if cim_type == 'boolean':
        return 'boolean'
    return 'numeric' if cim_type in _INTEGER_TYPES or cim_type.startswith('real') else 'string'


def _scalar_text(value):
    if isinstance(value, bool):
        return 'TRUE' if value else 'FALSE'
    # A carriage return would reach the server as a line feed (XML end-of-line handling).
    return escape(str(value), {'\r': '&#13;'})


def instance_name_xml(name):
    parts = []
    for key_name, value, cim_type in name.keys:
        if isinstance(value, InstanceName):
            inner = '<VALUE.REFERENCE>%s</VALUE.REFERENCE>' % local_instance_path_xml(value)
        else:
            inner = '<KEYVALUE VALUETYPE="%s" TYPE=%s>%s</KEYVALUE>' % (
                _value_type(cim_type), quoteattr(cim_type), _scalar_text(value))
        parts.append('<KEYBINDING NAME=%s>%s</KEYBINDING>' % (quoteattr(key_name), inner))
    return '<INSTANCENAME CLASSNAME=%s>%s</INSTANCENAME>' % (quoteattr(name.classname), ''.join(parts))


def local_instance_path_xml(name):
    return '<LOCALINSTANCEPATH>%s%s</LOCALINSTANCEPATH>' % (
        _namespace_xml(name.namespace or ''), instance_name_xml(name))


def _param_xml(name, value, cim_type):
    """A PARAMVALUE; a list becomes an array of `cim_type`, an InstanceName a reference."""
    if isinstance(value, InstanceName):
        body = '<VALUE.REFERENCE>%s</VALUE.REFERENCE>' % local_instance_path_xml(value)
        cim_type = 'reference'
    elif isinstance(value, (list, tuple)):
        body = '<VALUE.ARRAY>%s</VALUE.ARRAY>' % ''.join('<VALUE>%s</VALUE>' % _scalar_text(v) for v in value)
    else:
        body = '<VALUE>%s</VALUE>' % _scalar_text(value)
    return '<PARAMVALUE NAME=%s PARAMTYPE=%s>%s</PARAMVALUE>' % (quoteattr(name), quoteattr(cim_type), body)


def _message(call, message_id):
    return ('<?xml version="1.0" encoding="utf-8"?>\n'
            '<CIM CIMVERSION="2.0" DTDVERSION="2.0"><MESSAGE ID="%d" PROTOCOLVERSION="1.0">'
            '<SIMPLEREQ>%s</SIMPLEREQ></MESSAGE></CIM>' % (message_id, call)).encode('utf-8')


def intrinsic_request(method, namespace, params, message_id=1):
    """An IMETHODCALL; `params` maps a parameter name to a class name (str) or an InstanceName."""
    values = []
    for name, value in params:
        if isinstance(value, InstanceName):
            inner = instance_name_xml(value)
        else:
            inner = '<CLASSNAME NAME=%s/>' % quoteattr(value)
        values.append('<IPARAMVALUE NAME=%s>%s</IPARAMVALUE>' % (quoteattr(name), inner))
    call = '<IMETHODCALL NAME=%s>%s%s</IMETHODCALL>' % (quoteattr(method), _namespace_xml(namespace), ''.join(values))
    return _message(call, message_id)


def method_request(target, method, params, message_id=1):
    """A METHODCALL on the instance `target`; `params` are (name, value, CIM type) triples."""
    call = '<METHODCALL NAME=%s>%s%s</METHODCALL>' % (
        quoteattr(method), local_instance_path_xml(target),
        ''.join(_param_xml(name, value, cim_type) for name, value, cim_type in params))
    return _message(call, message_id)


# ---- replies

def _children(element, tag):
    return [child for child in element if child.tag == tag]


def _only(element, tag):
    found = _children(element, tag)
    if len(found) != 1:
        raise CimReplyError('%s holds %d %s elements, not one' % (element.tag, len(found), tag))
    return found[0]


def _inner(element):
    """The one element inside VALUE.REFERENCE or a named-instance wrapper."""
    if element is None or len(element) == 0:
        raise CimReplyError('an empty %s' % (element.tag if element is not None else 'element'))
    return element[0]


def _typed(text, cim_type):
    text = text or ''
    if cim_type in _INTEGER_TYPES:
        try:
            return int(text.strip())
        except ValueError:
            raise CimReplyError('%r is not a %s' % (text, cim_type))
    if cim_type == 'boolean':
        return text.strip().lower() == 'true'
    if cim_type in ('real32', 'real64'):
        try:
            return float(text.strip())
        except ValueError:
            raise CimReplyError('%r is not a %s' % (text, cim_type))
    return text


def _namespace_of(path_element):
    return '/'.join(ns.get('NAME', '') for ns in path_element.iter('NAMESPACE'))


def parse_instance_name(element, namespace=None):
    """INSTANCENAME, or an INSTANCEPATH / LOCALINSTANCEPATH holding one."""
    if element is None:
        raise CimReplyError('an instance name is missing')
    if element.tag in ('INSTANCEPATH', 'LOCALINSTANCEPATH'):
        space = None
        for part in element:
            if part.tag in ('NAMESPACEPATH', 'LOCALNAMESPACEPATH'):
                space = _namespace_of(part)
        return parse_instance_name(_only(element, 'INSTANCENAME'), space)
    if element.tag != 'INSTANCENAME':
        raise CimReplyError('expected an instance name, found %s' % element.tag)
    keys = []
    for binding in _children(element, 'KEYBINDING'):
        value_element = binding.find('KEYVALUE')
        if value_element is not None:
            kind = value_element.get('TYPE') or {'numeric': 'uint64', 'boolean': 'boolean'}.get(
                value_element.get('VALUETYPE'), 'string')
            keys.append((binding.get('NAME'), _typed(value_element.text, kind), kind))
            continue
        reference = _only(binding, 'VALUE.REFERENCE')
        keys.append((binding.get('NAME'), parse_instance_name(_inner(reference)), 'reference'))
    return InstanceName(element.get('CLASSNAME'), keys, namespace)


def _value(element, cim_type):
    """The value held by a PROPERTY, PARAMVALUE or RETURNVALUE element (None when it holds none)."""
    for child in element:
        if child.tag == 'VALUE':
            return _typed(child.text, cim_type)
        if child.tag == 'VALUE.ARRAY':
            return [None if v.tag == 'VALUE.NULL' else _typed(v.text, cim_type) for v in child]
        if child.tag == 'VALUE.REFERENCE':
            return parse_instance_name(_inner(child))
    return None


def parse_instance(element):
    """An INSTANCE as a dict of property name to value."""
    if element is None or element.tag != 'INSTANCE':
        raise CimReplyError('expected INSTANCE, found %s' % (element.tag if element is not None else 'nothing'))
    properties = {}
    for prop in element:
        if prop.tag in ('PROPERTY', 'PROPERTY.ARRAY', 'PROPERTY.REFERENCE'):
            properties[prop.get('NAME')] = _value(prop, prop.get('TYPE', 'string'))
    return properties


def _response(body, tag, method):
    if not HAS_DEFUSEDXML:
        raise CimReplyError('python3-defusedxml is needed to read replies')
    try:
        root = ElementTree.fromstring(body)
    except (ElementTree.ParseError, DefusedXmlException) as e:
        raise CimReplyError('the reply is not acceptable XML: %s' % e)
    response = root.find('MESSAGE/SIMPLERSP/' + tag)
    if root.tag != 'CIM' or response is None:
        raise CimReplyError('the reply holds no %s' % tag)
    if response.get('NAME', '').lower() != method.lower():
        raise CimReplyError('the reply answers %s, not %s' % (response.get('NAME'), method))
    error = response.find('ERROR')
    if error is not None:
        try:
            code = int(error.get('CODE', '1'))
        except ValueError:
            code = 1
        raise CimError(code, error.get('DESCRIPTION'))
    return response


def intrinsic_result(body, method):
    """The children of IRETURNVALUE (empty for an operation that returns nothing)."""
    response = _response(body, 'IMETHODRESPONSE', method)
    returned = response.find('IRETURNVALUE')
    return list(returned) if returned is not None else []


def method_result(body, method):
    """(return value or None, {output parameter: value}) of an extrinsic call."""
    response = _response(body, 'METHODRESPONSE', method)
    returned = response.find('RETURNVALUE')
    value = _value(returned, returned.get('PARAMTYPE', 'string')) if returned is not None else None
    outputs = {}
    for param in _children(response, 'PARAMVALUE'):
        outputs[param.get('NAME')] = _value(param, param.get('PARAMTYPE', 'string'))
    return value, outputs
