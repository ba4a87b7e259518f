# The request subsystem: collections and the two request objects. ANSI
# behaviour is tested under the default code page 1252 and, in its own
# program, under the double-byte code page 932 (with the text code beneath the
# requests).
oauth_unit_test(unit_request request)
oauth_unit_test(unit_request_cp932 request_cp932 LANG ja_JP.UTF-8)
