#!/usr/bin/env python3
"""The rescue report's page in a real browser: headless Chromium driven
through WebDriver loads the page written for a fixture report from disk and
checks what a person would see and do on it.

    browser_check.py RENDER_PAGE REPORT.json ARTIFACTS_DIR

RENDER_PAGE writes the page for a report. The page and its screenshots are
kept in ARTIFACTS_DIR. Exits 77 (a skip for CTest) when Chromium, its driver
or Python's selenium is missing; CORVANE_CHROMIUM and CORVANE_CHROMEDRIVER
name other binaries.
"""

import base64
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import unittest
import urllib.parse
import zlib
from pathlib import Path

SKIP = 77
WATCHDOG_SECONDS = 240  # below CTest's TIMEOUT, so a hung browser fails with a message

STATUS_LABELS = {
    "rescued": "Rescued",
    "partial": "Partly rescued",
    "failed": "Failed",
    "unreadable": "Could not be read",
    "not-palm": "Not a Palm database",
}
UNORDERED = object()
MAIN_TOTALS = ["files", "contacts", "events", "memos", "todos", "books", "failed"]


def tiny_png():
    """A valid 2x2 PNG, for the outputs the page shows as pictures."""
    raw = b"".join(b"\x00" + b"\xff\x00\x00\x00\x00\xff" for _ in range(2))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 2, 2, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def decode_png(data):
    """(width, height, set of distinct pixels) of an 8-bit RGB or RGBA PNG."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat = 8, []
    width = height = channels = None
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, (depth, colour, interlace)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat.append(body)
    raw = zlib.decompress(b"".join(idat))
    stride = width * channels
    previous = bytearray(stride)
    colours = set()
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        if kind == 1:
            for i in range(channels, stride):
                line[i] = (line[i] + line[i - channels]) & 0xFF
        elif kind == 2:
            line = bytearray((a + b) & 0xFF for a, b in zip(line, previous))
        elif kind == 3:
            for i in range(stride):
                left = line[i - channels] if i >= channels else 0
                line[i] = (line[i] + ((left + previous[i]) >> 1)) & 0xFF
        elif kind == 4:
            for i in range(stride):
                a = line[i - channels] if i >= channels else 0
                b = previous[i]
                c = previous[i - channels] if i >= channels else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        if len(colours) < 4096:
            colours.update(bytes(line[i:i + channels]) for i in range(0, stride, channels * 3))
        previous = line
    return width, height, colours


def safe_output(path):
    """Whether a report path stays inside OUT (the page links only those)."""
    if not isinstance(path, str) or not path:
        return False
    parts = path.rstrip("/").split("/") if path.endswith("/") and len(path) > 1 else path.split("/")
    return all(p not in ("", ".", "..") for p in parts)


class Page(unittest.TestCase):
    driver = None
    out = None
    report = None
    render = None

    @classmethod
    def setUpClass(cls):
        cls.files = {f["input"]: f for f in cls.report["files"]}
        cls.out.mkdir(parents=True, exist_ok=True)
        # The outputs the report names, so that every link leads to a file.
        for f in cls.report["files"]:
            paths = [o["path"] for o in f["outputs"]] + ([f["original"]] if f["original"] else [])
            for p in filter(safe_output, paths):
                target = cls.out / p
                if p.endswith("/"):
                    target.mkdir(parents=True, exist_ok=True)
                    continue
                target.parent.mkdir(parents=True, exist_ok=True)
                target.write_bytes(tiny_png() if p.endswith(".png") else b"placeholder\n")
        shutil.copyfile(cls.fixture, cls.out / "rescue.json")
        cls.index = cls.out / "index.html"
        subprocess.run([cls.render, str(cls.fixture), str(cls.index)], check=True, timeout=60)
        cls.load(cls.index)

    @classmethod
    def load(cls, page, width=1280, height=800, mobile=False):
        cls.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})
        cls.driver.get(page.as_uri())

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def console_errors(self):
        return [e for e in self.driver.get_log("browser") if e.get("level") == "SEVERE"]

    def rows(self):
        """The table's rows as shown: input, kind, status and the two number cells."""
        return self.js("""
            return Array.from(document.querySelectorAll('#files tbody tr')).map(function (tr) {
              return {input: tr.querySelector('td.file .path').textContent,
                      kind: tr.querySelector('td.kind').textContent,
                      status: tr.querySelector('td.status .badge').textContent,
                      size: tr.querySelector('td.size').textContent,
                      records: tr.querySelector('td.records').textContent};
            });""")

    def sort_by(self, key, keyboard=False):
        button = self.driver.find_element("css selector", '#files th[data-sort="%s"] button' % key)
        if keyboard:
            from selenium.webdriver.common.keys import Keys
            self.js("arguments[0].focus();", button)
            self.driver.switch_to.active_element.send_keys(Keys.ENTER)
        else:
            button.click()
        return self.js("""
            return Array.from(document.querySelectorAll('#files th[data-sort]')).map(function (th) {
              return [th.getAttribute('data-sort'), th.getAttribute('aria-sort')];
            });""")

    def test_totals_and_every_row_are_shown(self):
        totals = self.report["totals"]
        for key in MAIN_TOTALS:
            shown = self.js("var li = document.querySelector('#totals li[data-total=\"' + arguments[0] + '\"]');"
                            "return li && li.querySelector('.n').textContent;", key)
            self.assertIsNotNone(shown, key)
            self.assertEqual(int("".join(c for c in shown if c.isdigit())), totals[key], key)
        rows = self.rows()
        self.assertEqual(len(rows), len(self.report["files"]))
        self.assertEqual([r["input"] for r in rows], [f["input"] for f in self.report["files"]])
        for row in rows:
            f = self.files[row["input"]]
            kind = f.get("kindLabel") or f["kind"]
            if f.get("engine"):
                kind += " (%s)" % f["engine"]
            self.assertEqual(row["kind"], kind)
            self.assertEqual(row["status"], STATUS_LABELS[f["status"]])
            if f["records"] is None:
                self.assertEqual(row["records"], "\u2014")
            else:
                self.assertEqual(row["records"], "%d of %d" % (f["rescued"], f["records"]))
        # Every failure is explained in its own words, with the technical detail folded away.
        problems = self.js("""
            return Array.from(document.querySelectorAll('#problems li.problem')).map(function (li) {
              var d = li.querySelector('details .detail');
              return [li.querySelector('.path').textContent, li.querySelector('p').textContent,
                      d ? d.textContent : null, li.querySelector('details') ? li.querySelector('details').open : null];
            });""")
        explained = {p[0]: p for p in problems}
        for f in self.report["files"]:
            if f["error"]:
                self.assertEqual(explained[f["input"]][1], f["error"]["message"])
                self.assertEqual(explained[f["input"]][2], f["error"]["detail"])
                self.assertFalse(explained[f["input"]][3])
            if f["status"] in ("failed", "unreadable", "partial") or f["warnings"]:
                self.assertIn(f["input"], explained)
        # The files not rescued come first.
        failures = [p[0] for p in problems if self.files[p[0]]["status"] in ("failed", "unreadable")]
        self.assertEqual([p[0] for p in problems[:len(failures)]], failures)
        self.assertEqual(len(failures), self.report["totals"]["failed"])
        self.assertEqual(self.console_errors(), [])

    def test_header_click_sorts_both_ways(self):
        def check(key, value, keyboard=False):
            states = dict(self.sort_by(key, keyboard))
            self.assertEqual(states.pop(key), "ascending")
            self.assertEqual(set(states.values()), {"none"})
            up = self.rows()
            states = dict(self.sort_by(key))
            self.assertEqual(states[key], "descending")
            down = self.rows()
            for order, rows in ((1, up), (-1, down)):
                values = [value(self.files[r["input"]]) for r in rows]
                values = [v for v in values if v is not UNORDERED]
                present = [v for v in values if v is not None]
                # Missing values go last in both directions.
                self.assertEqual(values, present + [None] * (len(values) - len(present)), key)
                self.assertEqual(present, sorted(present, reverse=order < 0), key)
            return up, down

        def natural(f):
            # Python orders plain ASCII names as the page's collation does; others are left out.
            if not re.fullmatch(r"[A-Za-z0-9 /.-]+", f["input"]):
                return UNORDERED
            return [int(p) if i % 2 else p for i, p in enumerate(re.split(r"(\d+)", f["input"].casefold()))]

        up, down = check("input", natural)
        self.assertEqual([r["input"] for r in down], [r["input"] for r in reversed(up)])
        # Numbers in names sort as numbers: "Archive 9" before "Archive 10".
        names = [r["input"] for r in up]
        self.assertLess(names.index("backup/old/Archive 9.pdb"), names.index("backup/old/Archive 10.pdb"))

        check("kind", lambda f: (f.get("kindLabel") or f["kind"]).casefold())
        up, _ = check("size", lambda f: f["size"], keyboard=True)
        sizes = [self.files[r["input"]]["size"] for r in up if self.files[r["input"]]["size"] is not None]
        self.assertNotEqual(sizes, sorted(sizes, key=str), "the fixture's sizes must tell numbers from text")
        check("records", lambda f: f["rescued"])
        check("status", lambda f: ["failed", "unreadable", "partial", "rescued", "not-palm"].index(f["status"]))
        self.assertEqual(self.console_errors(), [])

    def test_links_lead_to_the_outputs(self):
        links = self.js("""
            return Array.from(document.querySelectorAll('a[href]')).map(function (a) {
              var tr = a.closest('tr');
              return [a.href, a.getAttribute('href'), tr ? tr.querySelector('td.file .path').textContent : null];
            });""")
        out = self.out.resolve()
        linked = {}
        for absolute, attribute, row in links:
            url = urllib.parse.urlsplit(absolute)
            if attribute.startswith("#"):
                self.assertTrue(self.js("return !!document.getElementById(arguments[0]);", attribute[1:]), attribute)
                continue
            self.assertEqual(url.scheme, "file", absolute)
            target = Path(urllib.parse.unquote(url.path))
            self.assertTrue(target == out or out in target.parents, "%s leads outside OUT" % absolute)
            self.assertTrue(target.exists(), "%s leads nowhere" % absolute)
            if row is not None:
                linked.setdefault(row, set()).add(target.relative_to(out).as_posix() + ("/" if attribute.endswith("/") else ""))
        for f in self.report["files"]:
            wanted = {p for p in [o["path"] for o in f["outputs"]] + [f["original"]] if safe_output(p)}
            self.assertEqual(linked.get(f["input"], set()), wanted, f["input"])
        # A program's icon is shown from its PNG output (the placeholders of photos do not decode).
        icon = self.driver.find_element("css selector", "img.icon[src$='.png']")
        self.js("arguments[0].scrollIntoView();", icon)
        from selenium.webdriver.support.ui import WebDriverWait
        WebDriverWait(self.driver, 10).until(lambda d: d.execute_script(
            "return arguments[0].complete && arguments[0].naturalWidth > 0;", icon))
        self.assertEqual(icon.get_attribute("src"), (out / "pictures" / "Solitaire icon.png").as_uri())
        self.assertEqual(self.console_errors(), [])

    def test_hostile_strings_are_text(self):
        hostile = "backup/</script><img src=x onerror=alert(1)>.pdb"
        self.assertIn(hostile, [r["input"] for r in self.rows()])
        def shown(text):
            # Compared in the page: a lone surrogate of the report cannot come back over WebDriver.
            return self.js("return document.body.innerText.indexOf(arguments[0]) >= 0;", text)

        self.assertTrue(shown("<b>bold?</b><script>window.__pwned=2</script>"))
        self.assertTrue(shown("<script>window.__pwned=1</script>"))
        self.assertTrue(self.js(r'return document.body.innerText.indexOf("lone \ud800 surrogate") >= 0;'))
        self.assertEqual(self.js("return typeof window.__pwned;"), "undefined")
        self.assertEqual(self.driver.title, "Rescue report: backup/, extra <b>.pdb")
        self.assertEqual(self.js("return document.scripts.length;"), 2)
        self.assertEqual(self.js("return document.querySelectorAll('svg, b, #files img:not(.icon), main img:not(.icon)').length;"), 0)
        # The problems section opens the hostile details too: still text.
        self.js("document.querySelectorAll('details').forEach(function (d) { d.open = true; });")
        self.assertEqual(self.js("return typeof window.__pwned;"), "undefined")
        self.assertTrue(shown("</details><script>window.__pwned=6</script>"))
        from selenium.common.exceptions import NoAlertPresentException
        with self.assertRaises(NoAlertPresentException):
            self.driver.switch_to.alert.text
        self.assertEqual(self.console_errors(), [])

    def test_screenshots_phone_and_desktop(self):
        try:
            for width, height, mobile in ((390, 844, True), (1280, 800, False)):
                self.load(self.index, width, height, mobile)
                self.assertEqual(self.js("return window.innerWidth;"), width)
                path = self.artifacts / ("page-%dx%d.png" % (width, height))
                png = self.driver.get_screenshot_as_png()
                path.write_bytes(png)
                print("screenshot: %s" % path, file=sys.stderr)
                # The whole page too, for a person looking at the artifacts.
                full = self.driver.execute_cdp_cmd("Page.captureScreenshot", {
                    "format": "png", "captureBeyondViewport": True})
                whole = self.artifacts / ("page-%dx%d-full.png" % (width, height))
                whole.write_bytes(base64.b64decode(full["data"]))
                print("screenshot: %s" % whole, file=sys.stderr)
                w, h, colours = decode_png(png)
                self.assertEqual((w, h), (width, height))
                self.assertGreater(len(colours), 8, "%s looks blank" % path)
                self.assertLessEqual(self.js("return document.documentElement.scrollWidth;"),
                                     self.js("return window.innerWidth;"), "%s scrolls sideways" % path)
                # Sorting works in either layout.
                self.sort_by("size")
                self.assertEqual(len(self.rows()), len(self.report["files"]))
            # A person whose system is set to dark colours.
            self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
                "features": [{"name": "prefers-color-scheme", "value": "dark"}]})
            self.load(self.index, 390, 844, True)
            path = self.artifacts / "page-390x844-dark.png"
            png = self.driver.get_screenshot_as_png()
            path.write_bytes(png)
            print("screenshot: %s" % path, file=sys.stderr)
            self.assertGreater(len(decode_png(png)[2]), 8, "%s looks blank" % path)
            self.assertEqual(self.console_errors(), [])
        finally:
            self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})
            self.load(self.index)

    def test_broken_reports_say_so(self):
        cases = {
            "not-json": b"not json </script><script>window.__pwned=1</script>",
            "empty": b"",
            "sparse": b'{"files":[{}, 3, null, {"input": 7, "outputs": [{"path": null}], "preview": "x"}], "totals": "x"}',
            "no files": b'{"files": [], "totals": {"files": 0}}',
        }
        with tempfile.TemporaryDirectory() as tmp:
            for name, data in cases.items():
                report = Path(tmp) / (name + ".json")
                page = Path(tmp) / (name + ".html")
                report.write_bytes(data)
                subprocess.run([self.render, str(report), str(page)], check=True, timeout=60)
                self.load(page)
                error_shown = self.js("return !document.getElementById('load-error').hidden;")
                self.assertEqual(error_shown, name in ("not-json", "empty"), name)
                self.assertEqual(self.js("return typeof window.__pwned;"), "undefined")
                if name == "sparse":
                    self.assertEqual(len(self.rows()), 2)
                if name == "no files":
                    self.assertIn("No files were found", self.js("return document.body.innerText;"))
                self.assertEqual(self.console_errors(), [], name)
        self.load(self.index)


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    render, fixture, artifacts = (Path(a).resolve() for a in sys.argv[1:4])
    chromium = os.environ.get("CORVANE_CHROMIUM") or shutil.which("chromium")
    chromedriver = os.environ.get("CORVANE_CHROMEDRIVER") or shutil.which("chromedriver")
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        print("skipped: Python's selenium is not installed", file=sys.stderr)
        return SKIP
    if not chromium or not chromedriver:
        print("skipped: chromium or chromedriver is not installed", file=sys.stderr)
        return SKIP

    artifacts.mkdir(parents=True, exist_ok=True)
    profile = tempfile.TemporaryDirectory(prefix="corvane-page-")
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--no-first-run", "--no-default-browser-check", "--disable-extensions",
                "--disable-background-networking", "--disable-sync", "--lang=en-US",
                "--window-size=1280,800", "--user-data-dir=" + profile.name):
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    # Its own session, so that a hung driver and its browser can be ended together.
    service = Service(chromedriver, log_path=str(artifacts / "chromedriver.log"),
                      popen_kw={"start_new_session": True})

    def give_up():
        print("browser_check: no answer after %d s; ending the browser" % WATCHDOG_SECONDS, file=sys.stderr)
        process = getattr(service, "process", None)
        if process is not None:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except OSError:
                pass
        os._exit(1)

    watchdog = threading.Timer(WATCHDOG_SECONDS, give_up)
    watchdog.daemon = True
    watchdog.start()
    driver = webdriver.Chrome(service=service, options=options)
    try:
        driver.set_page_load_timeout(60)
        driver.set_script_timeout(30)
        Page.driver = driver
        Page.render = str(render)
        Page.fixture = fixture
        Page.report = json.loads(fixture.read_text(encoding="utf-8"))
        Page.out = artifacts / "out"
        Page.artifacts = artifacts
        if Page.out.exists():
            shutil.rmtree(Page.out)
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(Page)
        result = unittest.TextTestRunner(verbosity=2).run(suite)
        print("page: %s" % (Page.out / "index.html"), file=sys.stderr)
        return 0 if result.wasSuccessful() else 1
    finally:
        try:
            driver.quit()
        finally:
            watchdog.cancel()
            profile.cleanup()


if __name__ == "__main__":
    sys.exit(main())
