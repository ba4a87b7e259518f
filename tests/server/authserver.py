#!/usr/bin/python3
"""A small OAuth 2.0 authorisation and resource server for OAuth_Dll's tests.

Runs on Debian's python3-oauthlib (oauthlib.oauth2.Server) and the standard
library's threaded http.server. Everything lives in memory and is lost when
the process ends. Listens on 127.0.0.1 only. Run it with /usr/bin/python3
(the interpreter that has Debian's oauthlib):

    /usr/bin/python3 tests/server/authserver.py --ports-file PORTS.json \\
        [--cert server.pem --key server.key]          # adds the https listener
        [--untrusted-cert self.pem --untrusted-key self.key]
        [--http-port 0] [--https-port 0]              # 0: a free port the OS picks
        [--max-seconds 900] [--log FILE]

When every listener is ready it writes PORTS.json atomically:

    {"http": 41234, "https": 41235, "untrusted": 41236, "tls11": 41237,
     "silent": 41238, "closed": 41239, "pid": 1234}

  http       plain HTTP
  https      TLS with the given certificate (the tests' CA issues it)
  untrusted  TLS with a certificate nobody trusts; counts requests that arrive
  tls11      TLS 1.0/1.1 only, same certificate as https (null if the local
             OpenSSL refuses to offer those versions)
  silent     accepts connections and never answers
  closed     a port that was free a moment ago and has no listener

A key missing from the command line leaves its listener out (null). The
process ends on SIGTERM or SIGINT, and by itself after --max-seconds.
tests/server/fixture.py makes the certificates (pki), starts the server in
the background and waits for PORTS.json (start), and stops it (stop); the
ctest fixtures use it.

Clients (client_id / client_secret; every grant type, scopes "read write"):
    test-client     test-secret
    special-client  c&s=1+2% 3          (holds & = + % and a space)
    public-client   (none: public)      authorization_code with PKCE,
                                        device_code and refresh_token only
User (resource owner, password grant):
    alice           pa&ss=wo+rd% 9      (holds & = + % and a space)
Seeded authorisation code (one use): seeded-code-1 for test-client, user
alice, scope "read", no redirect_uri. GET /seed-code?client_id=ID[&scope=S]
makes another one and answers {"code": "..."}.

JSON error replies always carry an error_description.
Clients authenticate with HTTP Basic (id and secret as sent, or each
form-urlencoded) or with client_id and client_secret form fields. The public
client names itself with client_id in the form, or with Basic and an empty
secret ("public-client:"). Every token reply carries an extra field
"client_auth": "basic", "form" or "none" (the public client). Every
endpoint that takes a form refuses a body without Content-Type
application/x-www-form-urlencoded with 400 invalid_request.

Scope words that script the simulated user (never granted): "deny" at
/authorize and /device_authorization; "pending2", "slow", "expire" at
/device_authorization.

Endpoints (on every listener; BASE is the listener's own http[s]://127.0.0.1:PORT):
  POST /token           grant_type client_credentials, password, refresh_token,
                        authorization_code (oauthlib refuses other methods with
                        400 invalid_request), and
                        urn:ietf:params:oauth:grant-type:device_code.
                        authorization_code checks code_verifier against the
                        code's S256 challenge (400 invalid_grant when wrong);
                        codes are one use
  GET /authorize        response_type=code, client_id, redirect_uri, state,
                        code_challenge, code_challenge_method=S256[, scope]:
                        alice consents at once, 302 to
                        redirect_uri?code=..&state=.. . redirect_uri must be
                        http://127.0.0.1:ANY-PORT/path or http://[::1]:PORT/path.
                        Unknown client, missing or other redirect_uri: 400
                        HTML page, no redirect. No challenge or a method other
                        than S256: redirect with error=invalid_request; scope
                        word "deny": error=access_denied (both with state)
  POST /device_authorization
                        client auth (public: client_id), scope -> device_code,
                        user_code, verification_uri (BASE/device),
                        verification_uri_complete, expires_in 600, interval 1.
                        The device_code grant then answers by the scope words:
                        "pending2" two authorization_pending, "slow" one
                        slow_down (the interval grows by 5 s), then a token;
                        "deny" access_denied; "expire" expired_token; otherwise
                        a token at the first poll. A used, unknown or other
                        client's device code: invalid_grant
  GET /device           the verification page (nothing to do: consent is
                        scripted)
  GET /device-polls?device_code=C | ?user_code=U
                        {"device_code", "user_code", "issued", "interval" (now
                        in force), "polls": [{"at": epoch seconds, "gap": since
                        the previous poll or the authorization, "interval": in
                        force when it came, "reply": error or "token"}]}
  POST /revoke          token[, token_type_hint]; client auth (public:
                        client_id). 200 with an empty body for any token,
                        unknown or another client's (left alone). Revoking a
                        refresh token revokes the access tokens issued with it
  POST /introspect      token[, token_type_hint]; client Basic/form credentials
                        or "Authorization: Bearer <live access token>" (a
                        public client_id alone is 401 invalid_client).
                        {"active": true, scope, client_id, username (when a
                        user), token_type ("Bearer" or "refresh_token"), exp
                        (access tokens), iat, sub} or {"active": false}
  GET /.well-known/oauth-authorization-server, /.well-known/openid-configuration
                        metadata (RFC 8414, OpenID Connect discovery): issuer
                        BASE and the endpoints above; Authorization ignored.
                        Issuer BASE/tenant1, same endpoints:
                        /.well-known/oauth-authorization-server/tenant1 and
                        /tenant1/.well-known/openid-configuration
  GET|POST /resource    needs "Authorization: Bearer <token>"; echoes the
                        request as JSON with a "token" object (client_id, user,
                        grant_type, scopes, client_auth)
  any  /echo            echoes the request as JSON without checking a token
                        (?setcookie=1 adds a Set-Cookie header)
  GET /text?value=V&enc=CODEC[&label=CHARSET][&bom=1]
                        V (UTF-8, form-encoded) re-encoded with the Python codec
                        CODEC; Content-Type text/plain, with "; charset=LABEL"
                        when given; bom=1 puts the codec's byte-order mark first
  GET /bytes[?hex=HEX][&type=MIME]
                        the given bytes (default all 256 byte values)
  GET /redirect         302 to /resource on the same listener
  GET /gzip, /deflate   a JSON body compressed that way, always
  GET /status?code=N[&phrase=P]
                        status N with phrase P, or an empty phrase
  GET /big?bytes=N[&chunked=1]
                        N zero bytes, with Content-Length or chunked
  GET /stats?tag=T      {"connections": distinct TCP connections that carried
                        requests with ?tag=T, "requests": how many}
  GET /stats?listener=L {"connections": n, "requests": n} of listener L
                        (http, https, untrusted, tls11); requests to /stats
                        itself are not counted

The echo JSON: {"method", "path", "query", "headers": {lower-case name:
value, repeated names joined with ", "}, "header_lines": [[name, value], ...],
"body_hex", "body_length", "listener", "connection"}.
"""

