#!/usr/bin/python3
"""Validates every line of a JSON Lines file (or a whole JSON file with
--whole) against the program's JSON Schema. Exit status 1 on the first
object that does not validate."""
import json
import sys

import jsonschema


def main():
    args = sys.argv[1:]
    whole = "--whole" in args
    args = [a for a in args if a != "--whole"]
    schema_path, data_path = args
    schema = json.load(open(schema_path, encoding="utf-8"))
    validator = jsonschema.Draft202012Validator(schema)
    with open(data_path, encoding="utf-8") as data:
        objects = [json.load(data)] if whole else [json.loads(line) for line in data]
    for number, obj in enumerate(objects, 1):
        errors = sorted(validator.iter_errors(obj), key=lambda e: e.path)
        if errors:
            print(f"{data_path}:{number}: {errors[0].message}", file=sys.stderr)
            return 1
    if not objects:
        print(f"{data_path}: no objects", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
