#!/usr/bin/env python3
"""The phone remote end to end, as a teacher uses it.

The real program under Xvfb on a pseudo-terminal: confirm COM1, open
"手机遥控…" from the panel's context menu, switch the remote on, read the
link from the QR code on the dialog's screenshot (zbarimg), open it in
headless Chromium at a phone's size with touch, tap 投影机开: exactly one
"c" arrives at 9600 8N1. Then the panel is closed: the page says so and
nothing more is sent. Screenshots of the dialog and of the page on a phone
and a tablet are kept in OUT_DIR.

    web_remote.py LUMO_BINARY OUT_DIR
Exit 77 (skipped) when the browser or the X tools are not installed.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import termios
import time
import tty

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "scripts"))
import chromium  # noqa: E402
from polling import free_port, wait_for  # noqa: E402

SKIP = 77


class Desktop:
    """Xvfb and openbox on a display of their own."""

    def __init__(self, scratch):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=[write], stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise AssertionError("Xvfb did not start")
            number += chunk
        os.close(read)
        self.env = dict(os.environ, DISPLAY=":" + number.decode().strip(), HOME=scratch)
        self.openbox = subprocess.Popen(["openbox"], env=self.env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        wait_for("the window manager", lambda: self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                                        check=False).count("window id") > 0)

    def run(self, args, check=True):
        done = subprocess.run(args, env=self.env, capture_output=True, text=True)
        if check and done.returncode != 0:
            raise AssertionError(" ".join(args) + ": " + done.stderr)
        return done.stdout

    def windows(self, pid):
        """The visible windows of `pid`, popup menus included."""
        return self.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)], check=False).split()

    def window(self, pid, name):
        """The visible window of `pid` called `name`, once there is one."""
        def find():
            for w in self.windows(pid):
                if self.run(["xdotool", "getwindowname", w], check=False).strip() == name:
                    return w
            return None
        return wait_for("the window " + name, find)

    def stop(self):
        for p in (self.openbox, self.xvfb):
            p.terminate()
            p.wait(10)


def line_is_9600_8n1(fd):
    iflag, oflag, cflag, lflag, ispeed, ospeed, cc = termios.tcgetattr(fd)
    return (ispeed == termios.B9600 and ospeed == termios.B9600 and
            cflag & termios.CSIZE == termios.CS8 and not cflag & termios.PARENB and
            not cflag & termios.CSTOPB)


def read_available(fd, wait):
    """What the controller side receives within `wait` seconds."""
    data = b""
    deadline = time.monotonic() + wait
    while time.monotonic() < deadline:
        try:
            data += os.read(fd, 64)
        except BlockingIOError:
            time.sleep(0.02)
    return data


def browser(width, height, touch, ratio=2.0):
    return chromium.driver(chinese=True, mobile={
        "deviceMetrics": {"width": width, "height": height, "pixelRatio": ratio, "touch": touch},
        "userAgent": "Mozilla/5.0 (Linux; Android 13; Pixel 7) AppleWebKit/537.36 "
                     "(KHTML, like Gecko) Chrome/120.0 Mobile Safari/537.36"})


def tap(driver, element):
    """A finger on the element's middle and off again: touch events, as a phone sends."""
    box = driver.execute_script(
        "const r = arguments[0].getBoundingClientRect();"
        "return [r.left + r.width / 2, r.top + r.height / 2];", element)
    point = [{"x": box[0], "y": box[1]}]
    driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchStart", "touchPoints": point})
    driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchEnd", "touchPoints": []})


def message(driver):
    return driver.find_element("id", "message").text


