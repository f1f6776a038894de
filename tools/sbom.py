#!/usr/bin/env python3
"""sbom.py BUILD DIST VERSION: the CycloneDX 1.5 bill of materials of DIST on
standard output. Every file in DIST (but SHA256SUMS and the bill itself) with
its SHA-256; under each DLL the runtime its link map shows linked in, under the
.so the shared libraries it needs; each with the version of the Debian package
it came from. The same files and packages give the same bytes: the time is
SOURCE_DATE_EPOCH and the serial number is derived from the content."""
import hashlib
import json
import os
import re
import subprocess
import sys
import uuid
from datetime import datetime, timezone

GCC = "GPL-3.0-or-later WITH GCC-exception-3.1"
# What each runtime archive or object of a link belongs to, and its licence
# (the packages' copyright files say which).
LINKED = [
    (re.compile(r"libstdc\+\+|libsupc\+\+"), "libstdc++", GCC),
    (re.compile(r"libssp"), "libssp", GCC),
    (re.compile(r"libgcc|crtbegin|crtend|crtfastmath"), "libgcc", GCC),
    (re.compile(r"libwinpthread|libpthread"), "winpthreads", "MIT AND BSD-3-Clause"),
    (re.compile(r"/usr/(i686|x86_64)-w64-mingw32/lib/"), "mingw-w64-crt",
     "ZPL-2.1 AND BSD-2-Clause AND BSD-3-Clause AND ISC"),
]
NEEDED = {"libc6": ("glibc", "LGPL-2.1-or-later"),
          "libstdc++6": ("libstdc++", GCC),
          "libgcc-s1": ("libgcc", GCC)}


def fail(message):
    sys.exit("sbom: " + message)


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def packages_of(paths):
    """{path: (package, version, architecture)} through dpkg, which lists
    usr-merged files under /lib."""
    aliases = {path: [path, re.sub(r"^/usr(/lib)", r"\1", path)] for path in paths}
    listed = subprocess.run(["dpkg-query", "-S"] + sorted({a for a in sum(aliases.values(), [])}),
                            capture_output=True, text=True).stdout
    owner = {}
    for line in listed.splitlines():
        packages, _, path = line.partition(": ")
        if path.startswith("/") and not packages.startswith("diversion"):
            owner[path] = packages.split(",")[0]
    result = {}
    for path, candidates in sorted(aliases.items()):
        package = next((owner[c] for c in candidates if c in owner), None)
        if package is None:
            fail(f"{path} belongs to no Debian package")
        # A package installed for several architectures is named with its own.
        version, arch = run("dpkg-query", "-W", "-f=${Version} ${Architecture}", package).split()
        result[path] = (package.split(":")[0], version, arch)
    return result


def library(parent, name, licence, package, version, arch, sources):
    purl = f"pkg:deb/debian/{package.replace('+', '%2B')}@{version.replace('+', '%2B')}?arch={arch}"
    return {"type": "library", "bom-ref": f"{parent}#{name}", "name": name, "version": version,
            "licenses": [{"expression": licence}], "purl": purl,
            "properties": [{"name": "orvnative:debian-package", "value": package}]
            + [{"name": "orvnative:file", "value": s} for s in sorted(sources)]}


def linked_runtime(ref, link_map, build):
    """The runtime archive members and objects a mingw link map shows taken in."""
    text = open(link_map).read()
    files = set(re.findall(r"^(/\S+\.a)\(", text, re.M)) | set(re.findall(r"^LOAD (/\S+\.o)$", text, re.M))
    files = {os.path.realpath(f) for f in files}
    files = {f for f in files if not f.startswith(os.path.realpath(build) + "/")}
    groups = {}
    for path, (package, version, arch) in packages_of(files).items():
        name, licence = next(((n, l) for pattern, n, l in LINKED if pattern.search(path)), (None, None))
        if name is None:
            fail(f"{link_map}: the link took in {path}, which no known runtime covers")
        groups.setdefault((name, licence, package, version, arch), set()).add(path)
    return [library(ref, *key, sources) for key, sources in sorted(groups.items())]


def needed_libraries(ref, binary):
    """The shared libraries the .so needs, as the dynamic loader finds them."""
    needed = re.findall(r"^\s*NEEDED\s+(\S+)", run("objdump", "-p", binary), re.M)
    listed = run("ldd", binary)
    found = dict(re.findall(r"^\s*(\S+) => (/\S+)", listed, re.M))
    found.update((os.path.basename(p), p) for p in re.findall(r"^\s*(/\S+) \(0x", listed, re.M))
    missing = [n for n in needed if n not in found]
    if missing:
        fail(f"{binary} needs {', '.join(missing)}, which the loader does not find")
    groups = {}
    for name, (package, version, arch) in packages_of({os.path.realpath(found[n]) for n in needed}).items():
        if package not in NEEDED:
            fail(f"{binary} needs {name} from {package}, which no known runtime covers")
        groups.setdefault((*NEEDED[package], package, version, arch), set()).add(os.path.basename(name))
    return [library(ref, *key, sources) for key, sources in sorted(groups.items())]


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    build, dist, version = sys.argv[1:]
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "0"))
    names = sorted(os.path.relpath(os.path.join(d, f), dist) for d, _, fs in os.walk(dist) for f in fs)
    names = [n for n in names if n != "SHA256SUMS" and not n.endswith(".cdx.json")]
    components, dependencies = [], []
    for name in names:
        ref = "file:" + name
        component = {"type": "file", "bom-ref": ref, "name": name,
                     "hashes": [{"alg": "SHA-256", "content": sha256(os.path.join(dist, name))}]}
        if name.endswith("ORVNative.dll"):
            tree = "win64" if name.startswith("windows-x64/") else "win32"
            component["components"] = linked_runtime(ref, os.path.join(build, tree, "ORVNative.dll.map"), build)
        elif name.endswith("libORVNative.so"):
            needs = needed_libraries(ref, os.path.join(dist, name))
            components += needs
            dependencies.append({"ref": ref, "dependsOn": [n["bom-ref"] for n in needs]})
        components.append(component)
    digest = hashlib.sha256(json.dumps([version, components]).encode()).digest()
    bom = {
        "bomFormat": "CycloneDX", "specVersion": "1.5",
        "serialNumber": f"urn:uuid:{uuid.UUID(bytes=digest[:16], version=5)}", "version": 1,
        "metadata": {
            "timestamp": datetime.fromtimestamp(epoch, timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ"),
            "tools": {"components": [{"type": "application", "name": "tools/sbom.py", "version": version}]},
            "component": {"type": "library", "bom-ref": "orvnative", "name": "ORVNative", "version": version},
        },
        "components": sorted(components, key=lambda c: c["bom-ref"]),
        "dependencies": dependencies,
    }
    json.dump(bom, sys.stdout, indent=2)
    sys.stdout.write("\n")


if __name__ == "__main__":
    main()
