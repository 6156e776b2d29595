#!/usr/bin/env python3
"""Every JSON line the bench tool's tests saw, events and records alike,
against the schema in the repository.
usage: check-schema.py SCHEMA LINES"""
import json, sys

try:
    import jsonschema
except ImportError:
    print("SKIPPED: Python's jsonschema is not installed (Debian's python3-jsonschema)")
    sys.exit(77)
schema = json.load(open(sys.argv[1], encoding="utf-8"))
jsonschema.Draft7Validator.check_schema(schema)
validator = jsonschema.Draft7Validator(schema)
try:
    lines = [l for l in open(sys.argv[2], encoding="utf-8").read().splitlines() if l.strip()]
except FileNotFoundError:
    lines = []
if not lines:
    sys.exit("no JSON lines were collected: run the bench tool's tests first")
bad = 0
for number, line in enumerate(lines, 1):
    errors = sorted(validator.iter_errors(json.loads(line)), key=lambda e: e.path)
    if errors:
        bad += 1
        print(f"line {number}: {line[:200]}")
        for error in errors[:3]:
            print(f"  {error.message[:300]}")
events = {json.loads(l).get("event", "record") for l in lines}
print(f"{len(lines) - bad} of {len(lines)} lines follow the schema ({', '.join(sorted(events))})")
sys.exit(1 if bad else 0)