def main():
    lumo, out = sys.argv[1], sys.argv[2]
    missing = chromium.missing("Xvfb", "openbox", "xdotool", "import", "zbarimg")
    if missing:
        print("SKIP: not installed:", " ".join(missing))
        return SKIP
    os.makedirs(out, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="lumo-web-")
    master, slave = os.openpty()
    tty.setraw(slave)
    os.set_blocking(master, False)
    port = free_port()
    config = os.path.join(scratch, "user", "Lumo")
    os.makedirs(config)
    with open(os.path.join(config, "Lumo.conf"), "w") as f:
        f.write("[remote]\nport=%d\n" % port)

    desktop = Desktop(scratch)
    env = dict(desktop.env, LUMO_COM1=os.ttyname(slave), LANG="zh_CN.UTF-8",
               XDG_CONFIG_HOME=os.path.join(scratch, "user"),
               XDG_CONFIG_DIRS=os.path.join(scratch, "system"))
    for name in ("LANGUAGE", "LC_ALL", "LC_MESSAGES", "DBUS_SESSION_BUS_ADDRESS"):
        env.pop(name, None)
    log = open(os.path.join(out, "lumo.log"), "w")
    program = subprocess.Popen([lumo, "--verbose"], env=env, stdout=log, stderr=subprocess.STDOUT)
    driver = None
    try:
        port_dialog = desktop.window(program.pid, "Lumo")
        desktop.run(["xdotool", "windowactivate", "--sync", port_dialog, "key", "Return"])
        panel = desktop.window(program.pid, "KT4200")
        # The panel's background, below the buttons: its context menu, whose
        # first entry is then taken from the keyboard once the menu is mapped.
        shown = len(desktop.windows(program.pid))
        desktop.run(["xdotool", "windowactivate", "--sync", panel, "mousemove", "--window", panel,
                     "760", "500", "click", "3"])
        wait_for("the context menu", lambda: len(desktop.windows(program.pid)) > shown)
        desktop.run(["xdotool", "key", "Down", "Return"])
        dialog = desktop.window(program.pid, "手机遥控")
        desktop.run(["xdotool", "windowactivate", "--sync", dialog, "key", "space"])

        shot = os.path.join(out, "remote-dialog.png")

        def link_from_code():
            desktop.run(["import", "-window", dialog, shot], check=False)
            return subprocess.run(["zbarimg", "--raw", "-q", shot], capture_output=True,
                                  text=True).stdout.strip()
        link = wait_for("a QR code with the link", link_from_code)
        print("link from the QR code:", link.split("?")[0] + "?k=…")
        assert link.startswith("http://") and "?k=" in link, link

        driver = browser(390, 844, True, 3.0)
        driver.get(link)
        wait_for("the page", lambda: driver.find_elements("css selector", "button[data-c=c]"))
        assert "k=" not in driver.current_url, "the secret left the address bar"
        wait_for("the page to reach the panel", lambda: "COM1" in message(driver))
        driver.save_screenshot(os.path.join(out, "phone.png"))
        found = chromium.axe(driver, "the phone remote")
        assert not found, "axe-core on the phone remote: " + found
        loaded = driver.execute_script(
            "return performance.getEntriesByType('navigation').concat("
            "performance.getEntriesByType('resource')).reduce((n, e) => n + e.transferSize, 0);")
        print("first load at 3x: %d bytes" % loaded)
        assert 0 < loaded <= 200 * 1024, "the first load is %d bytes" % loaded
        assert read_available(master, 0.2) == b""

        tap(driver, driver.find_element("css selector", "button[data-c=c]"))
        wait_for("the outcome", lambda: "已发送" in message(driver))
        arrived = read_available(master, 1.0)
        assert arrived == b"c", "the controller received %r" % arrived
        assert line_is_9600_8n1(slave), "the line is not at 9600 8N1"
        driver.save_screenshot(os.path.join(out, "phone-tapped.png"))

        # The same page on a tablet, upright and on its side.
        for name, width, height in (("tablet", 820, 1180), ("tablet-landscape", 1180, 820)):
            tablet = browser(width, height, True)
            try:
                tablet.get(link)
                wait_for("the page", lambda: "COM1" in message(tablet))
                tablet.save_screenshot(os.path.join(out, name + ".png"))
            finally:
                tablet.quit()

        # Closing the panel ends the remote, and with it the program.
        desktop.run(["xdotool", "windowactivate", "--sync", dialog, "key", "Escape"])
        desktop.run(["xdotool", "windowactivate", "--sync", panel, "key", "Escape"])
        program.wait(20)
        tap(driver, driver.find_element("css selector", "button[data-c=c]"))
        wait_for("the page to say the panel was closed", lambda: "面板已关闭" in message(driver))
        driver.save_screenshot(os.path.join(out, "phone-closed.png"))
        assert read_available(master, 0.5) == b"", "something was sent after the panel closed"
        print("PASS: one tap, one c at 9600 8N1; the closed panel is told and sends nothing")
        return 0
    finally:
        if driver:
            driver.quit()
        if program.poll() is None:
            program.kill()
            program.wait()
        desktop.stop()
        log.close()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