import argparse
import base64
import gzip
import http.server
import json
import os
import signal
import socket
import socketserver
import ssl
import sys
import threading
import time
import urllib.parse
import warnings
import zlib

os.environ.setdefault("OAUTHLIB_INSECURE_TRANSPORT", "1")  # http listener

from oauthlib.common import Request  # noqa: E402
from oauthlib.oauth2 import IntrospectEndpoint, RequestValidator, Server  # noqa: E402
from oauthlib.oauth2.rfc6749 import errors  # noqa: E402
from oauthlib.oauth2.rfc6749.errors import OAuth2Error  # noqa: E402

CLIENTS = {
    "test-client": "test-secret",
    "special-client": "c&s=1+2% 3",
}
# Native apps cannot keep a secret: they identify themselves by client_id alone.
PUBLIC_CLIENTS = ("public-client",)
USERS = {
    "alice": "pa&ss=wo+rd% 9",
}
SEEDED_CODE = "seeded-code-1"
DEVICE_GRANT = "urn:ietf:params:oauth:grant-type:device_code"
ALL_GRANTS = ("client_credentials", "password", "refresh_token", "authorization_code",
              DEVICE_GRANT)
PUBLIC_GRANTS = ("authorization_code", "refresh_token", DEVICE_GRANT)
SCOPES = ("read", "write")
# Scope words that script what the simulated user does at /authorize and
# during a device authorization; they are never granted.
SCRIPT_WORDS = ("deny", "pending2", "slow", "expire")
DEVICE_INTERVAL = 1  # seconds, so that polling tests stay quick
DEVICE_LIFETIME = 600
SLOW_DOWN_STEP = 5  # RFC 8628 3.5: every slow_down adds five seconds
TENANT = "tenant1"  # the issuer with a path is BASE/tenant1
TOKEN_LIFETIME = 3600
SAMPLE_BYTES = bytes(range(256))
# oauthlib leaves most errors without a description; a reply with one lets a
# client show the user what went wrong.
ERROR_DESCRIPTIONS = {
    "invalid_client": "Client authentication failed.",
    "invalid_grant": "The grant is invalid, expired or revoked.",
    "invalid_request": "The request is missing a parameter or is malformed.",
    "unauthorized_client": "The client may not use this grant type.",
    "unsupported_grant_type": "The grant type is not supported.",
    "invalid_scope": "The requested scope is invalid.",
    "access_denied": "The user denied the request.",
    "unsupported_token_type": "The token type is not supported.",
}


AS_METADATA = "/.well-known/oauth-authorization-server"
OIDC_METADATA = "/.well-known/openid-configuration"
DEVICE_ERRORS = {
    "authorization_pending": "The user has not yet approved the device.",
    "slow_down": "Polling too often: wait five seconds more between polls.",
    "expired_token": "The device code has expired.",
    "invalid_grant": "The device code is unknown, used or not this client's.",
}


class Client:
    def __init__(self, client_id):
        self.client_id = client_id


class Store:
    """Issued tokens, refresh tokens, one-time codes and connection counts."""

    def __init__(self):
        self.lock = threading.Lock()
        self.access = {}   # token -> info dict
        self.refresh = {}  # refresh token -> info dict
        self.codes = {SEEDED_CODE: {"client_id": "test-client", "user": "alice",
                                    "scopes": ["read"], "redirect_uri": None}}
        self.listener_connections = {}
        self.listener_requests = {}
        self.tag_connections = {}
        self.tag_requests = {}
        self.next_connection = 0
        self.devices = {}  # device code -> device authorization dict

    def new_connection(self, listener):
        with self.lock:
            self.next_connection += 1
            self.listener_connections[listener] = self.listener_connections.get(listener, 0) + 1
            return self.next_connection

    def count_request(self, listener, connection, tag):
        with self.lock:
            self.listener_requests[listener] = self.listener_requests.get(listener, 0) + 1
            if tag:
                self.tag_connections.setdefault(tag, set()).add(connection)
                self.tag_requests[tag] = self.tag_requests.get(tag, 0) + 1


