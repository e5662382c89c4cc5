"""End-to-end test environment for the installer: X display, test CA, HTTPS release server,
Wine prefixes and a `Machine` per scenario that starts the installer and drives its window.

Standard library only; used by tests/e2e (pytest) and by demo scripts. Every external command
runs with a timeout, and every child (Xvfb, nginx, wineserver) is registered for cleanup at
exit, also when a test fails or the run is interrupted.

Typical use:

    run = Run.create(build)                      # run directory under the build tree
    display = ensure_display()
    ca = TestCA.create(run.path / "ca")
    server = ReleaseServer.start(run.path / "server", ca, tree)
    template = PrefixTemplate.create(run.path / "prefixes" / "template", build, ca, display)
    with template.clone(run.path / "prefixes" / "m1") as machine:
        inst = machine.start_installer(["-test", f'"{server.base_url}"'])
        machine.driver("wait-window", "--timeout", "30000")
"""

import atexit
import json
import os
import pathlib
import queue
import re
import select
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

REPO_ROOT = pathlib.Path(__file__).resolve().parents[1]
TEST_FONTS_REG = REPO_ROOT / "tools" / "test-fonts.reg"
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import make_release  # noqa: E402  (sibling module)

# The Wine loader: scripts/wine-path.sh picks the 64-bit loader where 32-bit Wine cannot run (the
# `wine` script would start the 32-bit loader first even for a 64-bit program).
WINE = os.environ.get("FLASHDECK_WINE") or "wine"
# Every time limit of the harness is multiplied by this: an emulated processor (the emulator
# guest) runs Wine several times slower. Limits only: no wait for an expected event gets longer.
TRACE = bool(os.environ.get("FLASHDECK_E2E_TRACE"))
TIME_SCALE = float(os.environ.get("FLASHDECK_E2E_TIME_SCALE") or 1)
WINDOW_CLASS = "TOLVANE"
INSTALLER_NAME = "LumidexFlashdeckSetup.exe"
# Child controls of the installer window in creation order.
CONTROL_INDEX = {
    "actionButton": 0,
    "cancelButton": 1,
    "languageList": 2,
    "progressBar": 3,
    "releaseNotesLink": 4,
    "messageText": 5,
    "languageLabel": 6,
    "versionLabel": 7,
    "installerVersionLabel": 8,
}
APP_KEY = r"HKLM\SOFTWARE\Lumidex\SSD Flashdeck"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Lumidex SSD Flashdeck"
VCREDIST_LOG = r"C:\users\Public\vcredist_x86_calls.txt"
DEMO_APP_LOG = r"C:\users\Public\demo_app_starts.txt"


class HarnessError(RuntimeError):
    """The environment could not do what was asked (not a finding about the installer)."""


class DriverError(HarnessError):
    def __init__(self, message, output=None):
        super().__init__(message)
        self.output = output


def log(message):
    print(f"[e2e {time.strftime('%H:%M:%S')}] {message}", file=sys.stderr, flush=True)


# ---------------------------------------------------------------- cleanup and processes

_cleanups = []
_cleanup_lock = threading.Lock()


def register_cleanup(action):
    """Runs `action` at interpreter exit unless `unregister_cleanup` removes it first."""
    with _cleanup_lock:
        _cleanups.append(action)
    return action


def unregister_cleanup(action):
    with _cleanup_lock:
        if action in _cleanups:
            _cleanups.remove(action)


def _run_cleanups():
    while True:
        with _cleanup_lock:
            if not _cleanups:
                return
            action = _cleanups.pop()
        try:
            action()
        except Exception as error:  # cleanup must go on with the next child
            log(f"cleanup failed: {error}")


atexit.register(_run_cleanups)


def _terminate_on_signal(signum, _frame):
    raise SystemExit(128 + signum)


if threading.current_thread() is threading.main_thread():
    signal.signal(signal.SIGTERM, _terminate_on_signal)


def run(cmd, timeout, env=None, check=True, cwd=None):
    """Runs a command in its own process group; kills the whole group on timeout.

    Output goes through temporary files, not pipes: Wine's background processes (wineserver,
    services, the desktop) inherit the standard handles and would keep a pipe open forever."""
    cmd = [str(c) for c in cmd]
    timeout *= TIME_SCALE
    started = time.monotonic()
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.Popen(cmd, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                start_new_session=True)
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            _kill_group(proc)
            raise HarnessError(f"timed out after {timeout}s: {' '.join(cmd)}")
        out.seek(0)
        err.seek(0)
        result = subprocess.CompletedProcess(cmd, proc.returncode, out.read().decode("utf-8", "replace"),
                                             err.read().decode("utf-8", "replace"))
    if TRACE:
        log(f"TRACE {time.monotonic() - started:.2f}s {' '.join(cmd[:4])[:140]}")
    if check and result.returncode != 0:
        raise HarnessError(f"command failed ({result.returncode}): {' '.join(cmd)}\n"
                           f"{result.stdout[-2000:]}{result.stderr[-2000:]}")
    return result


def _kill_group(proc, grace=3.0):
    if proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, signal.SIGTERM)
    except (ProcessLookupError, PermissionError):
        return
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        proc.wait(5)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(predicate, timeout, interval=0.05, what="condition"):
    timeout *= TIME_SCALE
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise HarnessError(f"timed out after {timeout}s waiting for {what}")
        time.sleep(interval)


# ---------------------------------------------------------------- build paths

class BuildPaths:
    """Where the built executables are. The build dir comes from FLASHDECK_BUILD_DIR; the shipped
    32-bit installer, whose file the static checks read, from FLASHDECK_SHIPPED_INSTALLER when the
    tests run against the 64-bit test build."""

    def __init__(self, build_dir, shipped_installer=None):
        self.build_dir = pathlib.Path(build_dir).resolve()
        self.installer = self.build_dir / INSTALLER_NAME
        self.shipped_installer = pathlib.Path(shipped_installer).resolve() if shipped_installer else self.installer
        self.ui_driver = self.build_dir / "tools" / "ui_driver" / "ui_driver.exe"
        self.trust_ca = self.build_dir / "tools" / "trust_ca" / "trust_ca.exe"
        self.demo_app = self.build_dir / "tools" / "demo_app" / "LumidexSSDFlashdeck.exe"
        self.vcredist_stub = self.build_dir / "tools" / "vcredist_stub" / "vcredist_x86.exe"
        self.canary_dll = self.build_dir / "tools" / "canary_dll" / "canary.dll"
        # The private key whose public half the build's installer carries.
        key_path = self.build_dir / "signing" / "key-path.txt"
        self.signing_key = pathlib.Path(key_path.read_text().strip()) if key_path.is_file() else None

    @classmethod
    def discover(cls):
        build_dir = os.environ.get("FLASHDECK_BUILD_DIR", "build/windows")
        path = pathlib.Path(build_dir)
        if not path.is_absolute():
            path = REPO_ROOT / path
        return cls(path, os.environ.get("FLASHDECK_SHIPPED_INSTALLER"))

    def require(self, *names):
        missing = [str(getattr(self, n)) for n in names if not getattr(self, n).is_file()]
        if missing:
            raise HarnessError("not built: " + ", ".join(missing) +
                               f"\n  build with: cmake --preset windows -B {self.build_dir} && "
                               f"cmake --build {self.build_dir} -j2")


