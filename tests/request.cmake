# The request subsystem: collections, code pages, form and body encodings and
# the two request objects.
oauth_unit_test(unit_request request)
