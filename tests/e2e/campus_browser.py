#!/usr/bin/env python3
"""The campus page end to end, as a technician uses it at night.

Three rooms on pseudo-terminals behind one real ser2net, and a fourth whose
server is down; `lumo serve` with a generated configuration and user. In
headless Chromium: log in, open one room's panel, then on the rooms page
choose 投影机关 for every room, confirm, and read each room's outcome:
exactly one "d" arrives in each of the three rooms, and the fourth says
why not. Screenshots at a desktop's and a phone's size are kept in OUT_DIR.

    campus_browser.py LUMO_BINARY OUT_DIR
Exit 77 (skipped) when the browser or ser2net is not installed.
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "scripts"))
import chromium  # noqa: E402
from polling import free_port, wait_for  # noqa: E402

SKIP = 77
ROOMS = ["r101", "r102", "r103"]




def listening(port):
    with socket.socket() as s:
        return s.connect_ex(("127.0.0.1", port)) == 0


def read_available(fd):
    try:
        return os.read(fd, 64)
    except BlockingIOError:
        return b""


def browser(width, height, ratio):
    return chromium.driver("--window-size=%d,%d" % (width, height),
                           "--force-device-scale-factor=%g" % ratio)


def accessible(driver, where):
    found = chromium.axe(driver, where)
    assert not found, "axe-core on %s: %s" % (where, found)


def phone_browser(width, height, chinese):
    return chromium.driver(chinese=chinese, mobile={
        "deviceMetrics": {"width": width, "height": height, "pixelRatio": 2, "touch": True}})


def main():
    lumo, out = sys.argv[1], sys.argv[2]
    ser2net = shutil.which("ser2net") or shutil.which("ser2net", path="/usr/sbin")
    missing = chromium.missing() + ([] if ser2net else ["ser2net"])
    if missing:
        print("SKIP: not installed:", " ".join(missing))
        return SKIP
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select
    os.makedirs(out, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="lumo-campus-")
    processes, drivers, masters = [], [], {}
    try:
        yaml = "%YAML 1.1\n---\n"
        rooms = "[rooms]\n"
        for number, room in enumerate(ROOMS):
            master, slave = os.openpty()
            tty.setraw(slave)
            os.set_blocking(master, False)
            masters[room] = master
            port = free_port()
            yaml += ("connection: &%s\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%d\n"
                     "  connector: serialdev,%s,9600n81,local\n" % (room, port, os.ttyname(slave)))
            rooms += "%s\\name=教学楼 %d\n%s\\device=rfc2217://127.0.0.1:%d\n" % (
                room, 101 + number, room, port)
        rooms += "r199\\name=实验楼 199\nr199\\device=rfc2217://127.0.0.1:%d\n" % free_port()
        with open(os.path.join(scratch, "ser2net.yaml"), "w") as f:
            f.write(yaml)
        processes.append(subprocess.Popen(
            [ser2net, "-n", "-d", "-c", os.path.join(scratch, "ser2net.yaml"), "-P",
             os.path.join(scratch, "ser2net.pid")], stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL))

        password = "night-" + os.urandom(6).hex()
        digest = subprocess.run([lumo, "serve", "--hash-password"], input=password + "\n",
                                capture_output=True, text=True, check=True).stdout.strip()
        web = free_port()
        conf = os.path.join(scratch, "serve.conf")
        with open(conf, "w") as f:
            f.write("[web]\nlisten=127.0.0.1:%d\n[service]\nprobe=0\n%s[users]\ntech=%s\n"
                    % (web, rooms, digest))
        log = open(os.path.join(out, "serve.log"), "w")
        processes.append(subprocess.Popen([lumo, "serve", "--config", conf], stdout=log,
                                          stderr=subprocess.STDOUT))
        wait_for("lumo serve", lambda: listening(web))
        base = "http://127.0.0.1:%d" % web

        desktop = browser(1280, 900, 1)
        drivers.append(desktop)
        desktop.get(base + "/")  # without a session: the login form
        wait_for("the login form", lambda: desktop.find_elements(By.ID, "login-form"))
        desktop.save_screenshot(os.path.join(out, "login.png"))
        accessible(desktop, "the login form")
        desktop.find_element(By.ID, "user").send_keys("tech")
        desktop.find_element(By.ID, "password").send_keys(password)
        desktop.find_element(By.ID, "login").click()
        wait_for("the rooms", lambda: len(desktop.find_elements(By.CSS_SELECTOR, "li.room")) == 4)
        wait_for("the unreachable room", lambda: desktop.find_element(
            By.CSS_SELECTOR, '.room[data-room="r199"] .state').get_attribute("data-state")
            in ("unreachable", "unknown"))
        desktop.save_screenshot(os.path.join(out, "rooms.png"))
        accessible(desktop, "the rooms page")

        desktop.find_element(By.CSS_SELECTOR, '.room[data-room="r102"] a').click()
        wait_for("the room's panel", lambda: desktop.find_elements(By.CSS_SELECTOR, "button.cmd"))
        desktop.save_screenshot(os.path.join(out, "room.png"))
        assert desktop.title.startswith("教学楼 102"), desktop.title
        accessible(desktop, "a room's panel in English")
        # In the panel's own arrangement the keyboard goes row by row.
        from selenium.webdriver.common.keys import Keys
        visual = desktop.execute_script(
            "return [...document.querySelectorAll('button.cmd')].map(b => [b.getBoundingClientRect(), b])"
            ".sort((p, q) => Math.round(p[0].top) - Math.round(q[0].top) || p[0].left - q[0].left)"
            ".map(p => p[1].dataset.c).join('');")
        desktop.find_element(By.CSS_SELECTOR, "#back a").send_keys(Keys.TAB)
        tabbed = ""
        for _ in visual:
            tabbed += desktop.switch_to.active_element.get_attribute("data-c") or "?"
            desktop.switch_to.active_element.send_keys(Keys.TAB)
        assert tabbed == visual, "Tab goes %s, the picture %s" % (tabbed, visual)
        desktop.back()

        wait_for("the rooms again", lambda: desktop.find_elements(By.ID, "all-run"))
        Select(desktop.find_element(By.ID, "all-command")).select_by_visible_text("投影机关")
        desktop.find_element(By.ID, "all-run").click()
        assert not any(read_available(m) for m in masters.values()), "sent before the confirmation"
        wait_for("the confirmation", lambda: desktop.find_element(By.ID, "all-confirm").is_displayed())
        desktop.save_screenshot(os.path.join(out, "all-confirm.png"))
        question = desktop.find_element(By.ID, "all-question").text
        assert "教学楼 101" in question and "实验楼 199" in question, question
        desktop.find_element(By.ID, "all-confirm").click()
        results = wait_for("each room's outcome", lambda: len(desktop.find_elements(
            By.CSS_SELECTOR, "#all-results [data-room]")) == 4 and desktop.find_elements(
            By.CSS_SELECTOR, "#all-results [data-room]"), timeout=30)
        outcomes = {r.get_attribute("data-room"): r.get_attribute("data-outcome") for r in results}
        assert outcomes == {"r101": "sent", "r102": "sent", "r103": "sent", "r199": "error"}, outcomes
        assert "实验楼 199" in desktop.find_element(
            By.CSS_SELECTOR, '#all-results [data-room="r199"]').text
        wait_for("the outcome to take the focus",
                 lambda: desktop.switch_to.active_element.get_attribute("id") == "all-status")
        wait_for("the reason under the badge", lambda: "没有响应" in desktop.find_element(
            By.CSS_SELECTOR, '.room[data-room="r199"] .reason').text)
        desktop.save_screenshot(os.path.join(out, "all-rooms.png"))
        accessible(desktop, "the rooms page with outcomes")
        for room, master in masters.items():
            got = wait_for("the byte in " + room, lambda: read_available(master))
            assert got == b"d", (room, got)

        # The same page on a phone held upright, logged in with the same cookie.
        phone = browser(390, 844, 3)
        drivers.append(phone)
        phone.get(base + "/login")
        phone.add_cookie({"name": "lumo_session",
                          "value": desktop.get_cookie("lumo_session")["value"]})
        phone.get(base + "/")
        wait_for("the rooms on a phone", lambda: phone.find_elements(By.CSS_SELECTOR, "li.room"))
        phone.save_screenshot(os.path.join(out, "rooms-phone.png"))
        # The room whose server is down, on a phone upright (Chinese) and on its
        # side (English): the tap's outcome is on the screen, the button says
        # ✗, and the panel says the room does not respond.
        for name, width, height, chinese, words in (
                ("room-error-phone", 360, 740, True, "没有响应"),
                ("room-error-landscape", 740, 360, False, "does not respond")):
            small = phone_browser(width, height, chinese)
            drivers.append(small)
            small.get(base + "/login")
            small.add_cookie({"name": "lumo_session",
                              "value": desktop.get_cookie("lumo_session")["value"]})
            small.get(base + "/rooms/r199/")
            wait_for("the room's banner", lambda: small.find_element(By.ID, "state").is_displayed())
            assert words in small.find_element(By.ID, "state-text").text
            small.find_element(By.CSS_SELECTOR, "button[data-c=c]").click()
            wait_for("the outcome", lambda: words in small.find_element(By.ID, "message").text)
            seen = small.execute_script(
                "const r = document.getElementById('message').getBoundingClientRect();"
                "return r.top >= 0 && r.bottom <= window.innerHeight;")
            assert seen, "the outcome is off the screen at %dx%d" % (width, height)
            assert small.find_element(By.CSS_SELECTOR, "button[data-c=c]").get_attribute(
                "data-outcome") == "error"
            small.save_screenshot(os.path.join(out, name + ".png"))
            accessible(small, "a room's panel in the error state at %dx%d" % (width, height))

        # Nothing more arrived in any room: each "d" came once.
        assert not any(read_available(m) for m in masters.values()), "a byte came twice"
        # The service is gone: the browser shows the page's own words, not its error.
        desktop.execute_async_script(
            "navigator.serviceWorker.ready.then(() => arguments[0](true));")
        processes[-1].terminate()
        processes[-1].wait(10)
        wait_for("the service to stop", lambda: not listening(web))
        desktop.get(base + "/")
        assert "无法连接" in desktop.find_element(By.ID, "offline").text, desktop.page_source[:300]
        desktop.save_screenshot(os.path.join(out, "offline.png"))
        print("campus page: login, a room's panel, 投影机关 in 3 rooms (one \"d\" each), "
              "the room whose server is down named; screenshots in", out)
        return 0
    finally:
        for driver in drivers:
            driver.quit()
        for process in reversed(processes):
            process.terminate()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                process.kill()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
