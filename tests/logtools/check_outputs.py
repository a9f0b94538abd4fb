#!/usr/bin/env python3
"""uninstall-check on every corpus case: its findings as the case expects, its --json (with --plan) and --sarif read
by a JSON parser, with silencing and bad arguments. Usage: check_outputs.py CASES.TXT [EMULATOR] UNINSTALL-CHECK"""
import json, os, pathlib, re, subprocess, sys, tempfile

cases_path, checker = sys.argv[1], sys.argv[2:]
windows = checker[-1].endswith(".exe")   # under Wine: plans for real, finds / as drive Z:
source = os.path.join(os.path.dirname(cases_path), "..", "..")
rules_md = open(os.path.join(source, "docs", "rules.md")).read()
numbers = open(os.path.join(source, "src", "language", "text_numbers.h")).read()   # the texts lang.ini must hold
shown = [re.search(name + r" = (\d+)", numbers)[1].encode()
         for name in re.findall(r"kText\w+", numbers.split("kShownTextNumbers")[1])]
failures = {}   # each once


def case_bytes(text):
    """A corpus line as bytes: " | " ends a line, {N*c} repeats c, {xHH} is a byte, {eof} drops the line end."""
    text = re.sub(r"\{x(..)\}|\{(\d+)\*(.)\}", lambda m: chr(int(m[1], 16)) if m[1] else m[3] * int(m[2]), text)
    return (text + "\r\n").replace(" | ", "\r\n").replace("{eof}\r\n", "").encode("latin-1")


def complete(lang=b"[English]\r\n"):   # every shown text the lines do not name, in English
    return lang + b"".join(b"str%s=English text\r\n" % n for n in shown if b"str%s=" % n not in lang)


def run(*args):
    args = ["Z:" + arg.replace("/", "\\") if windows and arg.startswith("/") else arg for arg in args]
    done = subprocess.run([*checker, *args], capture_output=True, timeout=60)
    return json.loads(done.stdout.decode("ascii")), done.returncode   # bytes over 127 escaped


def expect(condition, what):
    if not condition:
        failures.setdefault(what)


def guarded(name, check, *args):
    try:
        check(name, *args)
    except Exception as error:   # output that is no JSON, or lacks a property
        failures.setdefault(f"{name}: {error!r}")


def check_sarif(name, sarif):
    """The properties SARIF 2.1.0's schema requires (missing ones raise), and a few it constrains."""
    run_, = sarif["runs"]
    rules = [rule["id"] for rule in run_["tool"]["driver"]["rules"]]
    expect(sarif["version"] == "2.1.0" and isinstance(run_["tool"]["driver"]["name"], str), name + ": version")
    expect(isinstance(run_["invocations"][0]["executionSuccessful"], bool), name + ": executionSuccessful")
    for rule in rules:
        expect(f"\n### {rule}\n" in rules_md, f"docs/rules.md does not explain {rule}")
    found = []
    for result in run_["results"]:
        where = result["locations"][0]["physicalLocation"]
        found.append((result["ruleId"], result["level"], where.get("region", {}).get("startLine", 0)))
        expect(isinstance(result["message"]["text"], str) and isinstance(where["artifactLocation"]["uri"], str) and
               result["level"] in ("note", "warning", "error") and rules.index(result["ruleId"]) == result["ruleIndex"]
               and where.get("region", {"startLine": 1})["startLine"] >= 1, f"{name}: result {result}")
    return sorted(found)


def check_case(name, directory, expected):
    log, code = run("--json", "--plan", directory)   # on Linux no plan, said in planError and no error
    findings = log["findings"]
    found = [f"{f['code']}@{'L' * (f['file'] == 'lang.ini')}{f['line']}{'~' * (f['severity'] == 'warning')}"
             for f in findings]
    expect(sorted(found) == sorted(expected), f"{name}: found {' '.join(found)}")
    expect(log["exit"] == code in (0, 1, 2) and log["errors"] == sum(f["severity"] == "error" for f in findings) and
           isinstance(log["plan"], list) and ("planError" in log) != windows, name + ": exit, errors and plan")
    fields = set("file line severity code problem uninstaller fix help".split())
    expect(all(set(f) == fields for f in findings), name + ": finding fields")
    sarif, sarif_code = run("--sarif", directory)
    expect(sarif_code == code and check_sarif(name, sarif) ==
           sorted((f["code"], f["severity"], f["line"]) for f in findings), name + ": SARIF results differ from JSON")
    # The first finding's rule silenced whole, the last finding on its line, the others by a baseline.
    accepted = [f"{f['code']}:{'lang.ini:' * (f['file'] == 'lang.ini')}{f['line']}" for f in findings]
    with open(os.path.join(directory, "baseline"), "w") as baseline:
        baseline.writelines(f"{line}  # accepted\n" for line in accepted[1:-1])
    ignore = ["--ignore", findings[0]["code"], "--ignore", accepted[-1]] if findings else []
    silenced, silenced_code = run("--json", "--baseline", baseline.name, *ignore, directory)
    expect(silenced_code == 0 and silenced["findings"] == [], name + ": --ignore RULE, RULE:LINE and --baseline")


log, lang, count, header = b"", b"", 0, b"Demo App\r\nDemoApp\r\nEnglish\r\n"
for line in open(cases_path, encoding="latin-1").read().splitlines():
    entry, end = re.fullmatch(r"(.*?)( ?=>.*)?", line).groups()   # a case's last line may hold its =>
    if line.startswith("#"):
        continue
    if entry.startswith("lang: "):
        lang = complete(lang) if entry == "lang: *" else lang + case_bytes(entry[6:])
    elif entry or not end:
        own_header = entry.startswith("!") and not log
        log += (b"" if log or own_header else header) + case_bytes(entry[own_header:])
    if end:
        with tempfile.TemporaryDirectory() as directory:
            pathlib.Path(directory, "uninstall.log").write_bytes(log or header)
            if lang != case_bytes("none"):
                pathlib.Path(directory, "lang.ini").write_bytes(lang or complete())
            guarded(line, check_case, directory, end.split("#")[0].split()[1:])
        log, lang, count = b"", b"", count + 1


def check_refusal(name, args):
    document, code = run(*args)
    says_so = (check_sarif(name, document) == [] and not document["runs"][0]["invocations"][0]["executionSuccessful"]
               if "--sarif" in args else isinstance(document["error"], str) and document["exit"] == 3)
    expect(code == 3 and says_so, name + ": exit 3 and a document that says so")


for args in (["--json", "--bogus", "x"], ["--json"], ["--json", "--ignore", "no-such-rule", "x"],
             ["--sarif", "--plan", "x"], ["--json", "/nonexistent"], ["--sarif", "/nonexistent"]):
    guarded(" ".join(args), check_refusal, args)
helped = subprocess.run([*checker, "--help"], capture_output=True, text=True, timeout=60)
expect(helped.returncode == 0 and helped.stdout.startswith("usage:"), "--help")

print("".join(f"FAILED: {failure}\n" for failure in failures), end="")
print(f"check_outputs: {count} corpus cases, {len(failures)} failures")
sys.exit(1 if failures or count == 0 else 0)
