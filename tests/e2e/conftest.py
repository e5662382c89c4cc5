"""Fixtures of the end-to-end tests. The Windows build directory comes from FLASHDECK_BUILD_DIR
(default build/windows). Session-wide: a run directory under the build tree, an Xvfb display,
the test CA, a template Wine prefix trusting that CA, and an HTTPS release server with the demo
release 3.0.3.0. Per test: `machine`, a fresh copy of the template prefix, deleted afterwards."""

import itertools
import os
import pathlib
import re
import signal
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "tools"))
import e2e_env  # noqa: E402

DEMO_VERSION = "3.0.3.0"
DEFAULT_TEST_TIMEOUT_S = 300


def pytest_configure(config):
    config.addinivalue_line("markers", "e2e_timeout(seconds): time limit of one end-to-end test")
    config.addinivalue_line("markers", "smoke: the subset that also runs the shipped 32-bit installer in the "
                                       "emulator guest where the kernel cannot run 32-bit programs")


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_call(item):
    """No test may hang: SIGALRM interrupts a test that runs past its limit."""
    marker = item.get_closest_marker("e2e_timeout")
    seconds = int((int(marker.args[0]) if marker else DEFAULT_TEST_TIMEOUT_S) * e2e_env.TIME_SCALE)

    def expire(_signum, _frame):
        raise e2e_env.HarnessError(f"the test ran past its limit of {seconds}s")

    previous = signal.signal(signal.SIGALRM, expire)
    signal.alarm(seconds)
    try:
        yield
    finally:
        signal.alarm(0)
        signal.signal(signal.SIGALRM, previous)


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    setattr(item, "report_" + report.when, report)


@pytest.fixture(scope="session")
def build():
    paths = e2e_env.BuildPaths.discover()
    paths.require("ui_driver", "trust_ca", "demo_app", "vcredist_stub")
    return paths


@pytest.fixture(scope="session")
def e2e_run(build):
    return e2e_env.Run.create(build)


@pytest.fixture(scope="session")
def display():
    # Our own Xvfb unless FLASHDECK_E2E_USE_DISPLAY=1 asks for $DISPLAY.
    use_existing = os.environ.get("FLASHDECK_E2E_USE_DISPLAY") == "1"
    screen = e2e_env.ensure_display(use_existing=use_existing)
    yield screen
    screen.stop()


@pytest.fixture(scope="session")
def test_ca(e2e_run):
    return e2e_env.TestCA.create(e2e_run.path / "ca")


@pytest.fixture(scope="session")
def prefix_template(e2e_run, build, test_ca, display):
    template = e2e_env.PrefixTemplate.create(e2e_run.path / "prefixes" / "template", build, test_ca, display)
    yield template
    e2e_env.remove_prefix(template.path)


@pytest.fixture(scope="session")
def demo_app_dir(e2e_run, build):
    """The files of the demo release archive: the stand-in application and runtime installer."""
    return e2e_env.stage_app_dir(e2e_run.path / "apps" / DEMO_VERSION, build)


@pytest.fixture(scope="session")
def script_release(e2e_run, build, demo_app_dir):
    """The demo release made by scripts/release.sh, the vendor's command."""
    return e2e_env.demo_release(e2e_run.path, build, DEMO_VERSION, demo_app_dir)


@pytest.fixture(scope="session")
def release_tree(script_release):
    """The tree the server serves by default: the release script's, so the tests take the vendor's path."""
    return script_release.tree


@pytest.fixture(scope="session")
def make_tree(e2e_run):
    """make_tree(name, [(version, app_dir), ...], offer=None) -> a release tree under the run directory."""

    def build_tree(name, releases, offer=None):
        return e2e_env.build_release_tree(e2e_run.path / "trees" / name, releases, offer)

    return build_tree


@pytest.fixture(scope="session")
def _release_server_session(e2e_run, test_ca, release_tree):
    server = e2e_env.ReleaseServer.start(e2e_run.path / "server", test_ca, release_tree)
    yield server
    server.stop()


@pytest.fixture
def release_server(_release_server_session, release_tree):
    """The HTTPS server; a test may `serve()` another tree, the demo tree comes back afterwards."""
    yield _release_server_session
    _release_server_session.serve(release_tree)


_machine_numbers = itertools.count(1)


@pytest.fixture
def machine(request, prefix_template, e2e_run):
    machine = prefix_template.clone(e2e_run.path / "prefixes" / f"m{next(_machine_numbers)}")
    try:
        yield machine
    finally:
        report = getattr(request.node, "report_call", None)
        if report is not None and report.failed and machine.display is not None:
            name = re.sub(r"[^A-Za-z0-9_.-]", "_", request.node.name)
            try:
                shot = machine.screenshot(e2e_run.path / "failures" / f"{name}.png")
                e2e_env.log(f"screenshot of the failure: {shot}")
                e2e_env.log(f"windows: {machine.driver('windows', check=False)}")
                e2e_env.log(f"processes: {machine.driver('processes', check=False)}")
            except e2e_env.HarnessError as error:
                e2e_env.log(f"no failure screenshot: {error}")
            # What the programs the test started reported (their exit codes) and what Wine said
            # about them (a crash, a missing library):
            # where the run folder is lost with the machine, as in the emulator guest, only this remains.
            for said in sorted(machine.log_dir.glob("bg-*")):
                text = said.read_text(errors="replace").strip()
                if text:
                    e2e_env.log(f"{said.name}: {text[-1500:]}")
        machine.close()


@pytest.fixture(scope="session")
def fault_server(e2e_run, test_ca):
    """tools/fault_server.py over HTTPS with the test CA: a base URL chooses the fault."""
    server = e2e_env.FaultServer.start(e2e_run.path / "fault-server", test_ca)
    yield server
    server.stop()