class Run:
    """One test run's directory: build/<...>/e2e-runs/run-<time>-<pid>/, or under
    FLASHDECK_E2E_RUNS_DIR (the emulator guest sees the build tree read-only)."""

    def __init__(self, path):
        self.path = pathlib.Path(path)

    @classmethod
    def create(cls, build):
        runs = pathlib.Path(os.environ.get("FLASHDECK_E2E_RUNS_DIR") or build.build_dir / "e2e-runs")
        runs.mkdir(parents=True, exist_ok=True)
        prune_stale_runs(runs)
        path = runs / f"run-{time.strftime('%Y%m%d-%H%M%S')}-{os.getpid()}"
        path.mkdir()
        log(f"run directory {path}")
        return cls(path)


def prune_stale_runs(runs_dir, keep=5):
    """Removes the Wine prefixes that earlier runs left behind (their process is gone), and all
    but the newest `keep` finished run directories: disk is scarce."""
    finished = []
    for entry in sorted(runs_dir.glob("run-*-*")):
        pid = entry.name.rsplit("-", 1)[-1]
        alive = pid.isdigit() and pathlib.Path(f"/proc/{pid}").exists()
        prefixes = entry / "prefixes"
        if alive:
            continue
        finished.append(entry)
        if prefixes.exists():
            log(f"removing stale prefixes of {entry.name}")
            for prefix in prefixes.iterdir():
                stop_wineserver(prefix)
            shutil.rmtree(prefixes, ignore_errors=True)
    for entry in finished[:-keep] if keep else finished:
        shutil.rmtree(entry, ignore_errors=True)


# ---------------------------------------------------------------- X display

class Display:
    def __init__(self, name, proc=None):
        self.name = name
        self.proc = proc
        self.own = proc is not None

    def stop(self):
        if self.proc and self.proc.poll() is None:
            log(f"stopping Xvfb {self.name}")
            _kill_group(self.proc)

    def screenshot(self, path, timeout=30):
        path = pathlib.Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        run(["import", "-window", "root", "-display", self.name, path], timeout=timeout)
        return path


def _display_works(name):
    try:
        return run(["xdpyinfo", "-display", name], timeout=10, check=False).returncode == 0
    except HarnessError:
        return False


def ensure_display(use_existing=True, size="1024x768x24", timeout=20):
    """Uses $DISPLAY when asked and reachable; otherwise starts an Xvfb on a free display number."""
    current = os.environ.get("DISPLAY")
    timeout *= TIME_SCALE
    if use_existing and current and _display_works(current):
        log(f"using display {current}")
        return Display(current)
    read_fd, write_fd = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", size, "-nolisten", "tcp"],
                            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    os.close(write_fd)
    display = Display(None, proc)
    register_cleanup(display.stop)
    number = b""
    deadline = time.monotonic() + timeout
    os.set_blocking(read_fd, False)
    while not number.endswith(b"\n"):
        if proc.poll() is not None or time.monotonic() > deadline:
            os.close(read_fd)
            display.stop()
            raise HarnessError("Xvfb did not start")
        try:
            chunk = os.read(read_fd, 16)
        except BlockingIOError:
            chunk = b""
        if chunk:
            number += chunk
        else:
            time.sleep(0.05)
    os.close(read_fd)
    display.name = f":{number.decode().strip()}"
    log(f"started Xvfb on {display.name} (pid {proc.pid})")
    return display


# ---------------------------------------------------------------- test CA

class TestCA:
    """A CA made for one run and a server certificate for 127.0.0.1 / localhost signed by it."""

    __test__ = False  # not a pytest test class

    def __init__(self, directory):
        d = pathlib.Path(directory)
        self.directory = d
        self.ca_pem = d / "ca.pem"
        self.ca_der = d / "ca.der"
        self.server_cert = d / "server.pem"
        self.server_key = d / "server.key"

    @classmethod
    def create(cls, directory):
        ca = cls(directory)
        d = ca.directory
        d.mkdir(parents=True, exist_ok=True)
        log(f"creating the test CA in {d}")
        stamp = time.strftime("%Y%m%d%H%M%S")
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "30",
             "-keyout", d / "ca.key", "-out", ca.ca_pem,
             "-subj", f"/O=Flashdeck E2E/CN=Flashdeck E2E Test CA {stamp}",
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign"], timeout=60)
        run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", ca.server_key,
             "-out", d / "server.csr", "-subj", "/O=Flashdeck E2E/CN=127.0.0.1"], timeout=60)
        # Wine's certificate check compares the host only with dNSName entries, so 127.0.0.1 is
        # listed as a DNS name as well as an IP address.
        (d / "server.ext").write_text(
            "subjectAltName=IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost\n"
            "basicConstraints=critical,CA:FALSE\n"
            "keyUsage=critical,digitalSignature,keyEncipherment\n"
            "extendedKeyUsage=serverAuth\n")
        run(["openssl", "x509", "-req", "-in", d / "server.csr", "-CA", ca.ca_pem, "-CAkey", d / "ca.key",
             "-CAcreateserial", "-out", ca.server_cert, "-days", "30", "-sha256",
             "-extfile", d / "server.ext"], timeout=60)
        run(["openssl", "x509", "-in", ca.ca_pem, "-outform", "der", "-out", ca.ca_der], timeout=30)
        return ca


# ---------------------------------------------------------------- release tree and server

def build_release_tree(out, releases, offer=None, key=None):
    """releases: [(version, app_dir)]; see tools/make_release.py. Signed with `key`, by default
    the key the build trusts. Returns the tree root."""
    make_release.build_release(out, releases, offer, key or BuildPaths.discover().signing_key)
    return pathlib.Path(out)


class ScriptRelease:
    """A release made by scripts/release.sh, the vendor's command: the tree it wrote, its build
    folder (the unsigned installer, the development code-signing certificate) and what it printed."""

    OUTPUT_FILE = "release-output.txt"

    def __init__(self, tree, build_dir, output):
        self.tree = pathlib.Path(tree)
        self.build_dir = pathlib.Path(build_dir)
        self.output = output
        self.signed_installer = self.tree / INSTALLER_NAME
        self.unsigned_installer = self.build_dir / "installer" / INSTALLER_NAME
        self.codesign_cert = self.build_dir / "keys" / "codesign-cert.pem"

    def archive(self, version):
        return self.tree / make_release.PRODUCT_DIR / "application" / version / make_release.ARCHIVE_NAME


def pe_arch(path):
    """"ia32" or "x64": the machine field of a PE file's header, the release script's --arch."""
    data = pathlib.Path(path).read_bytes()[:4096]
    offset = int.from_bytes(data[0x3C:0x40], "little")
    machine = int.from_bytes(data[offset + 4:offset + 6], "little")
    return {0x14C: "ia32", 0x8664: "x64"}[machine]


