"""Waiting for what a test must see, on a machine that may be busy."""
import time


def wait(probe, what, timeout=60, interval=0.05):
    """Polls probe() until it gives something true. The time-out only stops a run that
    would hang: a busy machine is slow, not wrong."""
    deadline = time.monotonic() + timeout
    while not (value := probe()):
        if time.monotonic() > deadline:
            raise AssertionError(f"waited {timeout} s for {what}")
        time.sleep(interval)
    return value
