# -*- coding: utf-8 -*-
"""A CIM-XML client over HTTP or HTTPS (DSP0200), on the standard library's http.client.

One connection is kept open for the reads of a task, which are sent again once when the server
has closed it meanwhile; a method call goes out once, on a fresh connection. Every failure is a
ClientError whose text names what went wrong and never holds the password.
"""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import base64
import encodings.idna  # noqa: F401 (imported early: see _OPENSSL_READY)
import errno
import http.client
import socket
import ssl

try:
    from urllib.parse import quote
except ImportError:  # pragma: no cover
    from urllib import quote

from ansible_collections.zelk.firmware.plugins.module_utils import cimxml

DEFAULT_PORTS = {'https': 5989, 'http': 5988}
CIM_PATH = '/cimom'

# A process's first name lookup imports the idna codec, and its first TLS context makes OpenSSL set
# up its algorithms, which costs more than a handshake. Both are done here, once, where the
# controller loads the action plugins, and not again in each worker it forks per host and task.
_OPENSSL_READY = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)


class ClientError(Exception):
    """A failure of one request, with the kind of failure in its text."""


class ConnectionFailed(ClientError):
    pass


class RequestTimeout(ClientError):
    pass


class HttpFailure(ClientError):
    def __init__(self, message, status):
        super(HttpFailure, self).__init__(message)
        self.status = status


class CimClient(object):
    def __init__(self, host, port=None, scheme='https', username=None, password=None,
                 validate_certs=True, ca_path=None, timeout=30):
        if scheme not in DEFAULT_PORTS:
            raise ValueError('scheme must be https or http')
        self.host = host
        self.scheme = scheme
        self.port = port or DEFAULT_PORTS[scheme]
        self.username = username
        self._password = password
        self.validate_certs = validate_certs
        self.ca_path = ca_path
        self.timeout = timeout
        self._context = None
        self._connection = None
        self._message_id = 0

    @property
    def url(self):
        return '%s://%s:%d%s' % (self.scheme, self.host, self.port, CIM_PATH)

    @property
    def label(self):
        """How messages name the host: its address, with the port when it is not the usual one."""
        if self.port == DEFAULT_PORTS[self.scheme]:
            return self.host
        return '%s:%d' % (self.host, self.port)

    def redact(self, text):
        text = str(text)
        return text.replace(self._password, '********') if self._password else text

    # ---- transport

    def _tls_context(self):
        if not self.validate_certs:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
            context.check_hostname = False
            context.verify_mode = ssl.CERT_NONE
            return context
        return ssl.create_default_context(cafile=self.ca_path)

    def _connect(self):
        if self.scheme == 'https':
            # One TLS context for all connections of the client: making one costs more than a handshake.
            if self._context is None:
                try:
                    self._context = self._tls_context()
                except (IOError, OSError, ssl.SSLError) as e:
                    raise ConnectionFailed('cannot read the CA file %s: %s' % (self.ca_path, e))
            return http.client.HTTPSConnection(self.host, self.port, timeout=self.timeout, context=self._context)
        return http.client.HTTPConnection(self.host, self.port, timeout=self.timeout)

    def close(self):
        if self._connection is not None:
            self._connection.close()
            self._connection = None

    def _headers(self, method, cim_object):
        headers = {
            'Content-Type': 'application/xml; charset="utf-8"',
            'CIMOperation': 'MethodCall',
            'CIMMethod': method,
            'CIMObject': quote(cim_object, safe=''),
            'CIMProtocolVersion': '1.0',
        }
        if self.username is not None:
            token = '%s:%s' % (self.username, self._password or '')
            headers['Authorization'] = 'Basic ' + base64.b64encode(token.encode('utf-8')).decode('ascii')
        return headers

    def _exchange(self, body, headers):
        if self._connection is None:
            self._connection = self._connect()
        self._connection.request('POST', CIM_PATH, body=body, headers=headers)
        response = self._connection.getresponse()
        return response.status, response.getheader('CIMError'), response.read()

    def _post(self, method, cim_object, body, repeatable):
        headers = self._headers(method, cim_object)
        if not repeatable:
            # Sent on a fresh connection, so that a failure is never a stale kept one.
            self.close()
        try:
            try:
                status, cim_error, data = self._exchange(body, headers)
            except (http.client.RemoteDisconnected, BrokenPipeError, ConnectionResetError):
                if not repeatable:
                    raise
                # The kept connection was closed by the server meanwhile.
                self.close()
                status, cim_error, data = self._exchange(body, headers)
        except socket.timeout:
            self.close()
            raise RequestTimeout('timeout: no answer from %s within %s s' % (self.url, self.timeout))
        except ssl.SSLCertVerificationError as e:
            self.close()
            raise ConnectionFailed('TLS certificate of %s not accepted: %s' % (self.url, e.verify_message or e))
        except ssl.SSLError as e:
            self.close()
            raise ConnectionFailed('TLS connection to %s failed: %s' % (self.url, e))
        except (OSError, http.client.HTTPException) as e:
            self.close()
            raise ConnectionFailed('connection to %s failed: %s' % (self.url, self._reason(e)))
        if status == 401:
            raise HttpFailure('HTTP 401: %s refused the credentials of user %r' % (self.url, self.username or ''), status)
        if status != 200:
            detail = ' (CIMError: %s)' % cim_error if cim_error else ''
            raise HttpFailure('HTTP %d from %s%s' % (status, self.url, detail), status)
        return data

    def _reason(self, error):
        if isinstance(error, OSError) and error.errno is not None:
            name = errno.errorcode.get(error.errno, '')
            return self.redact('%s (%s)' % (error.strerror or error, name) if name else error.strerror or error)
        return self.redact(error or type(error).__name__)

    def _next_id(self):
        self._message_id += 1
        return self._message_id

    # ---- operations

    def _intrinsic(self, method, namespace, params):
        body = cimxml.intrinsic_request(method, namespace, params, self._next_id())
        data = self._post(method, namespace, body, repeatable=True)
        return cimxml.intrinsic_result(data, method)

    def enumerate_instance_names(self, namespace, classname):
        found = self._intrinsic('EnumerateInstanceNames', namespace, [('ClassName', classname)])
        return [cimxml.parse_instance_name(element, namespace) for element in found]

    def enumerate_instances(self, namespace, classname):
        """(InstanceName, properties) of every instance."""
        found = self._intrinsic('EnumerateInstances', namespace, [('ClassName', classname)])
        instances = []
        for named in found:
            if named.tag != 'VALUE.NAMEDINSTANCE':
                raise cimxml.CimReplyError('expected VALUE.NAMEDINSTANCE, found %s' % named.tag)
            name = cimxml.parse_instance_name(named.find('INSTANCENAME'), namespace)
            instances.append((name, cimxml.parse_instance(named.find('INSTANCE'))))
        return instances

    def get_instance(self, name):
        found = self._intrinsic('GetInstance', name.namespace, [('InstanceName', name)])
        if len(found) != 1:
            raise cimxml.CimReplyError('GetInstance returned %d instances' % len(found))
        return cimxml.parse_instance(found[0])

    def invoke_method(self, target, method, params=()):
        """(return value, output parameters) of an extrinsic method of the instance `target`."""
        body = cimxml.method_request(target, method, params, self._next_id())
        data = self._post(method, str(target), body, repeatable=False)
        return cimxml.method_result(data, method)