STORE = Store()


class Validator(RequestValidator):
    """Holds the fixed clients and user; tokens and codes live in STORE."""

    @staticmethod
    def _secret_matches(client_id, secret):
        expected = CLIENTS.get(client_id)
        return expected is not None and secret == expected

    @staticmethod
    def _public_client(request):
        """The public client a request names without a secret, or None.

        A host that must send an Authorization header for a public client
        sends Basic with the id and an empty secret; others put client_id in
        the form.
        """
        authorization = request.headers.get("Authorization", "")
        if authorization[:6].lower() == "basic ":
            try:
                decoded = base64.b64decode(authorization[6:].strip(), validate=True).decode("utf-8")
            except (ValueError, UnicodeDecodeError):
                return None
            client_id, sep, secret = decoded.partition(":")
            client_id = urllib.parse.unquote_plus(client_id)
        elif authorization[:7].lower() == "bearer ":
            return None
        else:
            # Any other scheme (oauthcli sends "None") names no client.
            client_id, sep, secret = request.client_id, ":", request.client_secret
        if client_id in PUBLIC_CLIENTS and sep and not secret and not request.client_secret:
            return client_id
        return None

    def client_authentication_required(self, request, *args, **kwargs):
        return self._public_client(request) is None

    def authenticate_client(self, request, *args, **kwargs):
        authorization = request.headers.get("Authorization", "")
        if authorization[:6].lower() == "basic ":
            try:
                decoded = base64.b64decode(authorization[6:].strip(), validate=True).decode("utf-8")
            except (ValueError, UnicodeDecodeError):
                return False
            client_id, sep, secret = decoded.partition(":")
            if not sep:
                return False
            if not self._secret_matches(client_id, secret):
                # Basic credentials may also arrive form-urlencoded.
                client_id = urllib.parse.unquote_plus(client_id)
                secret = urllib.parse.unquote_plus(secret)
                if not self._secret_matches(client_id, secret):
                    return False
            request.client_auth = "basic"
        else:
            client_id = request.client_id
            secret = request.client_secret
            if client_id is None or secret is None or not self._secret_matches(client_id, secret):
                return False
            request.client_auth = "form"
        request.client = Client(client_id)
        request.client_id = client_id
        return True

    def authenticate_client_id(self, client_id, request, *args, **kwargs):
        public = self._public_client(request)
        if public is None or client_id not in (None, public):
            return False
        request.client = Client(public)
        request.client_id = public
        request.client_auth = "none"
        return True

    def validate_grant_type(self, client_id, grant_type, client, request, *args, **kwargs):
        return grant_type in (PUBLIC_GRANTS if client_id in PUBLIC_CLIENTS else ALL_GRANTS)

    def validate_client_id(self, client_id, request, *args, **kwargs):
        return client_id in CLIENTS or client_id in PUBLIC_CLIENTS

    def validate_redirect_uri(self, client_id, redirect_uri, request, *args, **kwargs):
        # Native apps listen on a loopback port of their choosing (RFC 8252
        # 7.3), so any port of the loopback address is registered.
        parts = urllib.parse.urlsplit(redirect_uri)
        try:
            parts.port
        except ValueError:
            return False
        return (parts.scheme == "http" and parts.hostname in ("127.0.0.1", "::1")
                and not parts.fragment)

    def validate_response_type(self, client_id, response_type, client, request, *args, **kwargs):
        return response_type == "code"

    def save_authorization_code(self, client_id, code, request, *args, **kwargs):
        with STORE.lock:
            STORE.codes[code["code"]] = {
                "client_id": client_id, "user": request.user, "scopes": list(request.scopes),
                "redirect_uri": request.redirect_uri, "challenge": request.code_challenge,
                "challenge_method": request.code_challenge_method}

    def validate_scopes(self, client_id, scopes, client, request, *args, **kwargs):
        return all(scope in SCOPES for scope in scopes)

    def get_default_scopes(self, client_id, request, *args, **kwargs):
        return ["read"]

    def validate_user(self, username, password, client, request, *args, **kwargs):
        if USERS.get(username) != password:
            return False
        request.user = username
        return True

    def save_bearer_token(self, token, request, *args, **kwargs):
        info = {
            "client_id": request.client_id,
            "user": getattr(request, "user", None),
            "grant_type": request.grant_type,
            "scopes": token.get("scope", " ".join(request.scopes or [])).split(),
            "client_auth": getattr(request, "client_auth", None),
            "expires": time.time() + token.get("expires_in", TOKEN_LIFETIME),
            "issued": time.time(),
        }
        with STORE.lock:
            STORE.access[token["access_token"]] = info
            if "refresh_token" in token:
                STORE.refresh[token["refresh_token"]] = info
            if request.grant_type == "refresh_token" and request.refresh_token:
                STORE.refresh.pop(request.refresh_token, None)
        # Lets a test see which way the client authenticated.
        token["client_auth"] = info["client_auth"]

    def validate_bearer_token(self, token, scopes, request):
        with STORE.lock:
            info = STORE.access.get(token)
        if info is None or info["expires"] < time.time():
            return False
        if not all(scope in info["scopes"] for scope in scopes or []):
            return False
        request.client_id = info["client_id"]
        request.user = info["user"]
        request.scopes = info["scopes"]
        request.token_info = info
        return True

    def validate_refresh_token(self, refresh_token, client, request, *args, **kwargs):
        with STORE.lock:
            info = STORE.refresh.get(refresh_token)
        if info is None or info["client_id"] != client.client_id:
            return False
        request.user = info["user"]
        return True

    def get_original_scopes(self, refresh_token, request, *args, **kwargs):
        with STORE.lock:
            info = STORE.refresh.get(refresh_token)
        return list(info["scopes"]) if info else []

    def validate_code(self, client_id, code, client, request, *args, **kwargs):
        with STORE.lock:
            info = STORE.codes.get(code)
        if info is None or info["client_id"] != client_id:
            return False
        request.user = info["user"]
        request.scopes = info["scopes"]
        return True

    def get_default_redirect_uri(self, client_id, request, *args, **kwargs):
        if request.code is None:
            return None  # /authorize: no client has a registered default
        # A code seeded without redirect_uri is redeemed without one too.
        with STORE.lock:
            info = STORE.codes.get(request.code)
        return (info or {}).get("redirect_uri") or "none"

    def confirm_redirect_uri(self, client_id, code, redirect_uri, client, request, *args, **kwargs):
        with STORE.lock:
            info = STORE.codes.get(code)
        if info is None:
            return False
        expected = info["redirect_uri"]
        return redirect_uri == expected or (expected is None and redirect_uri == "none")

    def invalidate_authorization_code(self, client_id, code, request, *args, **kwargs):
        with STORE.lock:
            STORE.codes.pop(code, None)

    def is_pkce_required(self, client_id, request):
        # /authorize demands a challenge from every client (see
        # native_app_rules); codes from /seed-code for a confidential
        # client are redeemed without a verifier.
        return client_id in PUBLIC_CLIENTS

    def get_code_challenge(self, code, request):
        with STORE.lock:
            return (STORE.codes.get(code) or {}).get("challenge")

    def get_code_challenge_method(self, code, request):
        with STORE.lock:
            return (STORE.codes.get(code) or {}).get("challenge_method")

    def revoke_token(self, token, token_type_hint, request, *args, **kwargs):
        # Only the client the token was issued to may revoke it; another
        # client's token is answered like an unknown one (RFC 7009 2.2).
        with STORE.lock:
            if (STORE.access.get(token) or {}).get("client_id") == request.client_id:
                del STORE.access[token]
            info = STORE.refresh.get(token)
            if info is not None and info["client_id"] == request.client_id:
                del STORE.refresh[token]
                # The access tokens issued with it go too.
                for access in [t for t, i in STORE.access.items() if i is info]:
                    del STORE.access[access]

    def introspect_token(self, token, token_type_hint, request, *args, **kwargs):
        with STORE.lock:
            info, kind = STORE.access.get(token), "Bearer"
            if info is None or info["expires"] < time.time():
                info, kind = STORE.refresh.get(token), "refresh_token"
        if info is None:
            return None
        claims = {"scope": " ".join(info["scopes"]), "client_id": info["client_id"],
                  "token_type": kind, "iat": int(info["issued"]),
                  "sub": info["user"] or info["client_id"]}
        if kind == "Bearer":
            claims["exp"] = int(info["expires"])
        if info["user"]:
            claims["username"] = info["user"]
        return claims