def release_with_script(out, build_dir, version, app_dir, key, arch, notes=None, timeout=900):
    """Runs scripts/release.sh as a vendor would; `key` signs the version file and is the one the
    installer built there carries."""
    args = ["bash", REPO_ROOT / "scripts" / "release.sh", "--app-dir", app_dir, "--version", version,
            "--out", out, "--build-dir", build_dir, "--arch", arch]
    if notes is not None:
        args += ["--notes", notes]
    env = {k: v for k, v in os.environ.items() if not k.startswith("FLASHDECK_CODESIGN_")}
    env["FLASHDECK_SIGNING_KEY"] = str(key)
    log(f"release script: {version} ({arch}) into {out}")
    result = run(args, timeout=timeout, env=env)
    (pathlib.Path(build_dir) / ScriptRelease.OUTPUT_FILE).write_text(result.stdout)
    return ScriptRelease(out, build_dir, result.stdout)


def demo_release(run_dir, build, version, app_dir):
    """The demo release by scripts/release.sh, for the architecture of the build under test and
    with the key that build trusts: run_dir/trees/demo, its build folder run_dir/release-build.
    Where FLASHDECK_E2E_PREPARED_RELEASE names a run_dir in which this already ran, that release
    is taken: the emulator guest would need many minutes to build the installer again."""
    prepared = os.environ.get("FLASHDECK_E2E_PREPARED_RELEASE")
    if prepared:
        build_dir = pathlib.Path(prepared) / "release-build"
        output = build_dir / ScriptRelease.OUTPUT_FILE
        if not output.is_file():
            raise HarnessError(f"no prepared release in {prepared}")
        log(f"release script: taking the release prepared in {prepared}")
        return ScriptRelease(pathlib.Path(prepared) / "trees" / "demo", build_dir, output.read_text())
    run_dir = pathlib.Path(run_dir)
    notes = run_dir / "notes" / "notes.pdf"
    notes.parent.mkdir(parents=True, exist_ok=True)
    notes.write_bytes(make_release.release_notes_pdf(version))
    return release_with_script(run_dir / "trees" / "demo", run_dir / "release-build", version, app_dir,
                               build.signing_key, pe_arch(build.installer), notes=notes)


def stage_app_dir(directory, build, extra_files=None):
    """A folder with the demo application and the runtime-installer stand-in, as an archive holds them."""
    d = pathlib.Path(directory)
    d.mkdir(parents=True, exist_ok=True)
    build.require("demo_app", "vcredist_stub")
    shutil.copy2(build.demo_app, d / "LumidexSSDFlashdeck.exe")
    shutil.copy2(build.vcredist_stub, d / "vcredist_x86.exe")
    for name, data in (extra_files or {}).items():
        (d / name).write_bytes(data if isinstance(data, bytes) else data.encode())
    return d


class ReleaseServer:
    """nginx on 127.0.0.1 serving a release tree over HTTPS (and plain HTTP, and a throttled HTTPS
    port for tests that need a slow download). `serve()` switches the tree without a restart."""

    LOG_FORMAT = "$server_port $request_method $uri $status $body_bytes_sent"

    def __init__(self, directory, ca):
        self.directory = pathlib.Path(directory)
        self.ca = ca
        self.proc = None
        self.https_port = self.http_port = self.slow_port = self.proxied_port = None

    @property
    def base_url(self):
        return f"https://127.0.0.1:{self.https_port}/"

    @property
    def http_base_url(self):
        return f"http://127.0.0.1:{self.http_port}/"

    @property
    def slow_base_url(self):
        return f"https://127.0.0.1:{self.slow_port}/"

    # The vendor host as only a proxy reaches it: the machine resolves "localhost" to 127.0.0.1,
    # where nothing listens on this port; the proxy's own name table gives 127.0.0.2, where the
    # server does. The test certificate names localhost.
    PROXIED_ADDRESS = "127.0.0.2"
    PROXIED_HOST = "localhost"

    @property
    def proxied_base_url(self):
        return f"https://{self.PROXIED_HOST}:{self.proxied_port}/"

    def url(self, path):
        return self.base_url + path.lstrip("/")

    @classmethod
    def start(cls, directory, ca, tree, slow_rate="64k", attempts=3):
        server = cls(directory, ca)
        server.directory.mkdir(parents=True, exist_ok=True)
        server.serve(tree)
        for attempt in range(attempts):
            try:
                server._start_once(slow_rate)
                return server
            except HarnessError as error:
                log(f"nginx start failed (attempt {attempt + 1}): {error}")
                server.stop()
        raise HarnessError("nginx did not start")

    def serve(self, tree):
        """Points the server at another tree (atomic symlink swap)."""
        tree = pathlib.Path(tree).resolve()
        link = self.directory / "www"
        tmp = self.directory / "www.new"
        if tmp.is_symlink() or tmp.exists():
            tmp.unlink()
        tmp.symlink_to(tree, target_is_directory=True)
        os.replace(tmp, link)
        self.tree = tree

    def _start_once(self, slow_rate):
        d = self.directory
        for sub in ("tmp", "logs"):
            (d / sub).mkdir(exist_ok=True)
        self.https_port, self.http_port, self.slow_port = free_port(), free_port(), free_port()
        self.proxied_port = free_port()
        www = d / "www"
        tls = (f"ssl_certificate {self.ca.server_cert}; ssl_certificate_key {self.ca.server_key}; "
               "ssl_protocols TLSv1.2 TLSv1.3;")
        conf = f"""
worker_processes 1;
master_process off;
pid {d}/nginx.pid;
error_log {d}/logs/error.log info;
events {{ worker_connections 64; }}
http {{
    log_format e2e '{self.LOG_FORMAT}';
    access_log {d}/logs/access.log e2e;
    client_body_temp_path {d}/tmp/body;
    proxy_temp_path {d}/tmp/proxy;
    fastcgi_temp_path {d}/tmp/fastcgi;
    uwsgi_temp_path {d}/tmp/uwsgi;
    scgi_temp_path {d}/tmp/scgi;
    types {{ application/xml xml; application/pdf pdf; application/zip zip; }}
    default_type application/octet-stream;
    sendfile off;
    etag off;
    server {{ listen 127.0.0.1:{self.https_port} ssl; server_name localhost; {tls} root {www}; }}
    server {{ listen 127.0.0.1:{self.http_port}; server_name localhost; root {www}; }}
    server {{ listen 127.0.0.1:{self.slow_port} ssl; server_name localhost; {tls} root {www};
             limit_rate {slow_rate}; limit_rate_after 0; }}
    server {{ listen {self.PROXIED_ADDRESS}:{self.proxied_port} ssl; server_name localhost; {tls} root {www}; }}
}}
"""
        conf_path = d / "nginx.conf"
        conf_path.write_text(conf)
        self.proc = subprocess.Popen(
            ["nginx", "-p", str(d), "-e", str(d / "logs" / "error.log"), "-c", str(conf_path), "-g", "daemon off;"],
            stdout=subprocess.DEVNULL, stderr=open(d / "logs" / "stderr.log", "ab"), start_new_session=True)
        register_cleanup(self.stop)

        def listening():
            if self.proc.poll() is not None:
                raise HarnessError(f"nginx exited: {(d / 'logs' / 'stderr.log').read_text()[-1500:]}")
            for address, port in (("127.0.0.1", self.https_port), ("127.0.0.1", self.http_port),
                                  ("127.0.0.1", self.slow_port), (self.PROXIED_ADDRESS, self.proxied_port)):
                try:
                    socket.create_connection((address, port), timeout=0.5).close()
                except OSError:
                    return False
            return True

        wait_until(listening, 10, what="nginx to listen")
        log(f"release server on {self.base_url} (http {self.http_port}, slow {self.slow_port}) serving {self.tree}")

    def requests(self):
        """The requests served so far: list of dicts port, method, path, status, bytes."""
        path = self.directory / "logs" / "access.log"
        out = []
        if path.exists():
            for line in path.read_text().splitlines():
                parts = line.split(" ")
                if len(parts) == 5:
                    out.append({"port": int(parts[0]), "method": parts[1], "path": parts[2],
                                "status": int(parts[3]), "bytes": int(parts[4])})
        return out

    def stop(self):
        if self.proc and self.proc.poll() is None:
            log("stopping nginx")
            _kill_group(self.proc)
        unregister_cleanup(self.stop)


