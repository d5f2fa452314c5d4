#!/usr/bin/env python3
"""The campus page end to end, as a technician uses it at night and the
next morning.

Twelve rooms: ten on pseudo-terminals behind one real ser2net, one behind a
ser2net of its own (stopped later: a command sent but not confirmed), one
held by another program (in use), and r199 whose server is down. The
history holds last night's 22:00 run of the "night" schedule (ten rooms
sent, r111 in use, r199 unreachable), as a restarted service finds it.
`lumo serve` with a generated configuration and user. In headless
Chromium: log in, open one room's panel, then on the rooms page choose
投影机关 for every room, confirm, and read each room's outcome: exactly one
"d" arrives in each room served, and the others say why not. At 360x740,
740x360 and 1366x768: the names of last night's failed rooms are inside
the history page's first screen, the problem rooms inside the rooms page's,
no page scrolls sideways, no request fails and nothing is written to the
console; a room's panel keeps its buttons in place when its state changes,
says nothing contradicting "not confirmed", and never hides the focus
under its bar. Pages asked in English are in English. Screenshots are
kept in OUT_DIR.

    campus_browser.py LUMO_BINARY OUT_DIR
Exit 77 (skipped) when the browser or ser2net is not installed.
"""
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "scripts"))
import chromium  # noqa: E402
from polling import free_port, stop_all, wait_for  # noqa: E402

SKIP = 77
ROOMS = ["r%d" % n for n in range(101, 111)]  # behind the shared ser2net
ALONE = "r110"  # behind a ser2net of its own
HELD = "r111"  # another program holds its line
SIZES = (("phone", 360, 740), ("landscape", 740, 360), ("desktop", 1366, 768))


def listening(port):
    with socket.socket() as s:
        return s.connect_ex(("127.0.0.1", port)) == 0


def read_available(fd):
    try:
        return os.read(fd, 64)
    except BlockingIOError:
        return b""


def browser(width, height, ratio, chinese=True):
    return chromium.driver("--window-size=%d,%d" % (width, height),
                           "--force-device-scale-factor=%g" % ratio, chinese=chinese)


def accessible(driver, where):
    found = chromium.axe(driver, where)
    assert not found, "axe-core on %s: %s" % (where, found)


def quiet(driver, where, refused=None):
    """Nothing failed and nothing was written to the console; `refused`: the
    command whose refusal (503, the reason in its answer) the page explains."""
    found = [e for e in chromium.errors(driver) if not (refused and refused in e and " 503 " in e)]
    assert not found, "on %s: %s" % (where, found)


def phone_browser(width, height, chinese):
    return chromium.driver(chinese=chinese, mobile={
        "deviceMetrics": {"width": width, "height": height, "pixelRatio": 2, "touch": True}})


def sized(name, width, height, chinese=True):
    """A browser at one of SIZES: a phone's (touch) below 1000 px, else a desktop's."""
    return phone_browser(width, height, chinese) if width < 1000 else browser(width, height, 1, chinese)


def in_view(driver, selector):
    """Whether every element `selector` finds is inside the first screen."""
    return driver.execute_script(
        "const all = [...document.querySelectorAll(arguments[0])];"
        "return all.length > 0 && all.every(e => { const r = e.getBoundingClientRect();"
        " return r.top >= 0 && r.bottom <= window.innerHeight && r.right <= window.innerWidth; });",
        selector)


def sideways(driver):
    return driver.execute_script(
        "return document.documentElement.scrollWidth - document.documentElement.clientWidth;")


