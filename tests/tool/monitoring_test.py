#!/usr/bin/env python3
"""The tool as node_exporter's companion, end to end, on 127.0.0.1 only.

Debian's prometheus-node-exporter reads a temporary textfile directory into
which the tool writes a batch and, block by block, a stream; every series the
tool wrote is scraped with its value and node_textfile_scrape_error is 0.
Then Debian's prometheus scrapes that exporter and answers a query with the
tool's value. Every wait is bounded; every process started here is stopped
here, also on failure.

    monitoring_test.py TOOL EXAMPLES_DIR    (exit 77: the servers are missing)
"""
import json
import os
import random
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

SKIP = 77
EXPORTER = os.environ.get("QLX5100_NODE_EXPORTER", "prometheus-node-exporter")
PROMETHEUS = os.environ.get("QLX5100_PROMETHEUS", "prometheus")

SERIES = re.compile(r'^([a-zA-Z_:][a-zA-Z0-9_:]*)(?:\{(.*)\})? (\S+)$')
LABEL = re.compile(r'([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\]|\\.)*)",?')


def series(text):
    """{(name, sorted label pairs): value} of an exposition; the exporter
    writes the labels in its own order."""
    out = {}
    for line in text.splitlines():
        if not line or line.startswith("#"):
            continue
        m = SERIES.match(line)
        assert m, "not a series line: %r" % line
        labels = tuple(sorted(LABEL.findall(m.group(2) or "")))
        out[(m.group(1), labels)] = float(m.group(3))
    return out


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def get(url, timeout=5):
    with urllib.request.urlopen(url, timeout=timeout) as r:
        return r.read().decode("utf-8")


def wait_for(what, check, seconds):
    deadline = time.monotonic() + seconds
    last = None
    while time.monotonic() < deadline:
        try:
            result = check()
            if result:
                return result
        except Exception as e:  # not up yet
            last = e
        time.sleep(0.2)
    raise AssertionError("gave up waiting %ds for %s (%s)" % (seconds, what, last))


class Servers:
    """The processes started here, stopped on exit whatever happens."""

    def __init__(self, work):
        self.work = work
        self.procs = []

    def start(self, name, args):
        log = open(os.path.join(self.work, name + ".log"), "wb")
        self.procs.append((name, subprocess.Popen(args, stdout=log, stderr=subprocess.STDOUT,
                                                  stdin=subprocess.DEVNULL)))
        return self.procs[-1][1]

    def log(self, name):
        with open(os.path.join(self.work, name + ".log"), "rb") as f:
            return f.read().decode("utf-8", "replace")[-2000:]

    def stop(self):
        for _, p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()


def scraped(port):
    return series(get("http://127.0.0.1:%d/metrics" % port))


def holds_all(scrape, expected):
    return all(scrape.get(k) == v for k, v in expected.items())


def main():
    tool, examples = sys.argv[1], sys.argv[2]
    missing = [p for p in (EXPORTER, PROMETHEUS) if shutil.which(p) is None]
    if missing:
        print("%s not installed: skipped (./scripts/setup monitoring installs them)"
              % " and ".join(missing))
        return SKIP
    work = tempfile.mkdtemp(prefix="qlx5100-monitoring-")
    servers = Servers(work)
    try:
        run(tool, examples, work, servers)
    finally:
        servers.stop()
        shutil.rmtree(work, ignore_errors=True)
    print("ok: node_exporter served every series the tool wrote; prometheus answered")
    return 0


def run(tool, examples, work, servers):
    textfiles = os.path.join(work, "textfile")
    os.mkdir(textfiles)
    exporter_port = free_port()
    exporter = servers.start("exporter", [
        EXPORTER, "--web.listen-address=127.0.0.1:%d" % exporter_port,
        "--collector.disable-defaults", "--collector.textfile",
        "--collector.textfile.directory=" + textfiles])
    wait_for("node_exporter on port %d" % exporter_port,
             lambda: exporter.poll() is None and scraped(exporter_port) is not None, 30)

    # One run: the bundled examples as a batch.
    batch = os.path.join(textfiles, "qlx5100.prom")
    subprocess.run([tool, "-f", "prometheus", "--label", "printer=lab-3",
                    os.path.join(examples, "blocks"), "-o", batch], check=True, timeout=60)
    with open(batch, encoding="utf-8") as f:
        written = series(f.read())
    assert len(written) > 20, written
    scrape = wait_for("the batch's series in a scrape",
                      lambda: (lambda s: s if holds_all(s, written) else None)(
                          scraped(exporter_port)), 15)
    assert scrape[("node_textfile_scrape_error", ())] == 0, servers.log("exporter")

    # A stream: FILE holds the latest block after each one, and a scrape in
    # between sees it whole.
    stream_file = os.path.join(textfiles, "stream.prom")
    blocks = ["normal-operation", "heater-fault", "all-pinch-rollers", "text-with-control-bytes"]
    poller = subprocess.Popen([tool, "--stream", "-f", "prometheus", "--label", "printer=lab-4",
                               "-o", stream_file], stdin=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
    try:
        for n, name in enumerate(blocks, 1):
            with open(os.path.join(examples, "blocks", name + ".bin"), "rb") as f:
                poller.stdin.write(f.read())
            poller.stdin.flush()
            wait_for("block %d in %s" % (n, stream_file),
                     lambda: os.path.exists(stream_file) and
                     '(stdin)#%d"' % n in open(stream_file, encoding="utf-8").read(), 15)
            with open(stream_file, encoding="utf-8") as f:
                latest = series(f.read())
            assert all(('input', '(stdin)#%d' % n) in k[1] for k in latest), latest
            scrape = wait_for("block %d in a scrape" % n,
                              lambda: (lambda s: s if holds_all(s, latest) else None)(
                                  scraped(exporter_port)), 15)
            assert scrape[("node_textfile_scrape_error", ())] == 0, servers.log("exporter")
            stale = [k for k in scrape if ("input", "(stdin)#%d" % (n - 1)) in k[1]]
            assert not stale, stale
        poller.stdin.close()
        assert poller.wait(30) == 0
    finally:
        if poller.poll() is None:
            poller.kill()
            poller.wait()

    # Prometheus scrapes the exporter; its query API gives the tool's value.
    prometheus_port = free_port()
    config = os.path.join(work, "prometheus.yml")
    with open(config, "w", encoding="utf-8") as f:
        f.write("global:\n  scrape_interval: 1s\n"
                "scrape_configs:\n  - job_name: qlx5100\n"
                "    static_configs:\n      - targets: ['127.0.0.1:%d']\n" % exporter_port)
    prometheus = servers.start("prometheus", [
        PROMETHEUS, "--config.file=" + config,
        "--storage.tsdb.path=" + os.path.join(work, "data"),
        "--web.listen-address=127.0.0.1:%d" % prometheus_port])
    key = next(k for k in written if k[0] == "qlx5100_heater_temperature")
    expected = written[key]
    selector = "qlx5100_heater_temperature{%s}" % ",".join(
        '%s="%s"' % (n, v) for n, v in key[1])
    url = "http://127.0.0.1:%d/api/v1/query?query=%s" % (prometheus_port,
                                                         urllib.parse.quote(selector))

    def answered():
        assert prometheus.poll() is None, servers.log("prometheus")
        result = json.loads(get(url))["data"]["result"]
        return result or None

    result = wait_for("prometheus to answer %s" % selector, answered, 60)
    assert len(result) == 1 and float(result[0]["value"][1]) == expected, (result, expected)


if __name__ == "__main__":
    sys.exit(main())
