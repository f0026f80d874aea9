#!/usr/bin/env python3
"""check_policy_templates.py SOURCE_DIR: the administrative templates are what
make_adml.py writes now, well-formed, and name the key and every value Dormity
reads (saverconfig/preference_policy.h), no other; each ADML has every text."""
import filecmp, os, re, subprocess, sys, tempfile
import xml.etree.ElementTree as ET

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    failures.append(what) if not ok else None


def parsed(path):
    try:
        root = ET.parse(path).getroot()
    except ET.ParseError as error:
        root = None
        print(error)
    check(root is not None, f"{path} is well-formed")
    return root


source = sys.argv[1]
here = os.path.join(source, "installer", "policy")
committed = sorted(d for d in os.listdir(here) if os.path.isfile(os.path.join(here, d, "Dormity.adml")))
with tempfile.TemporaryDirectory() as fresh:
    subprocess.run([sys.executable, os.path.join(here, "make_adml.py"),
                    os.path.join(source, "res", "lang"), fresh], check=True)
    check(sorted(os.listdir(fresh)) == committed, f"the generated languages are {committed}")
    for language in os.listdir(fresh):
        ours = os.path.join(here, language, "Dormity.adml")
        check(os.path.exists(ours) and filecmp.cmp(ours, os.path.join(fresh, language, "Dormity.adml"),
                                                   shallow=False), f"{language} is the generator's")

admx = parsed(os.path.join(here, "Dormity.admx"))
header = open(os.path.join(source, "saverconfig", "preference_policy.h"), encoding="utf-8").read()
names = dict(re.findall(r'#define\s+(PREFERENCE_POLICY_KEY|POLICY_[A-Z_]+)\s+"([^"]*)"', header))
key = names.pop("PREFERENCE_POLICY_KEY", "").replace("\\\\", "\\")
if admx is not None:
    keys = {e.get("key") for e in admx.iter() if e.get("key")}
    check(keys == {key}, f"every key is {key!r}: {sorted(keys)}")
    values = {e.get("valueName") for e in admx.iter() if e.get("valueName")}
    check(values == set(names.values()), f"the values {sorted(values)} are Dormity's {sorted(names.values())}")
    wanted = set(re.findall(r"\$\((?:string|presentation)\.(\w+)\)", ET.tostring(admx, encoding="unicode")))
    for language in committed:
        adml = parsed(os.path.join(here, language, "Dormity.adml"))
        held = {e.get("id") for e in adml.iter() if e.get("id")} if adml is not None else set()
        check(wanted <= held, f"{language} lacks none of them: {sorted(wanted - held)}")
print(f"policy templates: {len(failures)} failed")
sys.exit(1 if failures else 0)