def seed_history(path, night):
    """Last night's run of "night" at 22:00, as the history holds it, and a
    day of commands before it (more than a page)."""
    import sqlite3
    os.makedirs(os.path.dirname(path), exist_ok=True)
    db = sqlite3.connect(path)
    db.execute("CREATE TABLE IF NOT EXISTS commands (id INTEGER PRIMARY KEY, at BIGINT NOT NULL, "
               "room TEXT NOT NULL, command TEXT NOT NULL, who TEXT NOT NULL, face TEXT NOT NULL, "
               "code TEXT NOT NULL, message TEXT NOT NULL)")
    at = int(night.timestamp() * 1000)
    rows = [(at - 3600_000 * 10 + i * 60_000, ROOMS[i % len(ROOMS)], "projector-on", "tech", "page",
             "sent", "") for i in range(150)]
    for room in ROOMS + [HELD, "r199"]:
        code, message = "sent", ""
        if room == HELD:
            code, message = "in-use", "教学楼 111: rfc2217://…: in use by another program"
        if room == "r199":
            code, message = "unreachable", "实验楼 199: connection refused"
        rows.append((at + 2000, room, "projector-off", "night", "schedule", code, message))
    db.executemany("INSERT INTO commands (at, room, command, who, face, code, message) "
                   "VALUES (?, ?, ?, ?, ?, ?, ?)", rows)
    db.commit()
    db.close()


