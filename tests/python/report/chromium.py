"""Headless Chromium for the report's tests, driven over the DevTools
protocol on a pipe (file descriptors 3 and 4 of the browser) with the
standard library only: open a page from a file with no network and a fresh
profile, wait for it to load, and collect what its console and the
browser's log said."""

from __future__ import annotations

import json
import os
import select
import subprocess
import time
from dataclasses import dataclass, field
from pathlib import Path

CHROMIUM = "/usr/bin/chromium"
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--remote-debugging-pipe"]


@dataclass
class PageVisit:
    text: str = ""  # the rendered page's text
    errors: list[str] = field(default_factory=list)  # console errors, exceptions, failed loads
    width: int = 0
    height: int = 0


class _Pipe:
    def __init__(self, to_browser: int, from_browser: int, timeout: float):
        self.write_fd, self.read_fd = to_browser, from_browser
        self.deadline = time.monotonic() + timeout
        self.buffer = b""
        self.next_id = 0
        self.events: list[dict] = []

    def send(self, method: str, params: dict | None = None, session: str | None = None) -> dict:
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.write_fd, json.dumps(message).encode() + b"\0")
        while True:
            reply = self.receive()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            self.events.append(reply)

    def receive(self) -> dict:
        while b"\0" not in self.buffer:
            left = self.deadline - time.monotonic()
            if left <= 0 or not select.select([self.read_fd], [], [], left)[0]:
                raise TimeoutError("the browser did not answer in time")
            chunk = os.read(self.read_fd, 1 << 16)
            if not chunk:
                raise EOFError("the browser closed its pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def wait_for(self, method: str) -> dict:
        for event in self.events:
            if event.get("method") == method:
                return event
        while True:
            event = self.receive()
            self.events.append(event)
            if event.get("method") == method:
                return event


def _errors(events: list[dict]) -> list[str]:
    found = []
    for event in events:
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert", "warning"):
            found.append(" ".join(str(a.get("value", a.get("description", ""))) for a in params.get("args", [])))
        elif method == "Runtime.exceptionThrown":
            details = params.get("exceptionDetails", {})
            found.append(details.get("exception", {}).get("description") or details.get("text", "exception"))
        elif method == "Log.entryAdded" and params.get("entry", {}).get("level") in ("error", "warning"):
            found.append(params["entry"].get("text", ""))
    return found


def visit(page: Path, profile_parent: Path, timeout: float = 90.0) -> PageVisit:
    to_browser_read, to_browser_write = os.pipe()
    from_browser_read, from_browser_write = os.pipe()

    def child_pipes():
        os.dup2(to_browser_read, 3)
        os.dup2(from_browser_write, 4)

    browser = subprocess.Popen([CHROMIUM, *FLAGS, f"--user-data-dir={profile_parent / 'chromium-profile'}",
                                "about:blank"], pass_fds=(3, 4), preexec_fn=child_pipes,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(to_browser_read)
    os.close(from_browser_write)
    pipe = _Pipe(to_browser_write, from_browser_read, timeout)
    try:
        target = pipe.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = pipe.send("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Page", "Runtime", "Log"):
            pipe.send(f"{domain}.enable", session=session)
        pipe.send("Page.navigate", {"url": page.resolve().as_uri()}, session=session)
        pipe.wait_for("Page.loadEventFired")
        result = pipe.send("Runtime.evaluate", {
            "expression": "JSON.stringify([document.body.innerText, document.documentElement.scrollWidth, "
                          "document.documentElement.scrollHeight])", "returnByValue": True}, session=session)
        text, width, height = json.loads(result["result"]["value"])
        session_events = [e for e in pipe.events if e.get("sessionId") == session]
        try:
            pipe.send("Browser.close")
        except (EOFError, TimeoutError):
            pass
        return PageVisit(text=text, errors=_errors(session_events), width=width, height=height)
    finally:
        os.close(to_browser_write)
        os.close(from_browser_read)
        try:
            browser.wait(timeout=20)
        except subprocess.TimeoutExpired:
            browser.kill()
            browser.wait()
