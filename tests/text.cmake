# The shared text code: owned buffers, code pages, the UTF converters, body
# text encodings and form encoding.
oauth_unit_test(unit_text text)
