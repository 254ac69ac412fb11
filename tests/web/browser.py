"""Debian's Chromium, headless, driven through chromium-driver: the page served on
127.0.0.1 from a folder, with hooks that note when keys go down, cues start and the
prompt is first painted. Shared by the browser test and the benchmark."""
import functools
import http.server
import threading

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
# Where one window's client area is on the page.
CANVAS = SCOPE + r"""
const r = scope.querySelector('#' + arguments[0] + ' canvas').getBoundingClientRect();
return [r.left, r.top];
"""
# Qt's screen-reader tree, once asked for with its hidden button: the topmost window's
# texts and fields, by what they say they are (a message box's text has no description).
READER = SCOPE + r"""
scope.querySelectorAll('button.hidden-visually-read-by-screen-reader').forEach(b => b.click());
const shown = [...scope.querySelectorAll('.qt-window')].filter(w => w.style.display !== 'none')
    .sort((a, b) => (+a.style.zIndex || 0) - (+b.style.zIndex || 0));
const top = shown[shown.length - 1];
return top ? Object.fromEntries([...top.querySelectorAll('textarea, input')]
    .map(e => [e.getAttribute('aria-description') || '', e.value])) : {};
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


def type_keys(driver, *keys):
    ActionChains(driver).send_keys(*keys).perform()


ENTER = Keys.ENTER


def click(driver, window_id, x, y):
    """A left click at a point of a window's client area, as from a mouse."""
    left, top = driver.execute_script(CANVAS, window_id)
    for kind in ("mousePressed", "mouseReleased"):
        driver.execute_cdp_cmd("Input.dispatchMouseEvent", {"type": kind, "x": left + x, "y": top + y,
                                                            "button": "left", "clickCount": 1})


def reader(driver):
    """What a screen reader is told of the topmost window: {description: text}."""
    return driver.execute_script(READER) or {}