class IntrospectionValidator(Validator):
    """Introspection needs real authentication: a client secret or a live
    bearer token (RFC 7662 2.1); a public client's id alone is not enough."""

    def client_authentication_required(self, request, *args, **kwargs):
        return True

    def authenticate_client(self, request, *args, **kwargs):
        authorization = request.headers.get("Authorization", "")
        if authorization[:7].lower() != "bearer ":
            return super().authenticate_client(request, *args, **kwargs)
        with STORE.lock:
            info = STORE.access.get(authorization[7:].strip())
        if info is None or info["expires"] < time.time():
            return False
        request.client = Client(info["client_id"])
        request.client_id = info["client_id"]
        return True


def native_app_rules(request):
    """/authorize: PKCE with S256 for every client, and the scripted refusal."""
    if request.code_challenge is None or request.code_challenge_method != "S256":
        raise errors.InvalidRequestError(
            description="PKCE is required: code_challenge with code_challenge_method S256.",
            request=request)
    if "deny" in (request.scope or "").split():
        raise errors.AccessDeniedError(description=ERROR_DESCRIPTIONS["access_denied"],
                                       request=request)
    return {}


VALIDATOR = Validator()
OAUTH = Server(VALIDATOR, token_expires_in=TOKEN_LIFETIME)
OAUTH.auth_grant.custom_validators.pre_auth.append(native_app_rules)
INTROSPECTION = IntrospectEndpoint(IntrospectionValidator())


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "OAuthTestServer/1.0"
    # Longer than WinHTTP keeps idle connections, so the client, not the
    # server, decides when a pooled connection goes away.
    timeout = 60
    disable_nagle_algorithm = True

    def version_string(self):
        return self.server_version

    def setup(self):
        super().setup()
        self.connection_id = self.server.current.connection_id

    def handle_one_request(self):
        # WinHTTP under Wine writes a POST's headers and body separately and,
        # with Nagle, waits for the first write's ACK; a delayed ACK here
        # would cost every POST some 40 ms. Linux clears the flag again after
        # a while, so it is set before each request.
        try:
            self.connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
        except (AttributeError, OSError):
            pass
        super().handle_one_request()

    def log_message(self, fmt, *args):
        log = self.server.log
        if log is not None:
            log.write("%s %s\n" % (self.server.listener_name, fmt % args))
            log.flush()

    # --- plumbing -------------------------------------------------------

    def _split_url(self):
        parsed = urllib.parse.urlsplit(self.path)
        return parsed.path, parsed.query, dict(urllib.parse.parse_qsl(parsed.query, keep_blank_values=True))

    def _read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            chunks = []
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass
                    return b"".join(chunks)
                chunks.append(self.rfile.read(size))
                self.rfile.readline()
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def _reply(self, status, body, content_type="application/json; charset=utf-8",
               headers=(), phrase=None):
        if isinstance(body, str):
            body = body.encode("utf-8")
        if phrase is None:
            self.send_response(status)
        else:
            self.log_request(status)
            # An empty phrase keeps its space: Wine's WinHTTP refuses a status
            # line that ends right after the code.
            line = "%s %d %s\r\n" % (self.protocol_version, status, phrase)
            self._headers_buffer = [line.encode("latin-1", "strict")]
            self.send_header("Server", self.version_string())
            self.send_header("Date", self.date_time_string())
        if content_type:
            self.send_header("Content-Type", content_type)
        for name, value in headers:
            self.send_header(name, value)
        # A client that asked for the connection to close is told that it
        # does: WinHTTP keeps a connection that the reply does not mark.
        if self.close_connection and not any(n.lower() == "connection" for n, _ in headers):
            self.send_header("Connection", "close")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def _json(self, status, value, headers=()):
        self._reply(status, json.dumps(value, sort_keys=True, separators=(",", ":")), headers=headers)

    def _echo(self, body, extra=None):
        path, query, _ = self._split_url()
        headers = {}
        for name, value in self.headers.items():
            key = name.lower()
            headers[key] = headers[key] + ", " + value if key in headers else value
        value = {
            "method": self.command,
            "path": path,
            "query": query,
            "headers": headers,
            "header_lines": [[n, v] for n, v in self.headers.items()],
            "body_hex": body.hex(),
            "body_length": len(body),
            "listener": self.server.listener_name,
            "connection": self.connection_id,
        }
        if extra:
            value.update(extra)
        return value

    # --- dispatch -------------------------------------------------------

    def _handle(self):
        path, _, params = self._split_url()
        if path != "/stats":
            STORE.count_request(self.server.listener_name, self.connection_id, params.get("tag"))
        body = self._read_body()
        route = {
            "/token": self._token,
            "/resource": self._resource,
            "/echo": self._plain_echo,
            "/text": self._text,
            "/bytes": self._bytes,
            "/redirect": self._redirect,
            "/gzip": self._compressed,
            "/deflate": self._compressed,
            "/status": self._status,
            "/big": self._big,
            "/stats": self._stats,
            "/seed-code": self._seed_code,
            "/authorize": self._authorize,
            "/device_authorization": self._device_authorization,
            "/device": self._device_page,
            "/device-polls": self._device_polls,
            "/revoke": self._revoke,
            "/introspect": self._introspect,
            AS_METADATA: self._metadata,
            OIDC_METADATA: self._metadata,
            AS_METADATA + "/" + TENANT: self._metadata,
            "/" + TENANT + OIDC_METADATA: self._metadata,
        }.get(path)
        if route is None:
            self._json(404, {"error": "not_found", "path": path})
        else:
            route(body, params)

    do_GET = do_POST = do_PUT = do_DELETE = do_PATCH = do_HEAD = do_OPTIONS = _handle

    def _base(self):
        scheme = "http" if self.server.listener_name == "http" else "https"
        return "%s://127.0.0.1:%d" % (scheme, self.server.server_address[1])

    def _uri(self):
        return self._base() + self.path

    def _form_refused(self, body):
        """Answers and returns True when a body is not declared a form, as
        compliant servers refuse it."""
        media_type = self.headers.get("Content-Type", "").split(";")[0].strip().lower()
        if body and media_type != "application/x-www-form-urlencoded":
            self._json(400, {"error": "invalid_request",
                             "error_description":
                                 "content must be application/x-www-form-urlencoded"})
            return True
        return False

    def _oauth(self, endpoint_call, body):
        """Runs an oauthlib endpoint on this request and sends its answer."""
        try:
            headers, text, status = endpoint_call(
                self._uri(), http_method=self.command, body=body.decode("utf-8", "replace"),
                headers=dict(self.headers.items()))
        except OAuth2Error as error:
            # oauthlib raises for some requests (a GET to the token endpoint)
            # instead of answering them; answer as it would.
            headers, text, status = dict(error.headers), error.json, error.status_code
        self._oauth_reply(status, text, headers)

    def _oauth_error(self, error):
        self._oauth_reply(error.status_code, error.json, dict(error.headers))

    def _token(self, body, params):
        if self._form_refused(body):
            return
        form = dict(urllib.parse.parse_qsl(body.decode("utf-8", "replace")))
        if form.get("grant_type") == DEVICE_GRANT:
            self._device_token(body)
        else:
            self._oauth(OAUTH.create_token_response, body)

    def _oauth_reply(self, status, text, headers):
        try:
            reply = json.loads(text or "{}")
        except ValueError:
            reply = None
        if isinstance(reply, dict) and "error" in reply and "error_description" not in reply:
            reply["error_description"] = ERROR_DESCRIPTIONS.get(reply["error"], reply["error"])
            text = json.dumps(reply)
        # A revocation's empty 200 says nothing and has no type.
        self._reply(status, text or "", content_type=None if not text else
                    "application/json; charset=utf-8",
                    headers=[(k, v) for k, v in headers.items() if k.lower() != "content-type"])

    def _resource(self, body, params):
        valid, request = OAUTH.verify_request(
            self._uri(), http_method=self.command, body=None, headers=dict(self.headers.items()))
        if not valid:
            self._json(401, {"error": "invalid_token"},
                       headers=[("WWW-Authenticate", 'Bearer error="invalid_token"')])
            return
        info = {k: v for k, v in request.token_info.items() if k not in ("expires", "issued")}
        self._json(200, self._echo(body, {"token": info}))

    def _plain_echo(self, body, params):
        headers = [("X-Repeated", "one"), ("X-Repeated", "two")]
        if params.get("setcookie"):
            headers.append(("Set-Cookie", "session=from-echo; Path=/"))
        self._json(200, self._echo(body), headers=headers)

    def _text(self, body, params):
        codec = params.get("enc", "utf-8")
        try:
            data = params.get("value", "").encode(codec)
        except (LookupError, UnicodeEncodeError) as error:
            self._json(400, {"error": str(error)})
            return
        if params.get("bom") == "1":
            data = {"utf-8": b"\xef\xbb\xbf", "utf-16-le": b"\xff\xfe", "utf-16le": b"\xff\xfe",
                    "utf-16-be": b"\xfe\xff", "utf-16be": b"\xfe\xff"}.get(codec.lower(), b"") + data
        content_type = "text/plain"
        if "label" in params:
            content_type += "; charset=" + params["label"]
        self._reply(200, data, content_type=content_type)

    def _bytes(self, body, params):
        data = bytes.fromhex(params["hex"]) if "hex" in params else SAMPLE_BYTES
        self._reply(200, data, content_type=params.get("type", "application/octet-stream"))

    def _redirect(self, body, params):
        scheme = "http" if self.server.listener_name == "http" else "https"
        location = "%s://127.0.0.1:%d/resource" % (scheme, self.server.server_address[1])
        self._reply(302, "moved", content_type="text/plain", headers=[("Location", location)])

    def _compressed(self, body, params):
        path, _, _ = self._split_url()
        data = json.dumps({"compressed": True, "filler": "abc" * 200}).encode("utf-8")
        if path == "/gzip":
            data, encoding = gzip.compress(data), "gzip"
        else:
            data, encoding = zlib.compress(data), "deflate"
        self._reply(200, data, headers=[("Content-Encoding", encoding), ("Vary", "Accept-Encoding")])

    def _status(self, body, params):
        code = int(params.get("code", "200"))
        self._reply(code, "status %d" % code, content_type="text/plain",
                    phrase=params.get("phrase", ""))

    def _big(self, body, params):
        total = int(params.get("bytes", "0"))
        block = bytes(1024 * 1024)
        chunked = params.get("chunked") == "1"
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(total))
        self.end_headers()
        try:
            left = total
            while left > 0:
                piece = block[:min(left, len(block))]
                if chunked:
                    self.wfile.write(b"%x\r\n" % len(piece) + piece + b"\r\n")
                else:
                    self.wfile.write(piece)
                left -= len(piece)
            if chunked:
                self.wfile.write(b"0\r\n\r\n")
        except OSError:
            self.close_connection = True

    def _stats(self, body, params):
        with STORE.lock:
            if "tag" in params:
                tag = params["tag"]
                value = {"connections": len(STORE.tag_connections.get(tag, ())),
                         "requests": STORE.tag_requests.get(tag, 0)}
            else:
                listener = params.get("listener", "http")
                value = {"connections": STORE.listener_connections.get(listener, 0),
                         "requests": STORE.listener_requests.get(listener, 0)}
        self._json(200, value)

    def _seed_code(self, body, params):
        client_id = params.get("client_id", "test-client")
        code = "code-" + base64.urlsafe_b64encode(os.urandom(12)).decode("ascii")
        with STORE.lock:
            STORE.codes[code] = {"client_id": client_id, "user": "alice",
                                 "scopes": params.get("scope", "read").split(),
                                 "redirect_uri": params.get("redirect_uri")}
        self._json(200, {"code": code})


    # --- authorization code with PKCE, for native apps ----------------------

    def _authorize(self, body, params):
        # The user, alice, consents at once; only fatal errors (unknown
        # client, a redirect_uri that is not loopback) stay on this page.
        try:
            headers, _, status = OAUTH.create_authorization_response(
                self._uri(), http_method="GET", credentials={"user": "alice"})
        except errors.FatalClientError as error:
            self._reply(400, "<html><body><h1>Authorization failed</h1><p>%s: %s</p></body></html>"
                        % (error.error, error.description), content_type="text/html; charset=utf-8")
            return
        self._reply(status, "", content_type=None, headers=list(headers.items()))

    # --- metadata (RFC 8414, OpenID Connect discovery) -------------------

    def _metadata(self, body, params):
        # Authorization is not needed and ignored.
        base = self._base()
        path = self._split_url()[0]
        issuer = base + "/" + TENANT if TENANT in path.split("/") else base
        self._json(200, {
            "issuer": issuer,
            "authorization_endpoint": base + "/authorize",
            "token_endpoint": base + "/token",
            "device_authorization_endpoint": base + "/device_authorization",
            "revocation_endpoint": base + "/revoke",
            "introspection_endpoint": base + "/introspect",
            "response_types_supported": ["code"],
            "grant_types_supported": list(ALL_GRANTS),
            "code_challenge_methods_supported": ["S256"],
            "token_endpoint_auth_methods_supported":
                ["client_secret_basic", "client_secret_post", "none"],
            "scopes_supported": list(SCOPES),
        })

    # --- revocation (RFC 7009), introspection (RFC 7662) -----------------

    def _revoke(self, body, params):
        if not self._form_refused(body):
            self._oauth(OAUTH.create_revocation_response, body)

    def _introspect(self, body, params):
        if not self._form_refused(body):
            self._oauth(INTROSPECTION.create_introspect_response, body)

    # --- device authorization (RFC 8628) ---------------------------------

    def _client_request(self, body):
        """An oauthlib request for this form, its client authenticated or None."""
        request = Request(self._uri(), http_method=self.command,
                          body=body.decode("utf-8", "replace"), headers=dict(self.headers.items()))
        if VALIDATOR.client_authentication_required(request):
            authenticated = VALIDATOR.authenticate_client(request)
        else:
            authenticated = VALIDATOR.authenticate_client_id(request.client_id, request)
        if not authenticated:
            self._oauth_error(errors.InvalidClientError(request=request))
            return None
        if not VALIDATOR.validate_grant_type(request.client_id, DEVICE_GRANT, request.client,
                                             request):
            self._oauth_error(errors.UnauthorizedClientError(request=request))
            return None
        return request

    def _device_authorization(self, body, params):
        if self._form_refused(body):
            return
        request = self._client_request(body)
        if request is None:
            return
        words = (request.scope or "").split()
        if any(w not in SCOPES and w not in SCRIPT_WORDS for w in words):
            self._oauth_error(errors.InvalidScopeError(request=request))
            return
        # What the simulated user does; the token endpoint replays it.
        script = {"pending2": ["authorization_pending"] * 2, "slow": ["slow_down"],
                  "deny": ["access_denied"], "expire": ["expired_token"]}
        replies = next((script[w] for w in words if w in script), [])
        device_code = "device-" + base64.urlsafe_b64encode(os.urandom(18)).decode("ascii")
        letters = "BCDFGHJKLMNPQRSTVWXZ"
        user_code = "".join(letters[b % len(letters)] for b in os.urandom(8))
        user_code = user_code[:4] + "-" + user_code[4:]
        now = time.time()
        with STORE.lock:
            STORE.devices[device_code] = {
                "client_id": request.client_id, "user_code": user_code,
                "scopes": [w for w in words if w in SCOPES] or ["read"],
                "replies": replies, "interval": DEVICE_INTERVAL, "issued": now,
                "expires": now + DEVICE_LIFETIME, "polls": [], "done": None}
        verification_uri = self._base() + "/device"
        self._json(200, {"device_code": device_code, "user_code": user_code,
                         "verification_uri": verification_uri,
                         "verification_uri_complete":
                             verification_uri + "?user_code=" + user_code,
                         "expires_in": DEVICE_LIFETIME, "interval": DEVICE_INTERVAL},
                   headers=[("Cache-Control", "no-store")])

    def _device_token(self, body):
        request = self._client_request(body)
        if request is None:
            return
        now = time.time()
        with STORE.lock:
            device = STORE.devices.get(dict(request.decoded_body or ()).get("device_code", ""))
            if device is None or device["client_id"] != request.client_id:
                reply = "invalid_grant"
            else:
                previous = device["polls"][-1]["at"] if device["polls"] else device["issued"]
                poll = {"at": now, "gap": round(now - previous, 3),
                        "interval": device["interval"]}
                device["polls"].append(poll)
                if device["done"]:
                    reply = device["done"]
                elif now > device["expires"]:
                    reply = "expired_token"
                elif device["replies"]:
                    reply = device["replies"].pop(0)
                else:
                    reply = "token"
                if reply == "slow_down":
                    device["interval"] += SLOW_DOWN_STEP
                elif reply in ("access_denied", "expired_token"):
                    device["done"] = reply
                elif reply == "token":
                    # A device code is good for one token.
                    device["done"] = "invalid_grant"
                poll["reply"] = reply
        if reply != "token":
            self._oauth_error(errors.CustomOAuth2Error(
                reply, DEVICE_ERRORS.get(reply, ERROR_DESCRIPTIONS.get(reply)), status_code=400))
            return
        request.grant_type = DEVICE_GRANT
        request.user = "alice"
        request.scopes = device["scopes"]
        token = OAUTH.bearer.create_token(request, refresh_token=True)
        VALIDATOR.save_token(token, request)
        self._json(200, dict(token), headers=[("Cache-Control", "no-store"),
                                              ("Pragma", "no-cache")])

    def _device_page(self, body, params):
        self._reply(200, "Device codes are approved as scripted; there is nothing to do here.\n",
                    content_type="text/plain; charset=utf-8")

    def _device_polls(self, body, params):
        with STORE.lock:
            code = params.get("device_code")
            if code is None:
                code = next((c for c, d in STORE.devices.items()
                             if d["user_code"] == params.get("user_code")), None)
            device = STORE.devices.get(code or "")
            value = device and {"device_code": code, "user_code": device["user_code"],
                                "issued": device["issued"], "interval": device["interval"],
                                "polls": [dict(p) for p in device["polls"]]}
        if value is None:
            self._json(404, {"error": "not_found"})
        else:
            self._json(200, value)