def main():
    lumo, out = sys.argv[1], sys.argv[2]
    ser2net = shutil.which("ser2net") or shutil.which("ser2net", path="/usr/sbin")
    missing = chromium.missing() + ([] if ser2net else ["ser2net"])
    if missing:
        print("SKIP: not installed:", " ".join(missing))
        return SKIP
    import datetime
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import Select
    os.makedirs(out, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="lumo-campus-")
    processes, drivers, masters, held = [], [], {}, []
    try:
        yamls = {"shared": "%YAML 1.1\n---\n", "alone": "%YAML 1.1\n---\n"}
        rooms = "[rooms]\n"
        for number, room in enumerate(ROOMS + [HELD]):
            master, slave = os.openpty()
            tty.setraw(slave)
            os.set_blocking(master, False)
            masters[room] = master
            port = free_port()
            yamls["alone" if room == ALONE else "shared"] += (
                "connection: &%s\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%d\n"
                "  connector: serialdev,%s,9600n81,local\n" % (room, port, os.ttyname(slave)))
            rooms += "%s\\name=教学楼 %d\n%s\\device=rfc2217://127.0.0.1:%d\n" % (
                room, 101 + number, room, port)
            if room == HELD:
                held_port = port
        rooms += "r199\\name=实验楼 199\nr199\\device=rfc2217://127.0.0.1:%d\n" % free_port()
        servers = {}
        for name, yaml in yamls.items():
            with open(os.path.join(scratch, name + ".yaml"), "w") as f:
                f.write(yaml)
            servers[name] = subprocess.Popen(
                [ser2net, "-n", "-d", "-c", os.path.join(scratch, name + ".yaml"), "-P",
                 os.path.join(scratch, name + ".pid")], stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)
            processes.append(servers[name])
        wait_for("ser2net", lambda: listening(held_port))
        # Another program on r111's line, for as long as the test runs.
        holder = socket.create_connection(("127.0.0.1", held_port))
        held.append(holder)

        state = os.path.join(scratch, "state")
        now = datetime.datetime.now()
        # The last 22:00 that has passed; in the hour before the next one,
        # when that is nearly a day old for the history's last 24 hours,
        # an hour ago instead (never one still to come).
        night = now.replace(hour=22, minute=0, second=0, microsecond=0)
        if night > now:
            night -= datetime.timedelta(days=1)
        if now - night > datetime.timedelta(hours=23):
            night = now - datetime.timedelta(hours=1)
        seed_history(os.path.join(state, "lumo", "history.sqlite"), night)

        password = "night-" + os.urandom(6).hex()
        digest = subprocess.run([lumo, "serve", "--hash-password"], input=password + "\n",
                                capture_output=True, text=True, check=True).stdout.strip()
        web = free_port()
        conf = os.path.join(scratch, "serve.conf")
        with open(conf, "w") as f:
            f.write("[web]\nlisten=127.0.0.1:%d\n[service]\nprobe=0\n%s[groups]\nnorth=r101,r102,r103\n"
                    "[users]\ntech=%s\n" % (web, rooms, digest))
        log = open(os.path.join(out, "serve.log"), "w")
        processes.append(subprocess.Popen([lumo, "serve", "--config", conf], stdout=log,
                                          stderr=subprocess.STDOUT,
                                          env=dict(os.environ, XDG_STATE_HOME=state)))
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
        wait_for("the rooms", lambda: len(desktop.find_elements(By.CSS_SELECTOR, "li.room")) == 12)
        cookie = desktop.get_cookie("lumo_session")["value"]
        # The rooms' states, known once a command went to each.
        held_answer = subprocess.run(
            ["curl", "-s", "-X", "POST", "-b", "lumo_session=" + cookie,
             base + "/api/v1/rooms/%s/commands/u" % HELD], capture_output=True, text=True).stdout
        assert "in-use" in held_answer, held_answer
        down_answer = subprocess.run(
            ["curl", "-s", "-X", "POST", "-b", "lumo_session=" + cookie,
             base + "/api/v1/rooms/r199/commands/u"], capture_output=True, text=True).stdout
        assert "unreachable" in down_answer, down_answer
        wait_for("the problem rooms first", lambda: [
            e.get_attribute("data-room") for e in desktop.find_elements(By.CSS_SELECTOR, "li.room")][:2]
            in (["r111", "r199"], ["r199", "r111"]) or desktop.refresh(), timeout=20)
        desktop.save_screenshot(os.path.join(out, "rooms.png"))
        accessible(desktop, "the rooms page")
        quiet(desktop, "the rooms page")

        desktop.find_element(By.CSS_SELECTOR, '.room[data-room="r102"] a').click()
        wait_for("the room's panel", lambda: desktop.find_elements(By.CSS_SELECTOR, "button.cmd"))
        desktop.save_screenshot(os.path.join(out, "room.png"))
        assert desktop.title.startswith("教学楼 102"), desktop.title
        accessible(desktop, "a room's panel")
        # In the panel's own arrangement the keyboard goes row by row.
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
        quiet(desktop, "a room's panel")
        desktop.back()

        wait_for("the rooms again", lambda: desktop.find_elements(By.ID, "all-run"))
        Select(desktop.find_element(By.ID, "all-command")).select_by_visible_text("投影机关")
        desktop.find_element(By.ID, "all-run").click()
        assert not any(read_available(m) for m in masters.values()), "sent before the confirmation"
        wait_for("the confirmation", lambda: desktop.find_element(By.ID, "all-confirm").is_displayed())
        desktop.save_screenshot(os.path.join(out, "all-confirm.png"))
        question = desktop.find_element(By.ID, "all-question").text
        assert "12" in question and "所有教室" in question, question
        desktop.find_element(By.ID, "all-confirm").click()
        wait_for("the outcome", lambda: "已发送到" in desktop.find_element(By.ID, "all-status").text,
                 timeout=30)
        failed = [r.get_attribute("data-room") for r in desktop.find_elements(
            By.CSS_SELECTOR, "#all-results [data-outcome=error]")]
        assert failed == ["r111", "r199"], failed  # those not sent first, in the rooms' order
        assert desktop.find_element(By.ID, "all-outcome").get_attribute("data-kind") == "error"
        assert "实验楼 199" in desktop.find_element(
            By.CSS_SELECTOR, '#all-results [data-room="r199"]').text
        wait_for("the outcome to take the focus",
                 lambda: desktop.switch_to.active_element.get_attribute("id") == "all-status")
        assert in_view(desktop, "#all-results [data-outcome=error]"), "the failures are out of sight"
        wait_for("the reason under the badge", lambda: "没有响应" in desktop.find_element(
            By.CSS_SELECTOR, '.room[data-room="r199"] .reason').text)
        desktop.save_screenshot(os.path.join(out, "all-rooms.png"))
        accessible(desktop, "the rooms page with outcomes")
        quiet(desktop, "the rooms page with outcomes")
        for room, master in masters.items():
            if room == HELD:
                continue
            got = wait_for("the byte in " + room, lambda: read_available(master))
            assert got == b"d", (room, got)

        # The next morning, at each size: last night's rooms not switched off
        # by name in the history's first screen, the problem rooms in the
        # rooms page's; nothing scrolls sideways, nothing fails.
        for name, width, height in SIZES:
            for chinese in (True, False):
                look = sized(name, width, height, chinese)
                drivers.append(look)
                look.get(base + "/login")
                look.add_cookie({"name": "lumo_session", "value": cookie})
                look.get(base + "/history")
                wait_for("the night's run", lambda: look.find_elements(By.CSS_SELECTOR, ".run"))
                names = [e.text for e in look.find_elements(By.CSS_SELECTOR, ".run .failures .name")]
                assert names[:2] == ["教学楼 111", "实验楼 199"], names
                assert in_view(look, ".run .failures li"), "failed rooms out of the first screen at %s" % name
                assert sideways(look) <= 0, "the history scrolls sideways at %s by %d" % (name, sideways(look))
                lang = look.find_element(By.TAG_NAME, "html").get_attribute("lang")
                assert lang == ("zh-CN" if chinese else "en"), lang
                words = look.find_element(By.CSS_SELECTOR, ".run .failures").text
                assert ("被其他程序占用" if chinese else "in use by another program") in words, words
                suffix = "" if chinese else "-en"
                look.save_screenshot(os.path.join(out, "history-%s%s.png" % (name, suffix)))
                accessible(look, "the history page at %s" % name)
                quiet(look, "the history page at %s" % name)
                look.get(base + "/history?outcome=failed&room=" + ("实验楼 199"))
                rows = look.find_elements(By.CSS_SELECTOR, "#entries tbody tr[data-room]")
                assert rows and all(r.get_attribute("data-room") == "r199" for r in rows), len(rows)
                look.get(base + "/")
                wait_for("the rooms", lambda: look.find_elements(By.CSS_SELECTOR, "li.room"))
                assert in_view(look, '.room[data-room="r199"], .room[data-room="r111"]'), \
                    "problem rooms out of the first screen at %s" % name
                assert in_view(look, "#counts"), name
                assert sideways(look) <= 0, "the rooms page scrolls sideways at %s" % name
                if not chinese:
                    assert "rooms" in look.find_element(By.ID, "counts").text, look.find_element(
                        By.ID, "counts").text
                look.save_screenshot(os.path.join(out, "rooms-%s%s.png" % (name, suffix)))
                accessible(look, "the rooms page at %s" % name)
                quiet(look, "the rooms page at %s" % name)
                # Its connections closed: the service bounds them per address.
                drivers.remove(look)
                look.quit()

        # The room whose server is down, on a phone upright (Chinese) and on its
        # side (English): the tap's outcome is on the screen, the button says
        # ✗, the bar says the room does not respond, and no button moves.
        for name, width, height, chinese, words in (
                ("room-error-phone", 360, 740, True, "没有响应"),
                ("room-error-landscape", 740, 360, False, "does not respond")):
            small = phone_browser(width, height, chinese)
            drivers.append(small)
            small.get(base + "/login")
            small.add_cookie({"name": "lumo_session", "value": cookie})
            small.get(base + "/rooms/r199/")
            wait_for("the room's state", lambda: small.find_element(By.ID, "state").is_displayed())
            assert words in small.find_element(By.ID, "state-text").text
            places = small.execute_script(
                "return [...document.querySelectorAll('button.cmd')].map(b => b.getBoundingClientRect().top);")
            small.find_element(By.CSS_SELECTOR, "button[data-c=c]").click()
            wait_for("the outcome", lambda: words in small.find_element(By.ID, "message").text)
            seen = small.execute_script(
                "const r = document.getElementById('message').getBoundingClientRect();"
                "return r.top >= 0 && r.bottom <= window.innerHeight;")
            assert seen, "the outcome is off the screen at %dx%d" % (width, height)
            assert small.find_element(By.CSS_SELECTOR, "button[data-c=c]").get_attribute(
                "data-outcome") == "error"
            assert places == small.execute_script(
                "return [...document.querySelectorAll('button.cmd')].map(b => b.getBoundingClientRect().top);"), \
                "buttons moved at %dx%d" % (width, height)
            # The pressed pictures came with the touch, each one found.
            pressed = small.execute_script(
                "return [...document.querySelectorAll('img.d')].map(i => i.currentSrc);")
            assert pressed and all(p.endswith(".png") for p in pressed), pressed
            # Two rows of buttons and more above the bar, and the focus never under it.
            rows = small.execute_script(
                "const bar = document.getElementById('bar').getBoundingClientRect().top;"
                "return new Set([...document.querySelectorAll('button.cmd')].map(b => b.getBoundingClientRect())"
                ".filter(r => r.top >= 0 && r.bottom <= bar).map(r => Math.round(r.top))).size;")
            small.save_screenshot(os.path.join(out, name + ".png"))
            assert rows >= 2, "%d rows of buttons at %dx%d" % (rows, width, height)
            small.execute_script("document.querySelector('button.cmd').focus();")
            for _ in range(23):
                covered = small.execute_script(
                    "const r = document.activeElement.getBoundingClientRect();"
                    "return r.bottom > document.getElementById('bar').getBoundingClientRect().top;")
                assert not covered, "the focus is under the bar at %dx%d: %s" % (
                    width, height, small.switch_to.active_element.get_attribute("data-c"))
                small.switch_to.active_element.send_keys(Keys.TAB)
            small.save_screenshot(os.path.join(out, name + ".png"))
            accessible(small, "a room's panel in the error state at %dx%d" % (width, height))
            quiet(small, "a room's panel in the error state at %dx%d" % (width, height),
                  "/api/v1/rooms/r199/commands/c ")
            drivers.remove(small)
            small.quit()

        # Sent, not confirmed: r110's server stops while its line is open.
        # The bar says so, and nothing after it says the command could not
        # be sent, nor does a button move, while the room's state changes.
        phone = phone_browser(360, 740, True)
        drivers.append(phone)
        phone.get(base + "/login")
        phone.add_cookie({"name": "lumo_session", "value": cookie})
        phone.get(base + "/rooms/%s/" % ALONE)
        wait_for("the panel", lambda: phone.find_elements(By.CSS_SELECTOR, "button.cmd"))
        phone.find_element(By.CSS_SELECTOR, "button[data-c=c]").click()
        wait_for("sent", lambda: phone.find_element(By.ID, "bar").get_attribute("data-kind") == "sent")
        places = phone.execute_script(
            "return [...document.querySelectorAll('button.cmd')].map(b => b.getBoundingClientRect().top);")
        os.kill(servers["alone"].pid, signal.SIGSTOP)
        phone.find_element(By.CSS_SELECTOR, "button[data-c=e]").click()
        wait_for("not confirmed", lambda: phone.find_element(By.ID, "bar").get_attribute("data-kind") == "warn",
                 timeout=20)
        said = phone.find_element(By.ID, "message").text
        deadline = time.monotonic() + 7  # more than one status poll
        while time.monotonic() < deadline:
            assert phone.find_element(By.ID, "message").text == said, phone.find_element(By.ID, "message").text
            assert not phone.find_element(By.ID, "state").is_displayed(), "a contradicting banner"
            assert places == phone.execute_script(
                "return [...document.querySelectorAll('button.cmd')].map(b => b.getBoundingClientRect().top);")
            time.sleep(0.25)
        phone.save_screenshot(os.path.join(out, "room-not-confirmed.png"))
        os.kill(servers["alone"].pid, signal.SIGKILL)
        quiet(phone, "a room's panel after a command not confirmed", "/api/v1/rooms/%s/commands/e " % ALONE)

        # Nothing more arrived in any room: each "d" came once.
        assert not any(read_available(masters[r]) for r in ROOMS if r != ALONE), "a byte came twice"
        # The service is gone: the browser shows the page's own words, not its error.
        desktop.execute_async_script(
            "navigator.serviceWorker.ready.then(() => arguments[0](true));")
        processes[-1].terminate()
        processes[-1].wait(10)
        wait_for("the service to stop", lambda: not listening(web))
        desktop.get(base + "/")
        assert "无法连接" in desktop.find_element(By.ID, "offline").text, desktop.page_source[:300]
        assert desktop.find_elements(By.CSS_SELECTOR, "h1") and desktop.find_elements(By.ID, "retry")
        desktop.save_screenshot(os.path.join(out, "offline.png"))
        accessible(desktop, "the page shown offline")
        print("campus page: login, a room's panel, 投影机关 in 12 rooms (one \"d\" each where served), "
              "last night's failures first in the history at 3 sizes; screenshots in", out)
        return 0
    finally:
        for one in held:
            one.close()
        for driver in drivers:
            driver.quit()
        stop_all(processes)
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
