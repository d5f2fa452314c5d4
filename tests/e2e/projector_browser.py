#!/usr/bin/env python3
"""A room's projector in the campus pages, end to end: lumo-vc as the
room's controller, lumo-projector joined to it, `lumo serve` watching the
projector. In headless Chromium: 投影机开 on the room's panel, whose
projector line then shows it warming up and on; an error set on the
projector is an alert on the rooms page. axe-core checks each new state.
Screenshots are kept in OUT_DIR.

    projector_browser.py LUMO LUMO_VC LUMO_PROJECTOR OUT_DIR
Exit 77 (skipped) when the browser is not installed.
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "scripts"))
import chromium  # noqa: E402
from polling import free_port, stop_all, wait_for  # noqa: E402

SKIP = 77


def first_line(path):
    with open(path) as f:
        return f.readline().strip()


def main():
    lumo, vc, projector, out = sys.argv[1:5]
    missing = chromium.missing()
    if missing:
        print("SKIP: not installed:", " ".join(missing))
        return SKIP
    from selenium.webdriver.common.by import By
    os.makedirs(out, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="lumo-projector-")
    processes, drivers = [], []

    def checked(driver, where):
        found = chromium.axe(driver, where)
        assert not found, "axe-core on %s: %s" % (where, found)
        errors = chromium.errors(driver)
        assert not errors, "on %s: %s" % (where, errors)
        driver.save_screenshot(os.path.join(out, where.replace(" ", "-") + ".png"))

    try:
        # The room's controller; the projector follows what its COM1 receives.
        vc_log = os.path.join(scratch, "vc.log")
        with open(vc_log, "w") as log:
            processes.append(subprocess.Popen([vc, "--dir", os.path.join(scratch, "vc")], stdout=log,
                                              stderr=subprocess.DEVNULL))
        ports = wait_for("lumo-vc", lambda: first_line(vc_log).endswith("COM2") and first_line(vc_log))
        com1 = ports.split("LUMO_COM1=")[1].split()[0]
        sim_log = os.path.join(out, "projector.log")
        with open(sim_log, "w") as log:
            sim = subprocess.Popen([projector, "--warm-up", "20", "--cool-down", "5", "--follow", vc_log,
                                    "--follow-port", "COM1"], stdin=subprocess.PIPE, stdout=log,
                                   stderr=subprocess.STDOUT)
        processes.append(sim)
        url = wait_for("lumo-projector", lambda: first_line(sim_log).startswith("LUMO_PJLINK=")
                       and first_line(sim_log)).split("=", 1)[1]

        password = "pj-" + os.urandom(6).hex()
        digest = subprocess.run([lumo, "serve", "--hash-password"], input=password + "\n",
                                capture_output=True, text=True, check=True).stdout.strip()
        web = free_port()
        conf = os.path.join(scratch, "serve.conf")
        with open(conf, "w") as f:
            f.write("[web]\nlisten=127.0.0.1:%d\n[service]\nprobe=0\n[users]\ntech=%s\n[rooms]\n"
                    "r101\\name=教学楼 101\nr101\\device=%s\nr101\\projector=%s\n"
                    "[projectors]\npoll=5\nfollow=60\n" % (web, digest, com1, url))
        with open(os.path.join(out, "serve.log"), "w") as log:
            processes.append(subprocess.Popen([lumo, "serve", "--config", conf], stdout=log,
                                              stderr=subprocess.STDOUT,
                                              env=dict(os.environ, XDG_STATE_HOME=os.path.join(scratch, "state"))))
        base = "http://127.0.0.1:%d" % web

        browser = chromium.driver("--window-size=1280,900", chinese=True)
        drivers.append(browser)
        wait_for("lumo serve", lambda: browser.get(base + "/") or browser.find_elements(By.ID, "login-form"))
        browser.find_element(By.ID, "user").send_keys("tech")
        browser.find_element(By.ID, "password").send_keys(password)
        browser.find_element(By.ID, "login").click()
        wait_for("the rooms", lambda: browser.find_elements(By.CSS_SELECTOR, "li.room"))

        browser.get(base + "/rooms/r101/")
        power = lambda: browser.find_element(By.ID, "projector").get_attribute("data-power")  # noqa: E731
        wait_for("the projector off", lambda: power() == "off", timeout=60)
        browser.find_element(By.CSS_SELECTOR, 'button.cmd[data-zh="投影机开"]').click()
        wait_for("the projector warming up", lambda: power() == "warming up", timeout=60)
        checked(browser, "panel warming up")
        wait_for("the projector on", lambda: power() == "on", timeout=90)
        assert browser.find_element(By.ID, "projector-text").text.startswith("开"), \
            browser.find_element(By.ID, "projector-text").text
        checked(browser, "panel on")

        sim.stdin.write(b"errors 002000\n")
        sim.stdin.flush()
        browser.get(base + "/")
        line = '.room[data-room="r101"] .projector'
        wait_for("the alert on the rooms page", lambda: browser.find_elements(By.CSS_SELECTOR, line + ".alert"),
                 timeout=60)
        title = browser.find_element(By.CSS_SELECTOR, line).get_attribute("title")
        assert "reports an error" in title and "r101" in title, title
        checked(browser, "rooms page alert")
        print("projector: warming up then on after 投影机开 on the panel, its error alerted on the "
              "rooms page; screenshots in", out)
        return 0
    finally:
        for driver in drivers:
            driver.quit()
        stop_all(processes)
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
