"""The client against small CIM servers on loopback: what it sends, how it uses connections, and how
each kind of failure reads."""
import base64
import http.server
import importlib.machinery
import importlib.util
import os
import socket
import ssl
import threading

import pytest

from ansible_collections.zelk.firmware.plugins.module_utils import cimclient, cimxml
from ansible_collections.zelk.firmware.plugins.module_utils.host import HostSession

NAMES = (b'<?xml version="1.0"?><CIM CIMVERSION="2.0" DTDVERSION="2.0"><MESSAGE ID="1" PROTOCOLVERSION="1.0">'
         b'<SIMPLERSP><IMETHODRESPONSE NAME="EnumerateInstanceNames"><IRETURNVALUE>'
         b'<INSTANCENAME CLASSNAME="XORVO_VMpkgInstallationService"><KEYBINDING NAME="Name">'
         b'<KEYVALUE VALUETYPE="string">QEL:QEL_PackageInstallationBroker</KEYVALUE></KEYBINDING>'
         b'</INSTANCENAME></IRETURNVALUE></IMETHODRESPONSE></SIMPLERSP></MESSAGE></CIM>')
REFUSED = (b'<?xml version="1.0"?><CIM><MESSAGE><SIMPLERSP><METHODRESPONSE NAME="ResetCimmon">'
           b'<ERROR CODE="2" DESCRIPTION="user root with password s3cret! may not"/></METHODRESPONSE>'
           b'</SIMPLERSP></MESSAGE></CIM>')
PASSWORD = 's3cret!'


class CimServer(object):
    """Answers every POST with the next of `replies` (status, headers, body); records requests."""

    def __init__(self, replies, tls=None):
        self.requests = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = 'HTTP/1.1'

            def do_POST(self):
                body = self.rfile.read(int(self.headers['Content-Length']))
                server.requests.append((self.client_address[1], self.headers, body))
                status, headers, data = replies.pop(0)
                self.send_response(status)
                for name, value in headers.items():
                    self.send_header(name, value)
                self.send_header('Content-Length', str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            def log_message(self, *args):
                pass

        self.httpd = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
        if tls:
            self.httpd.socket = tls.wrap_socket(self.httpd.socket, server_side=True)
        self.port = self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


@pytest.fixture
def serve():
    started = []

    def start(replies, tls=None):
        started.append(CimServer(list(replies), tls))
        return started[-1]
    yield start
    for server in started:
        server.close()


def client(port, **options):
    settings = dict(scheme='http', username='root', password=PASSWORD, timeout=5)
    settings.update(options)
    return cimclient.CimClient('127.0.0.1', port, **settings)


def test_headers_credentials_and_kept_connection(serve):
    ok = (200, {'Content-Type': 'application/xml'}, NAMES)
    server = serve([ok, ok, (200, {}, REFUSED)])
    cim = client(server.port)
    names = cim.enumerate_instance_names('zelk/cimv2', 'XORVO_VMpkgInstallationService')
    assert [n.key('Name') for n in names] == ['QEL:QEL_PackageInstallationBroker']
    cim.enumerate_instance_names('zelk/cimv2', 'XORVO_VMpkgInstallationService')
    with pytest.raises(cimxml.CimError):
        cim.invoke_method(names[0], 'ResetCimmon')
    first, second, third = server.requests
    headers = first[1]
    assert (headers['CIMOperation'], headers['CIMMethod'], headers['CIMObject']) == \
        ('MethodCall', 'EnumerateInstanceNames', 'zelk%2Fcimv2')
    assert base64.b64decode(headers['Authorization'].split()[1]) == b'root:' + PASSWORD.encode()
    assert third[1]['CIMObject'].startswith('zelk%2Fcimv2%3AXORVO_VMpkgInstallationService.')
    # Reads share one connection; a method call goes out on a fresh one.
    assert first[0] == second[0] != third[0]


def test_failures_say_what_failed_and_never_show_the_password(serve):
    server = serve([(401, {'WWW-Authenticate': 'Basic realm="hostsim"'}, b''),
                    (400, {'CIMError': 'request-not-valid'}, b''), (200, {}, REFUSED)])
    cim = client(server.port)
    with pytest.raises(cimclient.HttpFailure, match="HTTP 401: .* refused the credentials of user 'root'"):
        cim.enumerate_instance_names('zelk/cimv2', 'X')
    with pytest.raises(cimclient.HttpFailure, match=r'HTTP 400 .*\(CIMError: request-not-valid\)'):
        cim.enumerate_instance_names('zelk/cimv2', 'X')
    # A server that echoes the password in its fault does not get it into the module's message.
    session = HostSession(dict(host='127.0.0.1', port=server.port, scheme='http', username='root', password=PASSWORD,
                               validate_certs=True, ca_path=None, timeout=5))
    with pytest.raises(cimxml.CimError) as refused:
        session.client.invoke_method(cimxml.InstanceName('X', [], 'zelk/cimv2'), 'ResetCimmon')
    message = session.message(refused.value)
    assert PASSWORD not in message and '********' in message
    assert message.startswith('host 127.0.0.1:%d: CIM_ERR_ACCESS_DENIED: ' % server.port)

    with socket.socket() as closed:
        closed.bind(('127.0.0.1', 0))
        port = closed.getsockname()[1]
    with pytest.raises(cimclient.ConnectionFailed, match='connection to http://127.0.0.1:%d/cimom failed: '
                       'Connection refused' % port):
        client(port).enumerate_instance_names('zelk/cimv2', 'X')
    with socket.socket() as silent:  # accepts connections, never answers
        silent.bind(('127.0.0.1', 0))
        silent.listen(4)
        with pytest.raises(cimclient.RequestTimeout, match='timeout: no answer from .* within 0.3 s'):
            client(silent.getsockname()[1], timeout=0.3).enumerate_instance_names('zelk/cimv2', 'X')


@pytest.fixture(scope='module')
def tls_files(tmp_path_factory):
    fleet = os.path.join(os.path.dirname(__file__), *(['..'] * 5), 'scripts', 'fleet')
    loader = importlib.machinery.SourceFileLoader('fleet_script', fleet)
    script = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(script)
    return script.make_tls(str(tmp_path_factory.mktemp('tls')))


def test_tls_trusts_the_given_ca_only(serve, tls_files):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(tls_files['server.pem'], tls_files['server.key'])
    ok = (200, {}, NAMES)
    server = serve([ok, ok], tls=context)
    names = client(server.port, scheme='https', ca_path=tls_files['ca.pem']).enumerate_instance_names('zelk/cimv2', 'X')
    assert len(names) == 1
    with pytest.raises(cimclient.ConnectionFailed, match='TLS certificate of https://127.0.0.1:%d/cimom not accepted'
                       % server.port):
        client(server.port, scheme='https').enumerate_instance_names('zelk/cimv2', 'X')
    assert client(server.port, scheme='https', validate_certs=False).enumerate_instance_names('zelk/cimv2', 'X')
    with pytest.raises(cimclient.ConnectionFailed, match='cannot read the CA file'):
        client(server.port, scheme='https', ca_path='/nonexistent/ca.pem').enumerate_instance_names('zelk/cimv2', 'X')
