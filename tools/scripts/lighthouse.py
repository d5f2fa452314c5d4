#!/usr/bin/env python3
"""Lighthouse's scores for the campus pages (the rooms and the history),
on a phone and a desktop: `lumo serve` with twelve rooms whose servers are
down and a night's schedule run in its history, logged in with a cookie.

    lighthouse.py LUMO_BINARY OUT_DIR
Needs npm's lighthouse in build/node (npm install --prefix build/node lighthouse)
and Debian's chromium."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import datetime

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))
from polling import free_port, wait_for  # noqa: E402
import campus_browser  # noqa: E402

LIGHTHOUSE = os.path.join(HERE, "..", "..", "build", "node", "node_modules", ".bin", "lighthouse")


def main():
    lumo, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="lumo-lighthouse-")
    serve = None
    try:
        state = os.path.join(scratch, "state")
        night = (datetime.datetime.now() - datetime.timedelta(days=1)).replace(hour=22, minute=0, second=0)
        campus_browser.seed_history(os.path.join(state, "lumo", "history.sqlite"), night)
        password = "light-" + os.urandom(6).hex()
        digest = subprocess.run([lumo, "serve", "--hash-password"], input=password + "\n",
                                capture_output=True, text=True, check=True).stdout.strip()
        web = free_port()
        rooms = "".join("r%d\\name=教学楼 %d\nr%d\\device=rfc2217://127.0.0.1:%d\n" % (n, n, n, free_port())
                        for n in range(101, 113))
        conf = os.path.join(scratch, "serve.conf")
        with open(conf, "w") as f:
            f.write("[web]\nlisten=127.0.0.1:%d\n[service]\nprobe=0\n[rooms]\n%s[users]\ntech=%s\n"
                    % (web, rooms, digest))
        serve = subprocess.Popen([lumo, "serve", "--config", conf], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, env=dict(os.environ, XDG_STATE_HOME=state))
        wait_for("lumo serve", lambda: campus_browser.listening(web))
        base = "http://127.0.0.1:%d" % web
        head = subprocess.run(["curl", "-s", "-D", "-", "-o", "/dev/null", "--data-urlencode", "user=tech",
                               "--data-urlencode", "password=" + password, base + "/login"],
                              capture_output=True, text=True).stdout
        cookie = [line.split(":", 1)[1].split(";")[0].strip() for line in head.splitlines()
                  if line.lower().startswith("set-cookie:")][0]
        scores = {}
        for page in ("/", "/history"):
            for form in ("mobile", "desktop"):
                report = os.path.join(out, "lighthouse%s-%s.json" % (page.replace("/", "-"), form))
                subprocess.run([LIGHTHOUSE, base + page, "--quiet", "--output=json", "--output-path=" + report,
                                "--only-categories=performance,accessibility,best-practices,seo",
                                "--extra-headers=" + json.dumps({"Cookie": cookie}),
                                "--chrome-flags=--headless=new --no-sandbox --disable-gpu"]
                               + (["--preset=desktop"] if form == "desktop" else []),
                               check=True, env=dict(os.environ, CHROME_PATH=shutil.which("chromium")))
                with open(report) as f:
                    result = json.load(f)
                scores[page + " " + form] = {k: round(v["score"] * 100) for k, v in result["categories"].items()}
                for key, audit in result["audits"].items():
                    if audit.get("score") is not None and audit["score"] < 1 and audit.get("scoreDisplayMode") in (
                            "binary", "numeric", "metricSavings"):
                        print("  %s %s: %s %s" % (page, form, key, audit.get("displayValue", audit["score"])))
        for where, score in scores.items():
            print(where, score)
        return 0
    finally:
        if serve:
            serve.terminate()
            serve.wait(10)
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