class Listener(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = False
    # A burst of new connections (dozens of threads at once, none kept
    # alive) overflows the default backlog of 5; on loopback with SYN
    # cookies the client then sees a connection that the server never
    # accepted, and a reset.
    request_queue_size = 128

    def __init__(self, name, port, log, tls_context=None):
        self.listener_name = name
        self.log = log
        self.tls_context = tls_context
        self.current = threading.local()  # the connection this thread serves
        super().__init__(("127.0.0.1", port), Handler)

    def finish_request(self, request, client_address):
        # Counted when accepted, so that a client that gives up during the
        # TLS handshake still shows as a connection.
        self.current.connection_id = STORE.new_connection(self.listener_name)
        if self.tls_context is not None:
            # The handshake runs on the connection's own thread, so a client
            # that stalls in it cannot hold up the accept loop.
            request.settimeout(10)
            try:
                request = self.tls_context.wrap_socket(request, server_side=True)
            except (OSError, ssl.SSLError):
                return
            request.settimeout(None)
        try:
            super().finish_request(request, client_address)
        finally:
            if self.tls_context is not None:
                try:
                    request.close()
                except OSError:
                    pass

    def handle_error(self, request, client_address):
        # A client that drops its connection is no error worth a traceback.
        if self.log is not None:
            self.log.write("%s connection error from %s: %s\n"
                           % (self.listener_name, client_address, sys.exc_info()[1]))
            self.log.flush()


class SilentListener:
    """Accepts connections, reads whatever arrives, and never answers."""

    def __init__(self):
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.socket.bind(("127.0.0.1", 0))
        self.socket.listen(16)
        self.port = self.socket.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                connection, _ = self.socket.accept()
            except OSError:
                return
            threading.Thread(target=self._drain, args=(connection,), daemon=True).start()

    @staticmethod
    def _drain(connection):
        connection.settimeout(120)
        try:
            while connection.recv(65536):
                pass
        except OSError:
            pass
        finally:
            connection.close()


def closed_port():
    probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    return port


def tls_context(cert, key, legacy=False):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    if legacy:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            context.minimum_version = ssl.TLSVersion.TLSv1
            context.maximum_version = ssl.TLSVersion.TLSv1_1
        context.set_ciphers("DEFAULT:@SECLEVEL=0")
    context.load_cert_chain(cert, key)
    return context


def serve(listener):
    threading.Thread(target=listener.serve_forever, kwargs={"poll_interval": 0.2},
                     daemon=True).start()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--ports-file", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--untrusted-cert")
    parser.add_argument("--untrusted-key")
    parser.add_argument("--http-port", type=int, default=0)
    parser.add_argument("--https-port", type=int, default=0)
    parser.add_argument("--max-seconds", type=float, default=900)
    parser.add_argument("--log")
    args = parser.parse_args()

    log = open(args.log, "a", encoding="utf-8") if args.log else None
    ports = {"http": None, "https": None, "untrusted": None, "tls11": None,
             "silent": None, "closed": None, "pid": os.getpid()}
    listeners = [Listener("http", args.http_port, log)]
    if args.cert and args.key:
        listeners.append(Listener("https", args.https_port, log, tls_context(args.cert, args.key)))
        try:
            listeners.append(Listener("tls11", 0, log, tls_context(args.cert, args.key, legacy=True)))
        except (ssl.SSLError, ValueError) as error:
            if log:
                log.write("no TLS 1.0/1.1 listener: %s\n" % error)
    if args.untrusted_cert and args.untrusted_key:
        listeners.append(Listener("untrusted", 0, log,
                                  tls_context(args.untrusted_cert, args.untrusted_key)))
    for listener in listeners:
        ports[listener.listener_name] = listener.server_address[1]
        serve(listener)
    ports["silent"] = SilentListener().port
    ports["closed"] = closed_port()

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    temporary = args.ports_file + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        json.dump(ports, f)
    os.replace(temporary, args.ports_file)

    stop.wait(args.max_seconds)
    for listener in listeners:
        listener.shutdown()
        listener.server_close()
    try:
        os.remove(args.ports_file)
    except OSError:
        pass


if __name__ == "__main__":
    main()
