#!/usr/bin/env python3
# zentab-cli --json against docs/zentab.schema.json: documents of generated databases in both
# formats, of a missing file and of the shared corpus (when it is there) must validate, and
# documents with a wrong type or a missing key must not. Exit 77 (skipped) without jsonschema.
import json
import os
import subprocess
import sys
import tempfile

try:
    import jsonschema
except ImportError:
    print("python3-jsonschema is not installed")
    sys.exit(77)

cli, mkmdb, schema_path, design_path = sys.argv[1:5]
corpus = os.path.join(os.environ.get("ZENTAB_SHARED_DIR", ""), "corpus")

with open(schema_path, encoding="utf-8") as f:
    schema = json.load(f)
validator = jsonschema.Draft7Validator(schema)
validator.check_schema(schema)

with tempfile.TemporaryDirectory() as work:
    files = []
    with open(design_path, encoding="utf-8") as f:
        design = json.load(f)
    for fmt in ("jet4", "jet3"):
        design["format"] = fmt
        description = os.path.join(work, fmt + ".json")
        with open(description, "w", encoding="utf-8") as f:
            json.dump(design, f, ensure_ascii=False)
        target = os.path.join(work, fmt + ".mdb")
        subprocess.run([mkmdb, description, target], check=True)
        files.append(target)
    files.append(os.path.join(work, "missing.mdb"))
    if os.path.isdir(corpus):
        files += sorted(os.path.join(corpus, n) for n in os.listdir(corpus))
    out = os.path.join(work, "out.json")
    subprocess.run([cli, "--json", out, *files], check=True, stdout=subprocess.DEVNULL)
    with open(out, encoding="utf-8") as f:
        document = json.load(f)

failures = [f"{list(e.absolute_path)}: {e.message}" for e in validator.iter_errors(document)]
for failure in failures[:20]:
    print(failure)
if failures:
    sys.exit(1)
if len(document["databases"]) != len(files):
    sys.exit(f"{len(document['databases'])} databases for {len(files)} files")
tables = document["databases"][0]["tables"]
if not any(t["indexes"] for t in tables) or not document["databases"][0]["relationships"]:
    sys.exit("the generated database lost its indexes or relationships")

# The schema must refuse what the document must not be.
broken = [
    lambda d: d["databases"][0]["tables"][0].update(attributes="0"),
    lambda d: d["databases"][0]["tables"][0].pop("indexes"),
    lambda d: d["databases"][0].update(format="Jet5"),
    lambda d: d["databases"][0]["objects"][0].update(kind="table"),
    lambda d: d["databases"][0]["relationships"][0].update(cardinality="n:m"),
    lambda d: d.update(generated="2026/12/08 07:49:00"),
]
for i, damage in enumerate(broken):
    copy = json.loads(json.dumps(document))
    damage(copy)
    if validator.is_valid(copy):
        sys.exit(f"damage {i} was not refused")
print(f"{len(files)} databases validated")