class ProxyServer:
    """squid on 127.0.0.1 as a company's forward proxy: its own name table (`hosts`: name ->
    address), optionally basic sign-in for one user. `tunnels()` reads its access log."""

    HTPASSWD = "/usr/lib/squid/basic_ncsa_auth"

    def __init__(self, directory):
        self.directory = pathlib.Path(directory)
        self.proc = None
        self.port = None

    @property
    def address(self):
        return f"127.0.0.1:{self.port}"

    @classmethod
    def start(cls, directory, hosts, user=None, password=None, timeout=30):
        proxy = cls(directory)
        d = proxy.directory
        d.mkdir(parents=True, exist_ok=True)
        # squid started by root works as the user "proxy": its logs go where that user may write.
        d.chmod(0o777)
        (d / "hosts").write_text("".join(f"{address} {name}\n" for name, address in hosts.items()))
        sign_in = ""
        if user:
            digest = subprocess.run(["openssl", "passwd", "-apr1", "-stdin"], input=password, capture_output=True,
                                    text=True, check=True, timeout=30).stdout.strip()
            (d / "passwd").write_text(f"{user}:{digest}\n")
            sign_in = (f"auth_param basic program {cls.HTPASSWD} {d}/passwd\n"
                       "auth_param basic realm Flashdeck test proxy\n"
                       "acl signed proxy_auth REQUIRED\n"
                       "http_access allow signed\n")
        proxy.port = free_port()
        (d / "squid.conf").write_text(f"""
http_port 127.0.0.1:{proxy.port}
pid_filename {d}/squid.pid
access_log stdio:{d}/access.log squid
cache_log {d}/cache.log
cache_store_log none
cache deny all
cache_mem 8 MB
hosts_file {d}/hosts
dns_nameservers 127.0.0.1
pinger_enable off
coredump_dir {d}
shutdown_lifetime 0 seconds
logfile_rotate 0
{sign_in}http_access {"deny" if user else "allow"} all
""")
        proxy.proc = subprocess.Popen(["squid", "-N", "-f", str(d / "squid.conf")], stdin=subprocess.DEVNULL,
                                      stdout=open(d / "stdout.log", "ab"), stderr=subprocess.STDOUT,
                                      start_new_session=True)
        register_cleanup(proxy.stop)

        def listening():
            if proxy.proc.poll() is not None:
                raise HarnessError(f"squid exited: {(d / 'stdout.log').read_text()[-1500:]}")
            try:
                socket.create_connection(("127.0.0.1", proxy.port), timeout=0.5).close()
                return True
            except OSError:
                return False

        wait_until(listening, timeout, what="squid to listen")
        log(f"proxy on {proxy.address}{' with sign-in' if user else ''}, names {hosts}")
        return proxy

    def log_lines(self):
        path = self.directory / "access.log"
        return path.read_text().splitlines() if path.exists() else []

    def tunnels(self):
        """The CONNECT requests: list of dicts result ("TCP_TUNNEL/200"), target, user, peer."""
        out = []
        for line in self.log_lines():
            parts = line.split()
            if len(parts) >= 10 and parts[5] == "CONNECT":
                out.append({"result": parts[3], "target": parts[6], "user": parts[7], "peer": parts[8]})
        return out

    def stop(self):
        if self.proc and self.proc.poll() is None:
            _kill_group(self.proc)
        unregister_cleanup(self.stop)


class FaultServer:
    """tools/fault_server.py over HTTPS with the run's test CA. A base URL picks the fault by its
    first path segments (see the server's --help), e.g. `url("404")` or `url("drop", "big")`;
    files placed under `root` are served as they are (after the option segments)."""

    SCRIPT = REPO_ROOT / "tools" / "fault_server.py"

    def __init__(self, directory, ca):
        self.directory = pathlib.Path(directory)
        self.ca = ca
        self.root = self.directory / "root"
        self.log_path = self.directory / "requests.log"
        self.proc = None
        self.port = None

    @classmethod
    def start(cls, directory, ca, version="3.0.3.0", timeout=20):
        server = cls(directory, ca)
        server.root.mkdir(parents=True, exist_ok=True)
        port_file = server.directory / "port.txt"
        with open(port_file, "wb") as out:
            server.proc = subprocess.Popen(
                ["/usr/bin/python3", str(cls.SCRIPT), "--host", "127.0.0.1", "--port", "0",
                 "--cert", str(ca.server_cert), "--key", str(ca.server_key), "--root", str(server.root),
                 "--version", version, "--log", str(server.log_path)],
                stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL, start_new_session=True)
        register_cleanup(server.stop)

        def port_known():
            if server.proc.poll() is not None:
                raise HarnessError("the fault server exited at start")
            text = port_file.read_text().strip()
            return int(text) if text.isdigit() else None

        server.port = wait_until(port_known, timeout, what="the fault server's port")
        log(f"fault server on https://127.0.0.1:{server.port}/ (root {server.root})")
        return server

    def url(self, *segments):
        """The base URL https://127.0.0.1:PORT/seg1/seg2/ (ends in "/")."""
        path = "".join(f"{s.strip('/')}/" for s in segments)
        return f"https://127.0.0.1:{self.port}/{path}"

    def requests(self):
        """The request paths received so far, in order."""
        return self.log_path.read_text().splitlines() if self.log_path.exists() else []

    def stop(self):
        if self.proc and self.proc.poll() is None:
            _kill_group(self.proc)
        unregister_cleanup(self.stop)


# ---------------------------------------------------------------- Wine prefixes

def wine_env(prefix, display=None):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": str(prefix),
        "WINEARCH": "win64",
        "WINEDEBUG": os.environ.get("FLASHDECK_E2E_WINEDEBUG", "-all"),  # Wine's own diagnostics when asked
        # The menu builder would turn desktop shortcuts into host entries and may remove them;
        # Mono and Gecko installers are not needed and would slow down wineboot.
        "WINEDLLOVERRIDES": "winemenubuilder.exe=;mscoree,mshtml=",
    })
    env.pop("WINESERVER", None)
    if display:
        env["DISPLAY"] = display.name if isinstance(display, Display) else display
    return env


