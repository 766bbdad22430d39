#!/usr/bin/env python3
"""Validates the JSON report on standard input against the schema named: exit 0 when it holds,
1 when it does not (the reason on standard error), 77 when Python's jsonschema is missing."""
import json
import sys

try:
    import jsonschema
except ImportError:
    sys.exit(77)

with open(sys.argv[1], encoding="utf-8") as schema_file:
    schema = json.load(schema_file)
try:
    jsonschema.Draft202012Validator(schema).validate(json.loads(sys.stdin.buffer.read()))
except ValueError as error:
    sys.exit("the report is no JSON: %s" % error)
except jsonschema.ValidationError as error:
    sys.exit("the report does not hold to the schema at %s: %s"
             % ("/".join(str(step) for step in error.absolute_path), error.message))
