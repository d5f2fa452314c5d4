"""Headless Chromium through Selenium, for the scripts that look at Lumo's
pages (the browser tests, the campus tour and its benchmark)."""
import shutil

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
    return webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
