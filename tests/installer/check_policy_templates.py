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


source = sys.argv[1]
here = os.path.join(source, "installer", "policy")
adml = lambda folder, language: os.path.join(folder, language, "Dormity.adml")
committed = sorted(d for d in os.listdir(here) if os.path.isfile(adml(here, d)))
with tempfile.TemporaryDirectory() as fresh:
    subprocess.run([sys.executable, os.path.join(here, "make_adml.py"),
                    os.path.join(source, "res", "lang"), fresh], check=True)
    check(sorted(os.listdir(fresh)) == committed, f"the generated languages are {committed}")
    for language in os.listdir(fresh):
        same = os.path.exists(adml(here, language)) and filecmp.cmp(
            adml(here, language), adml(fresh, language), shallow=False)
        check(same, f"{language} is the generator's")

# Malformed XML stops here with the parser's message.
admx = ET.parse(os.path.join(here, "Dormity.admx")).getroot()
header = open(os.path.join(source, "saverconfig", "preference_policy.h"), encoding="utf-8").read()
names = dict(re.findall(r'#define\s+(PREFERENCE_POLICY_KEY|POLICY_[A-Z_]+)\s+"([^"]*)"', header))
key = names.pop("PREFERENCE_POLICY_KEY", "").replace("\\\\", "\\")
keys = {e.get("key") for e in admx.iter() if e.get("key")}
check(keys == {key}, f"every key is {key!r}: {sorted(keys)}")
values = {e.get("valueName") for e in admx.iter() if e.get("valueName")}
read = set(names.values())
check(values == read, f"the values {sorted(values)} are Dormity's {sorted(read)}")
text = ET.tostring(admx, encoding="unicode")
wanted = set(re.findall(r"\$\((?:string|presentation)\.(\w+)\)", text))
for language in committed:
    held = {e.get("id") for e in ET.parse(adml(here, language)).getroot().iter() if e.get("id")}
    check(wanted <= held, f"{language} lacks none of them: {sorted(wanted - held)}")
print(f"policy templates: {len(failures)} failed")
sys.exit(1 if failures else 0)
