#!/usr/bin/env python3
"""The administrative templates against the program and their generator.

    check_policy_templates.py SOURCE_DIR

Fails when a committed Dormity.adml differs from what make_adml.py writes
now (or a language folder has none to match), when the ADMX or an ADML is
not well-formed XML, when the ADMX names a key or value that Dormity does
not read (saverconfig/preference_policy.h) or leaves one of those values
out, and when it refers to a text or presentation that an ADML lacks.
"""

import filecmp
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

NS = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def program_names(header):
    """The key and the value names the program reads, from its own header."""
    names = {}
    for name, value in re.findall(r'#define\s+(PREFERENCE_POLICY_KEY|POLICY_\w+)\s+"([^"]*)"',
                                  open(header, encoding="utf-8").read()):
        names[name] = value.replace("\\\\", "\\")
    return names.pop("PREFERENCE_POLICY_KEY", None), set(names.values())


def main():
    source = sys.argv[1]
    policy_dir = os.path.join(source, "installer", "policy")
    committed = sorted(d for d in os.listdir(policy_dir)
                       if os.path.isfile(os.path.join(policy_dir, d, "Dormity.adml")))

    with tempfile.TemporaryDirectory() as fresh:
        subprocess.run([sys.executable, os.path.join(policy_dir, "make_adml.py"),
                        os.path.join(source, "res", "lang"), fresh], check=True)
        generated = sorted(os.listdir(fresh))
        check(committed == generated, f"language folders {committed} are the generated {generated}")
        for language in generated:
            path = os.path.join(policy_dir, language, "Dormity.adml")
            same = os.path.exists(path) and filecmp.cmp(
                path, os.path.join(fresh, language, "Dormity.adml"), shallow=False)
            check(same, f"{language}/Dormity.adml is the generator's output")

    try:
        admx = ET.parse(os.path.join(policy_dir, "Dormity.admx")).getroot()
        check(True, "Dormity.admx is well-formed")
    except ET.ParseError as error:
        check(False, f"Dormity.admx is well-formed ({error})")
        return
    admls = {}
    for language in committed:
        try:
            admls[language] = ET.parse(os.path.join(policy_dir, language, "Dormity.adml")).getroot()
            check(True, f"{language}/Dormity.adml is well-formed")
        except ET.ParseError as error:
            check(False, f"{language}/Dormity.adml is well-formed ({error})")

    key, values = program_names(os.path.join(source, "saverconfig", "preference_policy.h"))
    check(key is not None and bool(values), f"the program's names: {key}, {sorted(values)}")
    keys = {e.get("key") for e in admx.iter() if e.get("key") is not None}
    check(keys == {key}, f"every key in the ADMX is {key!r}: {sorted(keys)}")
    named = {e.get("valueName") for e in admx.iter() if e.get("valueName") is not None}
    check(named <= values, f"every valueName is one Dormity reads: {sorted(named - values)} are not")
    check(values <= named, f"every value Dormity reads has a policy: {sorted(values - named)} have none")

    strings = set(re.findall(r"\$\(string\.(\w+)\)", ET.tostring(admx, encoding="unicode")))
    for language, adml in admls.items():
        table = {e.get("id") for e in adml.iter(NS + "string")}
        check(strings <= table, f"{language} has every text: {sorted(strings - table)} missing")
        shown = {e.get("id"): {c.get("refId") for c in e} for e in adml.iter(NS + "presentation")}
        for policy in admx.iter(NS + "policy"):
            ref = re.fullmatch(r"\$\(presentation\.(\w+)\)", policy.get("presentation") or "")
            elements = {e.get("id") for e in policy.iter() if e.get("id")}
            if ref:
                check(shown.get(ref.group(1)) == elements,
                      f"{language} shows {policy.get('name')}'s elements {sorted(elements)}")


if __name__ == "__main__":
    main()
    print(f"policy templates: {len(failures)} failed")
    sys.exit(1 if failures else 0)
