#!/usr/bin/env python3
"""The campus page in headless Chromium, as a technician uses it.

    campus_page.py tour URL USER PASSWORD OUT_DIR
        logs in, opens the first room's panel and taps 投影机开, then runs
        投影机关 on every room from the rooms page, with its confirmation;
        screenshots rooms.png, panel.png and all-rooms.png in OUT_DIR.
    campus_page.py first-paint URL USER PASSWORD ROOMS [RUNS]
        the rooms page's first contentful paint and the moment all ROOMS
        rooms are listed, beside the login page's first paint, in ms (the
        medians of RUNS loads, default 5), as "login FCP rooms FCP listed".

Exit status 77 when Chromium, its driver or Selenium is not installed.
"""
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import chromium  # noqa: E402
from polling import wait_for  # noqa: E402

SKIP = 77


def browser():
    return chromium.driver("--window-size=1280,1200", chinese=True)


def log_in(driver, url, user, password):
    driver.get(url + "login")
    driver.find_element("id", "user").send_keys(user)
    driver.find_element("id", "password").send_keys(password)
    driver.find_element("id", "login").click()
    wait_for("the rooms page", lambda: driver.find_elements("css selector", ".room[data-room]"))


def rooms_of(driver):
    return [e.get_attribute("data-room")
            for e in driver.find_elements("css selector", ".room[data-room]")]


def tour(url, user, password, out):
    from selenium.webdriver.support.ui import Select
    driver = browser()
    try:
        log_in(driver, url, user, password)
        rooms = rooms_of(driver)
        print("tour: logged in; %d rooms: %s" % (len(rooms), " ".join(rooms)))
        wait_for("every room's state", lambda: all(
            e.get_attribute("data-state") for e in driver.find_elements("css selector", ".room .state")))
        driver.save_screenshot(os.path.join(out, "rooms.png"))

        first = rooms[0]
        driver.find_element("css selector", '.room a[href="/rooms/%s/"]' % first).click()
        button = wait_for("the room's panel",
                          lambda: driver.find_elements("css selector", "button[data-c=c]"))[0]
        button.click()
        message = driver.find_element("id", "message")
        wait_for("投影机开 to be sent", lambda: "已发送" in message.text)
        print("tour: %s: 投影机开 %s" % (first, message.text))
        driver.save_screenshot(os.path.join(out, "panel.png"))

        driver.get(url)
        wait_for("the rooms page", lambda: driver.find_elements("css selector", "#all-run"))
        Select(driver.find_element("id", "all-command")).select_by_value("d")
        driver.find_element("id", "all-every").click()  # every room, listed or not
        driver.find_element("id", "all-run").click()
        confirm = driver.find_element("id", "all-confirm")
        wait_for("the confirmation", confirm.is_displayed)
        confirm.click()

        def outcomes():  # the rooms not sent, each with its reason; those sent in one line
            done = driver.find_element("id", "all-outcome").get_attribute("data-kind") in ("sent", "error")
            return done and driver.find_elements("css selector", "#all-results [data-outcome]")
        wait_for("every room's outcome", outcomes, timeout=120)
        results = driver.find_elements("css selector", "#all-results [data-room][data-outcome]")
        driver.save_screenshot(os.path.join(out, "all-rooms.png"))
        driver.execute_script("document.getElementById('schedules').scrollIntoView()")
        driver.save_screenshot(os.path.join(out, "schedules.png"))
        failed = [r.text for r in results if r.get_attribute("data-outcome") != "sent"]
        print("tour: 投影机关 on all rooms: %d sent, %d failed" % (len(rooms) - len(failed), len(failed)))
        for text in failed:
            print("tour:   " + text)
        driver.get(url + "history")
        wait_for("the history page", lambda: driver.find_elements("css selector", "#entries td"))
        driver.save_screenshot(os.path.join(out, "history.png"))
        return 1 if failed else 0
    except AssertionError as e:
        driver.save_screenshot(os.path.join(out, "failed.png"))
        print("tour: %s (the page at that moment: %s)" % (e, os.path.join(out, "failed.png")))
        return 1
    finally:
        driver.quit()


def first_paint(url, user, password, rooms, runs):
    # The time of the navigation's first contentful paint, and (for the rooms
    # page) when the last of `rooms` rooms is in the page, from navigation start.
    measure = """
        const [want, done] = arguments;
        const look = () => {
            const paint = performance.getEntriesByName('first-contentful-paint')[0];
            // The page lists its rooms (those with a problem, and the first
            // others) once it is read.
            if (paint && document.readyState !== 'loading' &&
                document.querySelectorAll('.room[data-room]').length >= Math.min(want, 1))
                done([paint.startTime, performance.now()]);
            else
                requestAnimationFrame(look);
        };
        look();"""
    driver = browser()
    try:
        driver.set_script_timeout(60)
        login, page, listed = [], [], []
        driver.get(url + "login")  # the browser's own start-up is no part of it
        for _ in range(runs):
            driver.get(url + "login")
            login.append(driver.execute_async_script(measure, 0)[0])
        log_in(driver, url, user, password)
        for _ in range(runs):
            driver.get(url)
            paint, all_listed = driver.execute_async_script(measure, rooms)
            page.append(paint)
            listed.append(all_listed)
        print("login %.1f rooms %.1f listed %.1f" % (
            statistics.median(login), statistics.median(page), statistics.median(listed)))
        return 0
    finally:
        driver.quit()


def main():
    if len(sys.argv) < 2 or sys.argv[1] not in ("tour", "first-paint"):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    missing = chromium.missing()
    if missing:
        print("not installed: " + " ".join(missing), file=sys.stderr)
        return SKIP
    url = sys.argv[2] if sys.argv[2].endswith("/") else sys.argv[2] + "/"
    if sys.argv[1] == "tour":
        return tour(url, sys.argv[3], sys.argv[4], sys.argv[5])
    runs = int(sys.argv[6]) if len(sys.argv) > 6 else 5
    return first_paint(url, sys.argv[3], sys.argv[4], int(sys.argv[5]), runs)


if __name__ == "__main__":
    sys.exit(main())
