#!/usr/bin/python3
"""Validates every line of a JSON Lines file (or a whole JSON file with
--whole, or every ```json block of a Markdown file with --markdown) against
the program's JSON Schema. Exit status 1 on the first object that does not
validate."""
import json
import sys

import jsonschema


def json_blocks(text):
    """The contents of the ```json fenced blocks of a Markdown text."""
    blocks, current = [], None
    for line in text.splitlines():
        if current is None and line.strip() == "```json":
            current = []
        elif current is not None and line.strip() == "```":
            blocks.append("\n".join(current))
            current = None
        elif current is not None:
            current.append(line)
    return blocks


def main():
    args = sys.argv[1:]
    whole = "--whole" in args
    markdown = "--markdown" in args
    args = [a for a in args if a not in ("--whole", "--markdown")]
    schema_path, data_path = args
    schema = json.load(open(schema_path, encoding="utf-8"))
    validator = jsonschema.Draft202012Validator(schema)
    with open(data_path, encoding="utf-8") as data:
        if whole:
            objects = [json.load(data)]
        elif markdown:
            objects = [json.loads(block) for block in json_blocks(data.read())]
        else:
            objects = [json.loads(line) for line in data]
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