def prefix_booted(prefix):
    """Whether wineboot finished the prefix: it writes the time stamp last, and the 32-bit
    half (syswow64, empty where 32-bit programs cannot run) is what a 32-bit build needs."""
    prefix = pathlib.Path(prefix)
    parts = [".update-timestamp", "system.reg", "drive_c/windows/system32/kernel32.dll"]
    if os.environ.get("FLASHDECK_WINE_BITS") != "64":
        parts.append("drive_c/windows/syswow64/kernel32.dll")
    return all((prefix / part).exists() for part in parts)


def stop_wineserver(prefix, timeout=30):
    """Kills everything that runs in the prefix and waits for its wineserver to end."""
    prefix = pathlib.Path(prefix)
    if not (prefix / "system.reg").exists():
        return
    env = wine_env(prefix)
    try:
        run(["wineserver", "-k"], timeout=timeout, env=env, check=False)
        run(["wineserver", "-w"], timeout=timeout, env=env, check=False)
    except HarnessError as error:
        log(f"wineserver of {prefix} did not stop: {error}")


class PrefixTemplate:
    """A prefix made once per run (wineboot, the test CA trusted, optional virtual desktop);
    each scenario gets a copy of it."""

    def __init__(self, path, build, display, virtual_desktop):
        self.path = pathlib.Path(path)
        self.build = build
        self.display = display
        self.virtual_desktop = virtual_desktop

    @classmethod
    def create(cls, path, build, ca, display, virtual_desktop=None):
        """virtual_desktop: "1024x768" draws every window framed inside one Wine desktop (what
        screenshots should show); None keeps bare windows. Defaults to on for our own Xvfb."""
        if virtual_desktop is None and display is not None and display.own:
            virtual_desktop = "1024x768"
        template = cls(path, build, display, virtual_desktop)
        build.require("trust_ca")
        template.path.parent.mkdir(parents=True, exist_ok=True)
        if template.path.exists():
            stop_wineserver(template.path)
            shutil.rmtree(template.path)
        register_cleanup(lambda: remove_prefix(template.path))
        env = wine_env(template.path, display)
        log(f"creating the template prefix {template.path} (wineboot -i)")
        started = time.monotonic()
        for attempt in range(1, 4):
            # Minutes where 32-bit parts run emulated. Wine waits five minutes for a new prefix to
            # boot and then fails with "could not load kernel32.dll"; an emulated processor that
            # shares the machine can need longer. The next attempt, on a quieter machine, gets through.
            result = run([WINE, "wineboot", "-i"], timeout=900, env=env, check=False)
            if result.returncode == 0:
                break
            log(f"wineboot failed (exit code {result.returncode}, attempt {attempt}): {result.stderr.strip()[-300:]}")
            # Wine gave up waiting, not booting: the boot goes on in the background. A prefix it
            # completes is as good as one made in one go, and starting again would only meet the
            # same five minutes on the same busy machine.
            try:
                run(["wineserver", "-w"], timeout=120, env=env, check=False)
            except HarnessError as error:
                log(f"the background boot did not end: {error}")
            if prefix_booted(template.path):
                log("the background boot completed the prefix")
                break
            # Otherwise end what is left, also where the prefix has no registry yet (which
            # stop_wineserver takes for no prefix at all), and start again.
            run(["wineserver", "-k"], timeout=60, env=env, check=False)
            run(["wineserver", "-w"], timeout=60, env=env, check=False)
            shutil.rmtree(template.path, ignore_errors=True)
        else:
            raise HarnessError("wineboot did not make the template prefix in three attempts")
        run(["wineserver", "-w"], timeout=120, env=env, check=False)
        if not (template.path / "drive_c" / "Program Files (x86)").is_dir():
            raise HarnessError("the new prefix has no 'Program Files (x86)': is it 64-bit?")
        detach_profile_folders(template.path)
        # Wine's services stay up between the two steps below instead of starting twice.
        subprocess.run(["wineserver", "-p"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30, check=False)
        result = run([WINE, build.trust_ca, ca.ca_der], timeout=120, env=env)
        log(result.stdout.strip())
        # The same fonts as the Windows tests' prefix (a stand-in for "Segoe UI" and linked CJK
        # fonts) and the virtual desktop, in one import: each Wine start costs seconds, and
        # minutes where 32-bit programs run emulated.
        settings = TEST_FONTS_REG.read_text()
        if virtual_desktop:
            settings += ('\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\n"Desktop"="Lumidex"\n'
                         f'\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n"Lumidex"="{virtual_desktop}"\n')
        settings_file = template.path.with_name("template-settings.reg")
        settings_file.write_text(settings)
        run([WINE, "reg", "import", "Z:" + str(settings_file).replace("/", "\\")], timeout=60, env=env)
        stop_wineserver(template.path)
        log(f"template prefix ready in {time.monotonic() - started:.0f}s")
        return template

    def clone(self, path, display=None):
        """A fresh copy of the template (cp -a). Close the returned Machine to delete it."""
        path = pathlib.Path(path)
        if path.exists():
            stop_wineserver(path)
            shutil.rmtree(path)
        started = time.monotonic()
        run(["cp", "-a", self.path, path], timeout=300)
        log(f"cloned prefix {path.name} in {time.monotonic() - started:.1f}s")
        return Machine(path, self.build, display or self.display)


def detach_profile_folders(prefix):
    """Wine links Desktop, Downloads, Documents ... to the host's home folder. Every prefix would
    then share one desktop (shortcuts of parallel scenarios meet there) and write into the host's
    home: each link that leads out of the prefix becomes an empty folder of its own."""
    prefix = pathlib.Path(prefix)
    inside = os.path.realpath(prefix) + os.sep
    for profile in (prefix / "drive_c" / "users").iterdir():
        if not profile.is_dir() or profile.is_symlink():
            continue
        for entry in profile.iterdir():
            if entry.is_symlink() and not os.path.realpath(entry).startswith(inside):
                entry.unlink()
                entry.mkdir()


def remove_prefix(path):
    path = pathlib.Path(path)
    if path.exists():
        stop_wineserver(path)
        shutil.rmtree(path, ignore_errors=True)


# ---------------------------------------------------------------- background Wine processes

class _LineReader:
    """Collects the JSON lines that a background `wine ui_driver.exe ...` writes to its output file
    (a file, not a pipe: see `run`)."""

    def __init__(self, proc, path):
        self.proc = proc
        self.path = path
        self.lines = queue.Queue()
        self.events = []
        self._thread = threading.Thread(target=self._pump, daemon=True)
        self._thread.start()

    def _pump(self):
        with open(self.path, "rb") as stream:
            pending = b""
            while True:
                chunk = stream.read()
                if chunk:
                    pending += chunk
                    *complete, pending = pending.split(b"\n")
                    for raw in complete:
                        self._take_line(raw)
                    continue
                if self.proc.poll() is not None:
                    rest = stream.read()
                    for raw in (pending + rest).split(b"\n"):
                        self._take_line(raw)
                    break
                time.sleep(0.02)
        self.lines.put(None)

    def _take_line(self, raw):
        text = raw.decode("utf-8", "replace").strip()
        if not text.startswith("{"):
            return
        try:
            event = json.loads(text)
        except json.JSONDecodeError:
            return
        self.events.append(event)
        self.lines.put(event)

    def finished(self):
        return not self._thread.is_alive()

    def next(self, timeout):
        try:
            return self.lines.get(timeout=timeout) if timeout > 0 else self.lines.get_nowait()
        except queue.Empty:
            return None


class InstallerProcess:
    """The process that a scenario started. `pid` is its Windows process id; `wait` its exit code."""

    def __init__(self, machine, started, exe_win, command_line):
        self.machine = machine
        self.proc, output = started
        self.exe_win = exe_win
        self.command_line = command_line
        self._reader = _LineReader(self.proc, output)
        self._started = None
        self._exit = None

    def _take(self, timeout):
        event = self._reader.next(timeout)
        if event is None:
            return False
        if event.get("event") == "started":
            self._started = event
        elif event.get("event") == "exit":
            self._exit = event
        elif event.get("ok") is False:
            raise HarnessError(f"launch failed: {event.get('error')}")
        return True

    @property
    def pid(self):
        deadline = time.monotonic() + 60 * TIME_SCALE
        while self._started is None:
            if self._take(1.0):
                continue
            if self.proc.poll() is not None and self._reader.lines.empty() or time.monotonic() > deadline:
                raise HarnessError("the launcher did not start the program")
        return self._started["pid"]

    def wait(self, timeout=60):
        """The Windows exit code of the started process; HarnessError if it runs past `timeout` s."""
        timeout *= TIME_SCALE
        deadline = time.monotonic() + timeout
        while self._exit is None:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise HarnessError(f"{self.exe_win} still runs after {timeout}s")
            if not self._take(min(remaining, 1.0)) and self.proc.poll() is not None and self._exit is None:
                raise HarnessError("the launcher ended without reporting an exit code")
        return self._exit["exit_code"]

    def running(self):
        while self._exit is None and self._take(0):
            pass
        return self._exit is None and self.proc.poll() is None

    def wait_window(self, timeout=60, window_class=WINDOW_CLASS):
        """The `list` result of the first visible window of the class, once it shows; fails at
        once when this process ends first, with its exit code, instead of waiting out `timeout`."""
        def check():
            if not self.running():
                code = self._exit["exit_code"] if self._exit else "unknown"
                raise HarnessError(f"{self.exe_win} ended (exit code {code}) before a {window_class} window showed")
            ui = self.machine.driver("list", "--class", window_class, check=False)
            return ui if isinstance(ui, dict) and ui.get("ok") else None
        return wait_until(check, timeout, interval=0.2, what=f"a {window_class} window of {self.exe_win}")

    def stop(self):
        _kill_group(self.proc)


class ProgressWatch:
    """Background `watch-progress`: the positions of the installer's progress bar over time."""

    def __init__(self, started):
        self.proc, output = started
        self._reader = _LineReader(self.proc, output)
        first = self._reader.next(60 * TIME_SCALE)
        if first is None or first.get("ok") is False:
            self.stop()
            raise DriverError(f"watch-progress did not start: {first}", first)

    def result(self, timeout=120):
        """Waits for the watch to end; returns {"positions": [...], "events": [...], "reason": ...}."""
        timeout *= TIME_SCALE
        deadline = time.monotonic() + timeout
        while True:
            end = next((e for e in self._reader.events if e.get("event") == "end"), None)
            if end is not None:
                break
            # The reader thread ends after the last line of an ended watch: only then is it all read.
            if time.monotonic() > deadline or (self.proc.poll() is not None and self._reader.finished()):
                self.stop()
                end = next((e for e in self._reader.events if e.get("event") == "end"), None)
                if end is None:
                    raise HarnessError("watch-progress did not finish")
                break
            self._reader.next(0.2)
        events = [e for e in self._reader.events if e.get("event") == "pos"]
        return {"positions": [e["pos"] for e in events], "events": events, "reason": end.get("reason"),
                "ok": end.get("ok"), "hooked": end.get("hooked")}

    def positions_so_far(self):
        """The positions seen until now, while the watch goes on."""
        return [e["pos"] for e in list(self._reader.events) if e.get("event") == "pos"]

    def wait_for(self, predicate, timeout=60, what="a progress position"):
        """Waits until predicate(positions so far) is true; returns those positions."""
        found = []

        def check():
            found[:] = self.positions_so_far()
            return predicate(found)
        wait_until(check, timeout, interval=0.02, what=what)
        return found

    def stop(self):
        _kill_group(self.proc)


# ---------------------------------------------------------------- Machine

class RegValue:
    def __init__(self, type_, data):
        self.type = type_
        self.data = data

    def __repr__(self):
        return f"RegValue({self.type}, {self.data!r})"

    def __eq__(self, other):
        if isinstance(other, RegValue):
            return (self.type, self.data) == (other.type, other.data)
        return self.data == other


class DriverSession:
    """One `wine ui_driver.exe serve` of a prefix. The commands go in over its standard input and
    their lines come back over its output, ended by {"served": exit code}: a question to the window
    then costs no Wine start, which takes seconds in the emulator guest."""

    def __init__(self, machine):
        machine.log_dir.mkdir(parents=True, exist_ok=True)
        machine._counter += 1
        self.err_path = machine.log_dir / f"bg-{machine._counter:03d}-serve.err"
        with open(self.err_path, "wb") as err:
            self.proc = subprocess.Popen([WINE, str(machine.build.ui_driver), "serve"], env=machine.env,
                                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=err,
                                         start_new_session=True)
        self._buffer = b""

    def alive(self):
        return self.proc.poll() is None

    def call(self, args, timeout):
        """(exit code, output lines) of one command; (None, lines so far) when the driver ended."""
        if any("\t" in a or "\n" in a for a in args):
            raise HarnessError(f"a driver argument holds a tab or a line break: {args!r}")
        try:
            self.proc.stdin.write(("\t".join(args) + "\n").encode("utf-8"))
            self.proc.stdin.flush()
        except (BrokenPipeError, ValueError):
            return None, []
        deadline = time.monotonic() + timeout
        lines = []
        while True:
            while b"\n" not in self._buffer:
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    self.stop()
                    raise HarnessError(f"timed out after {timeout}s: ui_driver {' '.join(args)}")
                # Wine's own background processes may hold the pipe open after the driver ended:
                # its end is seen by its exit, not by the pipe's.
                if select.select([self.proc.stdout], [], [], min(remaining, 1.0))[0]:
                    chunk = os.read(self.proc.stdout.fileno(), 65536)
                    if not chunk:
                        return None, lines
                    self._buffer += chunk
                elif self.proc.poll() is not None:
                    return None, lines
            raw, self._buffer = self._buffer.split(b"\n", 1)
            line = raw.decode("utf-8", "replace").rstrip("\r")
            if line.startswith('{"served":'):
                return json.loads(line)["served"], lines
            lines.append(line)

    def stderr_tail(self):
        return self.err_path.read_text(errors="replace").strip()[-500:] if self.err_path.exists() else ""

    def stop(self):
        _kill_group(self.proc, grace=1)
        for stream in (self.proc.stdin, self.proc.stdout):
            try:
                stream.close()
            except OSError:
                pass


class Machine:
    """One scenario's Windows machine: a Wine prefix with its own wineserver."""

    def __init__(self, prefix, build, display):
        self.prefix = pathlib.Path(prefix)
        self.build = build
        self.display = display
        self.env = wine_env(self.prefix, display)
        self._children = []
        self._counter = 0
        self._session = None
        self._session_lock = threading.Lock()
        self.log_dir = self.prefix.with_name(self.prefix.name + "-logs")
        self._temp = None
        self._user_dir = None
        self._closed = False
        self._cleanup = register_cleanup(self.close)
        # A persistent wineserver: every driver call then starts in a fraction of a second.
        subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30, check=False)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # -- processes

    def wine(self, *args, timeout=60, check=True, extra_env=None):
        env = dict(self.env, **(extra_env or {}))
        return run([WINE, *args], timeout=timeout, env=env, check=check)

    def _popen(self, args, extra_env=None):
        """Starts `wine args...` in the background; returns (process, path of its output file).
        What Wine and its children print on standard error is kept beside it (".err")."""
        env = dict(self.env, **(extra_env or {}))
        self.log_dir.mkdir(parents=True, exist_ok=True)
        self._counter += 1
        output = self.log_dir / f"bg-{self._counter:03d}.jsonl"
        with open(output, "wb") as out, open(f"{output}.err", "wb") as err:
            proc = subprocess.Popen([WINE, *map(str, args)], env=env, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err, start_new_session=True)
        self._children.append(proc)
        return proc, output

    def _driver_session(self):
        if self._session is None or not self._session.alive():
            self._session = DriverSession(self)
        return self._session

    def _end_driver_session(self):
        """Ends the driver's session; the next command starts a new one. Hold _session_lock."""
        if self._session is not None:
            self._session.stop()
            self._session = None

    def driver(self, *args, timeout=None, check=True):
        """Runs ui_driver with `args`; returns its JSON (a dict, or a list for several lines)."""
        args = [str(a) for a in args]
        if timeout is None:
            timeout = 60
            if "--timeout" in args:
                timeout += int(args[args.index("--timeout") + 1]) / 1000
        if "--timeout" in args:
            at = args.index("--timeout") + 1
            args[at] = str(int(int(args[at]) * TIME_SCALE))
        if args and args[0] == "click":
            args[1:] = [str(CONTROL_INDEX.get(a, a)) for a in args[1:]]
        with self._session_lock:
            session = self._driver_session()
            code, lines = session.call(args, timeout * TIME_SCALE)
            if code is None:
                # The driver ended under the command (the prefix's processes were killed, or Wine
                # failed): the next command starts a new one.
                log(f"ui_driver serve ended during {' '.join(args)}: {session.stderr_tail()}")
                self._end_driver_session()
        objects = [json.loads(line) for line in lines if line.startswith("{")]
        output = objects[0] if len(objects) == 1 else objects
        if check and code != 0:
            message = objects[-1].get("error") if objects else session.stderr_tail()
            raise DriverError(f"ui_driver {' '.join(args)}: {message}", output)
        return output

    def watch_progress(self, timeout_ms=120000, until_gone=False, until=None, window_class=WINDOW_CLASS, hook=True):
        """Starts watching the progress bar in the background; returns once the watch has begun.

        hook=True places a message hook on the installer's thread, which sees every position it
        sets (also during a download); hook=False polls, which sees only the positions that stand
        while the installer dispatches messages."""
        args = [self.build.ui_driver, "watch-progress", "--class", window_class, "--timeout",
                str(int(timeout_ms * TIME_SCALE))]
        if not hook:
            args.append("--no-hook")
        if until_gone:
            args.append("--until-gone")
        if until is not None:
            args += ["--until", str(until)]
        return ProgressWatch(self._popen(args))

    def start_installer(self, args=(), location="temp", name=INSTALLER_NAME, exe=None, cwd=None, beside=None,
                        extra_env=None, swap_with=None):
        """Copies the installer into the prefix and starts it with exactly the given arguments.

        beside: {file name: host path} copied next to the installer first (planted files);
        extra_env: variables for the installer's environment (and Wine's, such as WINEDLLOVERRIDES).
        swap_with: a Windows path of another program: the installer is started suspended, its file
        renamed and that program copied under its name, then it is resumed.

        args: joined with blanks into the Windows command line as they are (so '"https://..."'
        keeps its quotes); location: "temp" (the user's temporary folder: the installer counts as
        its own relaunched copy and its exit code is the real one), "downloads", or a Windows folder.
        """
        source = pathlib.Path(exe) if exe else self.build.installer
        if not source.is_file():
            raise HarnessError(f"not built: {source}")
        if location == "temp":
            folder_win = self.temp_dir()[1]
        elif location == "downloads":
            folder_win = self.user_dir_win() + r"\Downloads"
        else:
            folder_win = location
        folder_host = self.win_path_to_host(folder_win)
        folder_host.mkdir(parents=True, exist_ok=True)
        shutil.copy2(source, folder_host / name)
        for planted, origin in (beside or {}).items():
            shutil.copy2(origin, folder_host / planted)
        exe_win = folder_win.rstrip("\\") + "\\" + name
        command_line = " ".join(str(a) for a in args)
        self.ensure_desktop()
        log(f"starting {exe_win} {command_line}")
        swap = ["--swap-with", swap_with] if swap_with else []
        proc = self._popen([self.build.ui_driver, "launch", exe_win, "--cwd", cwd or folder_win] + swap,
                           extra_env=dict(extra_env or {}, FLASHDECK_E2E_ARGS=command_line))
        return InstallerProcess(self, proc, exe_win, command_line)

    def start_program(self, exe_win, args="", cwd=None):
        """Starts any program of the prefix (Windows path) with an exact argument string."""
        self.ensure_desktop()
        proc = self._popen([self.build.ui_driver, "launch", exe_win] + (["--cwd", cwd] if cwd else []),
                           extra_env={"FLASHDECK_E2E_ARGS": args})
        return InstallerProcess(self, proc, exe_win, args)

    def ensure_desktop(self, attempts=3):
        """Makes sure Wine's desktop process runs before a program starts, as the desktop always
        does on Windows. Wine starts it for the first program that needs it (the driver's
        session does that); in the emulator guest it was seen missing, and an installer then
        never showed its window."""
        for attempt in range(attempts):
            if self.runs("explorer.exe"):
                return
            log(f"the desktop process is not running (attempt {attempt + 1}): a new driver session starts it")
            with self._session_lock:
                self._end_driver_session()
            try:
                wait_until(lambda: self.runs("explorer.exe"), 30, interval=0.5, what="the desktop process")
                return
            except HarnessError as error:
                log(str(error))
        raise HarnessError(f"Wine's desktop process did not start in {attempts} attempts")

    def watch_exit(self, pid):
        """Follows a process that something else started (e.g. the relaunched copy): `.pid` returns
        once its handle is held, `.wait(timeout)` gives its exit code."""
        proc = self._popen([self.build.ui_driver, "wait-exit", "--pid", pid])
        watch = InstallerProcess(self, proc, f"process {pid}", "")
        watch.pid  # noqa: B018  (returns once the handle is open, raises if it cannot be)
        return watch

    def wait_ui(self, predicate, timeout=30, window_class=WINDOW_CLASS, what="the window to change", program=None):
        """Lists the window until predicate(list result) is true; returns that result.
        program: a file name of which a process must run meanwhile (fails at once when none does)."""
        def check():
            if program and not self.runs(program):
                raise HarnessError(f"no {program} runs any more while waiting for {what}")
            ui = self.driver("list", "--class", window_class, check=False)
            return ui if isinstance(ui, dict) and ui.get("ok") and predicate(ui) else None
        return wait_until(check, timeout, interval=0.2, what=what)

    def processes(self):
        return self.driver("processes")["processes"]

    def runs(self, program):
        """Whether a process of this file name (any case) runs in the prefix."""
        return any(p["name"].lower() == program.lower() for p in self.processes())

    def messagebox(self, timeout_ms=10000):
        return self.driver("messagebox", "--timeout", timeout_ms)

    def dismiss(self, button=None, timeout_ms=10000):
        args = ["dismiss", "--timeout", timeout_ms] + (["--button", button] if button else [])
        return self.driver(*args)

    def control(self, ui, name):
        """The control `name` (see CONTROL_INDEX) from a `list` result."""
        return ui["controls"][CONTROL_INDEX[name]]

    # -- paths

    INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"

    def use_proxy(self, address, bypass=None):
        """The user's Internet settings, as the Internet Options dialog writes them: a manual proxy
        (host:port) for every scheme, and the bypass list; address None turns the proxy off."""
        key = self.INTERNET_SETTINGS
        self.reg_add(key, "ProxyEnable", 1 if address else 0, "REG_DWORD")
        if address:
            self.reg_add(key, "ProxyServer", address)
        if bypass is not None:
            self.reg_add(key, "ProxyOverride", bypass)

    def temp_dir(self):
        """The prefix user's %TEMP%: (host path, Windows path)."""
        if self._temp is None:
            variables = self.driver("environment", "TEMP", "USERPROFILE")["variables"]
            temp, self._user_dir = variables["TEMP"], variables["USERPROFILE"]
            self._temp = (self.win_path_to_host(temp), temp)
        return self._temp

    def user_dir_win(self):
        """The prefix user's profile folder (%USERPROFILE%), as a Windows path."""
        self.temp_dir()
        return self._user_dir

    def win_path_to_host(self, path):
        """C:\\... and Z:\\... to host paths, matching existing components case-insensitively."""
        path = path.replace("/", "\\")
        match = re.match(r"^([A-Za-z]):\\?(.*)$", path)
        if not match:
            raise HarnessError(f"not an absolute Windows path: {path}")
        drive, rest = match.group(1).lower(), match.group(2)
        base = self.prefix / "drive_c" if drive == "c" else pathlib.Path(
            os.path.realpath(self.prefix / "dosdevices" / f"{drive}:"))
        current = base
        for part in [p for p in rest.split("\\") if p]:
            exact = current / part
            if not exact.exists() and current.is_dir():
                found = next((c for c in current.iterdir() if c.name.lower() == part.lower()), None)
                exact = found or exact
            current = exact
        return current

    def host_path_to_win(self, path):
        path = pathlib.Path(path).resolve()
        drive_c = (self.prefix / "drive_c").resolve()
        try:
            return "C:\\" + str(path.relative_to(drive_c)).replace("/", "\\")
        except ValueError:
            return "Z:" + str(path).replace("/", "\\")

    def program_files_x86(self):
        return self.prefix / "drive_c" / "Program Files (x86)"

    def install_dir(self):
        return self.program_files_x86() / "Lumidex" / "SSD Flashdeck"

    def desktop_dir(self):
        return self.win_path_to_host(self.user_dir_win() + r"\Desktop")

    def link_desktop(self, target):
        """Makes the user's Desktop a symbolic link to `target`, a folder of the test's own outside
        the prefix (never the host's home), as a fresh prefix links it to the home folder and as a
        Desktop moved with `mklink /J` is on Windows."""
        target = pathlib.Path(target)
        target.mkdir(parents=True, exist_ok=True)
        desktop = self.desktop_dir()
        if desktop.is_symlink() or desktop.is_file():
            desktop.unlink()
        elif desktop.exists():
            shutil.rmtree(desktop)
        desktop.symlink_to(target, target_is_directory=True)
        return target

    def shortcut_path(self):
        return self.desktop_dir() / "Lumidex SSD Flashdeck.lnk"

    def read_shortcut(self, path):
        """target, working_dir, icon, icon_index, arguments of a .lnk (read through the shell's link object)."""
        path = pathlib.Path(path)
        win = self.host_path_to_win(path) if path.is_absolute() and str(path).startswith("/") else str(path)
        return self.driver("shortcut", win)

    def read_lines(self, win_path):
        host = self.win_path_to_host(win_path)
        return host.read_text(encoding="utf-8").splitlines() if host.exists() else []

    def vcredist_calls(self):
        return self.read_lines(VCREDIST_LOG)

    def demo_app_starts(self):
        return self.read_lines(DEMO_APP_LOG)

    # -- registry (32-bit view)

    def reg_query(self, key, value=None):
        """A value of `key` in the 32-bit view as RegValue(type, data), or None when missing.
        value=None reads the default value. DWORDs come back as int."""
        values = self.reg_values(key)
        name = (value or "").lower()
        return next((data for found, data in (values or {}).items() if found.lower() == name), None)

    def reg_values(self, key):
        """All values of `key` in the 32-bit view, {name: RegValue}; None when the key is missing.
        A driver that cannot answer raises: a harness fault never reads as a missing value."""
        answer = self.driver("reg-read", key)
        if not answer["exists"]:
            return None
        return {v["name"]: RegValue(v["type"], v["data"]) for v in answer["values"]}

    def reg_key_exists(self, key):
        return self.driver("reg-read", key)["exists"]

    def reg_add(self, key, value, data, type_="REG_SZ"):
        self.driver("reg-write", key, value, type_, data)

    def reg_delete(self, key, value=None):
        """Deletes the value, or the key with all below it; False when there was nothing to delete."""
        return self.driver("reg-delete", key, *([] if value is None else [value]))["deleted"]

    # -- display

    def screenshot(self, path):
        if self.display is None:
            raise HarnessError("no display")
        return self.display.screenshot(path)

    # -- teardown

    def kill_all(self):
        """Ends every process of the prefix (wineserver -k) and waits for the server to go."""
        with self._session_lock:
            self._end_driver_session()
        for proc in self._children:
            _kill_group(proc, grace=1)
        self._children.clear()
        stop_wineserver(self.prefix)

    def close(self, keep=False):
        if self._closed:
            return
        self._closed = True
        unregister_cleanup(self._cleanup)
        self.kill_all()
        if not keep:
            shutil.rmtree(self.prefix, ignore_errors=True)
            log(f"removed prefix {self.prefix.name}")


if __name__ == "__main__":
    # prepare-release DIR: the demo release of FLASHDECK_BUILD_DIR's installer, for a later
    # FLASHDECK_E2E_PREPARED_RELEASE=DIR run (scripts/test-in-guest.sh).
    if len(sys.argv) != 3 or sys.argv[1] != "prepare-release":
        sys.exit("usage: e2e_env.py prepare-release DIR")
    target = pathlib.Path(sys.argv[2]).resolve()
    shutil.rmtree(target, ignore_errors=True)
    paths = BuildPaths.discover()
    demo_release(target, paths, "3.0.3.0", stage_app_dir(target / "apps" / "3.0.3.0", paths))
