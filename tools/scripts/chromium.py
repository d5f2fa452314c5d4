"""Headless Chromium through Selenium, for the scripts that look at Lumo's
pages (the browser tests, the campus tour and its benchmark)."""
import os
import shutil

AXE = os.environ.get("LUMO_AXE") or os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "node", "node_modules",
    "axe-core", "axe.min.js")

ARGUMENTS = ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
             "--no-proxy-server")


def missing(*tools):
    """What is not installed of `tools`, Chromium, its driver and Selenium."""
    absent = [t for t in tools + ("chromium", "chromedriver") if not shutil.which(t)]
    try:
        import selenium  # noqa: F401
    except ImportError:
        absent.append("python3-selenium")
    return absent


def driver(*arguments, chinese=False, mobile=None):
    """A headless Chromium with `arguments` besides the usual ones; `chinese`:
    a browser that asks for Chinese pages; `mobile`: Chrome's mobileEmulation."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for argument in ARGUMENTS + arguments:
        options.add_argument(argument)
    if chinese:
        options.add_argument("--lang=zh-CN")
        options.add_experimental_option("prefs", {"intl.accept_languages": "zh-CN,zh"})
    if mobile:
        options.add_experimental_option("mobileEmulation", mobile)
    # What the page wrote to the console, failed requests among it (errors()).
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)


def axe(driver, where):
    """What axe-core finds on the page `driver` shows: "" when nothing; None
    when axe-core is not installed (./test installs it, CI must have it)."""
    if not os.path.exists(AXE):
        if os.environ.get("CI") == "true":
            raise AssertionError("axe-core is not installed at " + AXE)
        print("SKIPPED the accessibility check of %s: no axe-core at %s (./test installs it)"
              % (where, AXE))
        return None
    with open(AXE) as f:
        driver.execute_script(f.read())
    found = driver.execute_async_script(
        "const done = arguments[0];"
        "axe.run(document, {resultTypes: ['violations']}).then(r => done(r.violations.map("
        "v => v.id + ' (' + v.impact + '): ' + v.nodes.map(n => n.target.join(' ')).join(', '))));")
    return "; ".join(found)


def errors(driver):
    """The console's errors since the last call: failed requests and scripts' errors."""
    return [entry["message"] for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
