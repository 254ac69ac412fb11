"""Debian's Chromium, headless, driven through chromium-driver: the page served on
127.0.0.1 from a folder, with hooks that note when keys go down, cues start and the
prompt is first painted. Shared by the browser test and the benchmark."""
import base64
import functools
import http.server
import subprocess
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys

# Injected before the page's own scripts: notes, on the page's clock, every Enter, every
# cue started (with its length, to tell the two apart), the first drawing of every Qt
# window, and the program's memory.
HOOKS = r"""
window.__seen = { enter: [], cues: [], painted: {}, memory: null };
addEventListener('keydown', e => { if (e.key === 'Enter') __seen.enter.push(performance.now()); }, true);
const start = AudioBufferSourceNode.prototype.start;
AudioBufferSourceNode.prototype.start = function (...args) {
    const c = this.context;
    __seen.cues.push({ at: performance.now(), seconds: this.buffer ? this.buffer.duration : 0,
                       latency: (c.baseLatency || 0) + (c.outputLatency || 0), state: c.state });
    return start.apply(this, args);
};
const put = CanvasRenderingContext2D.prototype.putImageData;
CanvasRenderingContext2D.prototype.putImageData = function (...args) {
    const win = this.canvas.closest && this.canvas.closest('.qt-window');
    const key = win ? win.id : '?';
    if (!(key in __seen.painted)) __seen.painted[key] = performance.now();
    return put.apply(this, args);
};
for (const name of ['instantiate', 'instantiateStreaming']) {
    const original = WebAssembly[name];
    WebAssembly[name] = async function (...args) {
        const result = await original.apply(this, args);
        const exports = (result.instance || result).exports;
        for (const value of Object.values(exports))
            if (value instanceof WebAssembly.Memory) __seen.memory = value;
        return result;
    };
}
"""

# Qt draws the page's windows inside a shadow root under #screen.
SCOPE = r"""
const host = [...document.querySelectorAll('#screen *')].find(e => e.shadowRoot);
const scope = host ? host.shadowRoot : document;
"""
# The Qt windows shown, topmost last: id, title, whether maximized.
WINDOWS = SCOPE + r"""
return [...scope.querySelectorAll('.qt-window')]
    .filter(w => w.style.display !== 'none' && w.getBoundingClientRect().width > 0)
    .sort((a, b) => (+a.style.zIndex || 0) - (+b.style.zIndex || 0))
    .map(w => ({ id: w.id, title: (w.querySelector('.window-name') || {}).innerText || '',
                 maximized: w.getBoundingClientRect().width >= innerWidth * 0.9 }));
"""
# One window's client area: as a PNG exactly as Qt drew it, or where it is on the page.
CANVAS = SCOPE + r"""
const canvas = scope.querySelector('#' + arguments[0] + ' canvas');
if (!canvas) return null;
const r = canvas.getBoundingClientRect();
return arguments[1] ? canvas.toDataURL('image/png') : [r.left, r.top];
"""


def serve(folder):
    """The folder on a free port of 127.0.0.1, in a thread; returns (server, url)."""
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Quiet, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, f"http://127.0.0.1:{server.server_address[1]}/"


def chromium(profile, width=1280, height=800, extra=()):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 f"--user-data-dir={profile}", f"--window-size={width},{height}", *extra):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def load(driver, url, tab=False):
    """The page, with the hooks, in this tab or a new one of the same browser."""
    if tab:
        driver.switch_to.new_window("tab")
    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": HOOKS})
    driver.get(url)


def windows(driver):
    return driver.execute_script(WINDOWS) or []


def wait(probe, what, timeout=60, interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"waited {timeout} s for {what}")
        time.sleep(interval)


def type_keys(driver, *keys):
    ActionChains(driver).send_keys(*keys).perform()


ENTER = Keys.ENTER


def click(driver, window_id, x, y):
    """A left click at a point of a window's client area, as from a mouse."""
    left, top = driver.execute_script(CANVAS, window_id, False)
    for kind in ("mousePressed", "mouseReleased"):
        driver.execute_cdp_cmd("Input.dispatchMouseEvent", {"type": kind, "x": left + x, "y": top + y,
                                                            "button": "left", "clickCount": 1})


def canvas_png(driver, window_id, path):
    data = driver.execute_script(CANVAS, window_id, True)
    if not data:
        raise AssertionError(f"no canvas for window {window_id}")
    with open(path, "wb") as out:
        out.write(base64.b64decode(data.split(",", 1)[1]))
    return path


def ocr(png, crop=None, ink=None, digits=False, mend=None):
    """Text in a part of a picture; `ink` keeps only that colour (as #rrggbb); `mend`
    closes gaps another colour cut into it (a morphology kernel)."""
    args = ["convert", png]
    if crop:
        x, y, w, h = crop
        args += ["-crop", f"{w}x{h}+{x}+{y}", "+repage"]
    if ink:
        args += ["-fuzz", "25%", "-fill", "white", "+opaque", ink, "-fill", "black", "-opaque", ink]
    if mend:
        args += ["-morphology", "Close", mend]
    args += ["-colorspace", "gray", "-resize", "300%", "-threshold", "60%",
             "-bordercolor", "white", "-border", "20", png + ".ocr.png"]
    subprocess.run(args, check=True)
    options = ["--psm", "13" if digits == "one" else "7", "-c", "tessedit_char_whitelist=0123456789"] \
        if digits else ["--psm", "6"]
    return subprocess.run(["tesseract", png + ".ocr.png", "-", *options], check=True,
                          capture_output=True, text=True).stdout.strip()
