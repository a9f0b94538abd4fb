#!/usr/bin/env python3
"""uninstall-check's machine-readable outputs on every case of the corpus, read by a
real JSON parser: --json (with --plan, which Linux cannot make) as the README describes it, --sarif with what SARIF 2.1.0
requires and the same findings, each rule explained in docs/rules.md; a baseline of all of a case's findings makes it
clean; bad arguments still give a JSON or SARIF document.
Usage: check_outputs.py UNINSTALL-CHECK CASES.TXT"""
import json
import os
import re
import subprocess
import sys
import tempfile

checker, cases_path = sys.argv[1], sys.argv[2]
failures = []


def case_bytes(text):
    """A corpus line as bytes: {N*c} repeats c, {xHH} is a byte, {eof} drops the line end."""
    out = b""
    for token in re.split(r"(\{[^}]*\})", text):
        repeat = re.fullmatch(r"\{(\d+)\*(.)\}", token)
        if token == "{eof}":
            return out
        elif token.startswith("{x"):
            out += bytes([int(token[2:-1], 16)])
        elif repeat:
            out += repeat.group(2).encode("latin-1") * int(repeat.group(1))
        else:
            out += token.encode("latin-1")
    return out + b"\r\n"


def run(*args):
    done = subprocess.run([checker, *args], capture_output=True)
    try:
        return json.loads(done.stdout.decode("ascii")), done.returncode
    except (UnicodeDecodeError, json.JSONDecodeError) as error:
        failures.append(f"{' '.join(args)}: not JSON ({error})")
        return None, done.returncode


def expect(condition, what):
    if not condition:
        failures.append(what)


def check_sarif(sarif, name):
    """The properties SARIF 2.1.0's schema requires, and a few it constrains."""
    expect(sarif.get("version") == "2.1.0" and isinstance(sarif.get("runs"), list), name + ": sarif log")
    for run_ in sarif.get("runs", []):
        driver = run_.get("tool", {}).get("driver", {})
        expect(isinstance(driver.get("name"), str), name + ": tool.driver.name")
        rules = [rule.get("id") for rule in driver.get("rules", [])]
        for result in run_.get("results", []):
            expect(isinstance(result.get("message", {}).get("text"), str), name + ": result.message.text")
            expect(result.get("level") in ("none", "note", "warning", "error"), name + ": result.level")
            index = result.get("ruleIndex", -1)
            expect(0 <= index < len(rules) and rules[index] == result.get("ruleId"), name + ": ruleIndex")
            for location in result.get("locations", []):
                physical = location.get("physicalLocation", {})
                expect(isinstance(physical.get("artifactLocation", {}).get("uri"), str), name + ": uri")
                expect(physical.get("region", {"startLine": 1}).get("startLine", 0) >= 1, name + ": startLine")
        for invocation in run_.get("invocations", []):
            expect(isinstance(invocation.get("executionSuccessful"), bool), name + ": executionSuccessful")


def findings_of_sarif(sarif):
    return sorted((r["ruleId"], r["level"], r["locations"][0]["physicalLocation"].get("region", {}).get("startLine", 0))
                  for r in sarif["runs"][0]["results"])


def check_case(directory, name):
    log, code = run("--json", "--plan", directory)   # no plan on Linux, and no error for it
    if log is None:
        return
    expect(log.get("exit") == code and code in (0, 1, 2) and "planError" in log, name + ": exit")
    expect(log.get("errors") == sum(f["severity"] == "error" for f in log["findings"]), name + ": errors")
    fields = {"file", "line", "severity", "code", "problem", "uninstaller", "fix", "help"}
    expect(all(set(f) == fields for f in log["findings"]), name + ": finding fields")
    sarif, sarif_code = run("--sarif", directory)
    if sarif is None:
        return
    check_sarif(sarif, name)
    expect(sarif_code == code, name + ": sarif exit")
    expect(findings_of_sarif(sarif) == sorted((f["code"], f["severity"], f["line"]) for f in log["findings"]),
           name + ": the SARIF results are not the JSON findings")
    baseline = os.path.join(directory, "baseline")
    with open(baseline, "w") as accepted:
        for f in log["findings"]:
            accepted.write(f"{f['code']}:{'lang.ini:' if f['file'] == 'lang.ini' else ''}{f['line']}  # accepted\n")
    silenced, silenced_code = run("--json", "--baseline", baseline, directory)
    expect(silenced_code == 0 and silenced["findings"] == [], name + ": a baseline of every finding")
    if log["findings"]:
        first = log["findings"][0]["code"]
        ignored, _ = run("--json", "--ignore", first, directory)
        expect(all(f["code"] != first for f in ignored["findings"]) and len(ignored["findings"]) <
               len(log["findings"]), name + ": --ignore " + first)


with open(cases_path, encoding="latin-1") as text:
    lines = text.read().splitlines()
log, lang, count = b"", b"", 0
header = b"Demo App\r\nDemoApp\r\nEnglish\r\n"
for line in lines:
    if line.startswith("lang: "):
        lang += b"" if line == "lang: *" else case_bytes(line[6:])
    elif line.startswith("=>"):
        with tempfile.TemporaryDirectory() as directory:
            with open(os.path.join(directory, "uninstall.log"), "wb") as out:
                out.write(log or header)
            if lang != case_bytes("none"):
                with open(os.path.join(directory, "lang.ini"), "wb") as out:
                    out.write(lang or b"[English]\r\nstr71=Uninstall\r\n")
            check_case(directory, line)
        log, lang, count = b"", b"", count + 1
    elif not line.startswith("#"):
        own_header = line.startswith("!") and not log
        log += (b"" if log or own_header else header) + case_bytes(line[own_header:])

for args in (["--json", "--bogus", "x"], ["--json"], ["--json", "--ignore", "no-such-rule", "x"],
             ["--sarif", "--plan", "x"], ["--json", "/nonexistent"], ["--sarif", "/nonexistent"]):
    document, code = run(*args)
    expect(code == 3, " ".join(args) + ": exit 3")
    if document is not None and "--sarif" in args:
        check_sarif(document, " ".join(args))
        expect(document["runs"][0]["invocations"][0]["executionSuccessful"] is False, " ".join(args))
    elif document is not None:
        expect(isinstance(document.get("error"), str) and document.get("exit") == 3, " ".join(args))
rules_md = open(os.path.join(os.path.dirname(cases_path), "..", "..", "docs", "rules.md")).read()
sarif, _ = run("--sarif", "/nonexistent")
for rule in sarif["runs"][0]["tool"]["driver"]["rules"]:
    expect(f"\n### {rule['id']}\n" in rules_md, f"docs/rules.md does not explain {rule['id']}")
helped = subprocess.run([checker, "--help"], capture_output=True, text=True)
expect(helped.returncode == 0 and helped.stdout.startswith("usage:"), "--help")

for failure in failures:
    print("FAILED:", failure)
print(f"check_outputs: {count} corpus cases, {len(failures)} failures")
sys.exit(1 if failures or count == 0 else 0)
