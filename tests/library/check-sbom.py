#!/usr/bin/env python3
"""check-sbom.py SCHEMA_DIR DIST: the bill of materials in DIST against the
published CycloneDX 1.5 schema, its checksums against the files, and the
runtime of each binary against what dpkg says of the toolchain's packages."""
import glob, hashlib, json, os, subprocess, sys, warnings
import jsonschema

warnings.simplefilter("ignore", DeprecationWarning)
schemas, dist = sys.argv[1:]
store = {"http://cyclonedx.org/schema/" + os.path.basename(p): json.load(open(p))
         for p in glob.glob(os.path.join(schemas, "*.schema.json"))}
schema = store["http://cyclonedx.org/schema/bom-1.5.SNAPSHOT.schema.json"]
validator = jsonschema.Draft7Validator(schema, resolver=jsonschema.RefResolver.from_schema(schema, store=store),
                                       format_checker=jsonschema.FormatChecker())
(bom_path,) = glob.glob(os.path.join(dist, "*.cdx.json"))
bom = json.load(open(bom_path))
errors = [f"{list(e.path)}: {e.message}" for e in validator.iter_errors(bom)]
if validator.is_valid(dict(bom, components=[{"type": "file", "name": "x", "licenses": [{"license": {"id": "GPL"}}]}])):
    errors.append("the schema accepts a licence id that SPDX does not know")

files = {c["name"]: c for c in bom["components"] if c["type"] == "file"}
on_disk = {os.path.relpath(os.path.join(d, f), dist) for d, _, fs in os.walk(dist) for f in fs}
if set(files) != on_disk - {"SHA256SUMS", os.path.basename(bom_path)}:
    errors.append(f"files listed {sorted(files)}, in {dist} {sorted(on_disk)}")
errors += [f"{n}: SHA-256 does not match the file" for n, c in files.items() if n in on_disk and
           c["hashes"][0]["content"] != hashlib.sha256(open(os.path.join(dist, n), "rb").read()).hexdigest()]

needs = {d["ref"]: d["dependsOn"] for d in bom["dependencies"]}
by_ref = {c["bom-ref"]: c for c in bom["components"]}
expected = {"linux-x86_64/libORVNative.so": {"glibc": "libc6:amd64", "libstdc++": "libstdc++6:amd64",
                                             "libgcc": "libgcc-s1:amd64"}}
for folder, arch in (("windows-x86", "i686"), ("windows-x64", "x86-64")):
    gcc, dev = f"gcc-mingw-w64-{arch}-posix", f"mingw-w64-{arch}-dev"
    expected[f"{folder}/ORVNative.dll"] = {"libstdc++": f"g++-mingw-w64-{arch}-posix", "libgcc": gcc,
                                           "libssp": gcc, "mingw-w64-crt": dev, "winpthreads": dev}
for name, runtime in expected.items():
    parts = files[name].get("components", []) + [by_ref[r] for r in needs.get("file:" + name, [])]
    got = {c["name"]: (c["properties"][0]["value"], c["version"]) for c in parts}
    want = {n: (p.split(":")[0], subprocess.run(["dpkg-query", "-W", "-f=${Version}", p], capture_output=True,
                                                text=True).stdout) for n, p in runtime.items()}
    if got != want:
        errors.append(f"{name}: runtime {got}, dpkg says {want}")
print("\n".join("FAIL: " + e for e in errors) or f"PASS: {bom_path} is CycloneDX 1.5 and matches {dist}")
sys.exit(1 if errors else 0)
