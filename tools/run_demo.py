#!/usr/bin/env python3
"""The installer's main job on this machine: install the demo release from the bundled local
HTTPS server under Wine. The release is made by scripts/release.sh, and its signed installer runs.

With a reachable $DISPLAY the installer window is yours to drive; the script waits until the
installer ends and then shows what was installed. Without one it runs under its own Xvfb,
installs by itself, presses Finish and saves screenshots under <build>/demo/.

--smoke --installer EXE: the same job with another installer file (the shipped 32-bit one where
the helpers are the 64-bit test build), started from the Downloads folder so that it relaunches,
then checked and uninstalled through its Uninstall entry; exits 1 when a step did not happen.
--slow stretches every wait for 32-bit Wine under an emulator.
"""
import argparse
import os
import pathlib
import re
import shutil
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import e2e_env  # noqa: E402

DEMO_VERSION = "3.0.3.0"


def show_result(machine):
    e2e_env.log("installed files:")
    install_dir = machine.install_dir()
    for path in sorted(install_dir.iterdir()) if install_dir.exists() else []:
        e2e_env.log(f"  {path.name} ({path.stat().st_size} bytes)")
    for key, value in ((e2e_env.APP_KEY, "IsInstalled"), (e2e_env.APP_KEY, "InstallPath"),
                       (e2e_env.APP_KEY, "CurrentCulture"), (e2e_env.UNINSTALL_KEY, "DisplayVersion"),
                       (e2e_env.UNINSTALL_KEY, "UninstallString")):
        e2e_env.log(f"{key} {value}: {machine.reg_query(key, value)}")
    shortcut = machine.shortcut_path()
    if shortcut.exists():
        e2e_env.log(f"desktop shortcut: {machine.read_shortcut(shortcut)}")
    e2e_env.log(f"runtime installer calls: {machine.vcredist_calls()}")


def drive(machine, shots):
    def screenshot(name):
        e2e_env.log(f"screenshot {machine.screenshot(shots / name)}")

    machine.driver("wait-window", "--timeout", "60000")
    screenshot("1-install-offer.png")
    watch = machine.watch_progress(until=100)
    machine.driver("click", "actionButton")
    e2e_env.log(f"progress positions: {watch.result(timeout=180)}")
    machine.wait_ui(lambda ui: machine.control(ui, "actionButton")["visible"]
                    and machine.control(ui, "actionButton")["text"] == "Finish", timeout=60)
    screenshot("2-installed.png")
    machine.driver("click", "actionButton")
    machine.driver("wait-window", "--class", "LumidexDemoApp", "--timeout", "30000")
    screenshot("3-application.png")


class InstallerVanished(e2e_env.HarnessError):
    """No installer process is left while a step was awaited: under qemu-user, 32-bit Wine dies
    now and then of an illegal instruction in its own system-call path."""


def smoke(machine, server, wait):
    """Install, check, uninstall, check; returns the list of what did not happen."""
    seen = [False]  # an installer process was seen since the last start

    def installer_running():
        running = any(p["path"].lower().endswith("\\" + e2e_env.INSTALLER_NAME.lower()) for p in machine.processes())
        seen[0] = seen[0] or running
        return running

    def settled(what, condition, interval=2):
        # Watched from outside (registry, processes), with the installer's life: a vanished
        # installer ends the wait at once instead of after the whole limit.
        def done():
            if condition():
                return True
            if not installer_running() and seen[0]:
                if condition():
                    return True
                raise InstallerVanished(f"the installer is gone while waiting for {what}")
            return False
        e2e_env.wait_until(done, wait, interval=interval, what=what)

    def page(action_text):
        def shown():
            ui = machine.driver("list", "--class", e2e_env.WINDOW_CLASS, check=False)
            control = machine.control(ui, "actionButton") if isinstance(ui, dict) and ui.get("ok") else None
            return bool(control and control["visible"] and control["text"] == action_text)
        settled(f"the {action_text} button", shown, interval=1)

    failures = []

    def expect(condition, what):
        e2e_env.log(f"{'ok' if condition else 'FAILED'}: {what}")
        if not condition:
            failures.append(what)

    page("Install")
    machine.driver("click", "actionButton")
    # The registry, not the window: messages sent into the busy installer would only queue up
    # behind its work (and stall 32-bit Wine under qemu-user).
    settled("the installation to complete", lambda: machine.reg_query(e2e_env.APP_KEY, "IsInstalled") == 3)
    page("Finish")
    show_result(machine)
    expect((machine.install_dir() / "LumidexSSDFlashdeck.exe").is_file(), "the application is installed")
    expect(machine.reg_query(e2e_env.APP_KEY, "IsInstalled") == 3, "IsInstalled is 3")
    expect(machine.reg_query(e2e_env.UNINSTALL_KEY, "DisplayVersion") == DEMO_VERSION, "the Uninstall entry")
    expect(machine.shortcut_path().exists(), "the desktop shortcut")
    expect(machine.vcredist_calls() != [], "the runtime installer ran")
    machine.driver("click", "actionButton")
    machine.driver("wait-gone", "--timeout", wait * 1000)

    entry = machine.reg_query(e2e_env.UNINSTALL_KEY, "UninstallString")
    match = re.fullmatch(r'"([^"]+)" -uninstall', entry.data if entry else "")
    if not match:
        return failures + [f"an UninstallString to run: {entry}"]
    e2e_env.log(f"uninstalling through {entry.data}")
    seen[0] = False
    machine.start_program(match.group(1), f'-uninstall -test "{server.base_url}"')
    page("Uninstall")
    machine.driver("click", "actionButton")
    settled("the uninstallation to complete", lambda: not machine.reg_key_exists(e2e_env.APP_KEY))
    page("Finish")
    machine.driver("click", "actionButton")
    machine.driver("wait-gone", "--timeout", wait * 1000)
    expect(not machine.install_dir().exists(), "the install folder is removed")
    expect(not machine.reg_key_exists(e2e_env.UNINSTALL_KEY), "the Uninstall entry is removed")
    expect(not machine.reg_key_exists(e2e_env.APP_KEY), "the product key is removed")
    expect(not machine.shortcut_path().exists(), "the desktop shortcut is removed")
    return failures


# What the emulator, not the program, prints when 32-bit Wine dies under qemu-user.
EMULATOR_FAULT = re.compile(r"qemu: uncaught target signal|Unhandled illegal instruction|Got unexpected trap")


def emulator_fault(machine):
    """The line of Wine's or qemu's standard error that shows the emulator's fault, or None."""
    for path in sorted(machine.log_dir.glob("*.err")):
        for line in path.read_text(errors="replace").splitlines():
            if EMULATOR_FAULT.search(line):
                return line.strip()
    return None


def run_smoke(template, run, server, installer, wait, attempts=4, budget_s=20 * 60):
    """The smoke run on fresh copies of the prefix. An attempt whose installer vanished is
    repeated, up to `attempts` in all, with the emulator's own message when it left one: under
    qemu-user 32-bit Wine dies now and then (seen: illegal instructions in its system-call path,
    qemu's own segmentation faults, and deaths without a word), at any step. A step that ends
    with a wrong result fails the run; when no attempt got through (vanished or stalled under the
    emulator, within `budget_s` in all) the run says so loudly and counts as inconclusive, not as
    a failure of the installer."""
    begun = time.monotonic()
    for attempt in range(1, attempts + 1):
        if time.monotonic() - begun > budget_s:
            break
        machine = template.clone(run.path / "prefixes" / f"smoke-{attempt}")
        started = time.monotonic()
        try:
            machine.start_installer(["-test", f'"{server.base_url}"'], location="downloads", exe=installer)
            failures = smoke(machine, server, wait)
        except InstallerVanished as error:
            cause = emulator_fault(machine)
            e2e_env.log(f"attempt {attempt} of {attempts}: {error} after {time.monotonic() - started:.0f}s;"
                        f" {'the emulator: ' + cause if cause else 'no sign of the emulator'}")
            continue
        except e2e_env.HarnessError as error:
            # A stalled emulated process; the 64-bit path runs the same steps without an emulator.
            e2e_env.log(f"attempt {attempt} of {attempts}: {error}")
            continue
        finally:
            machine.close()
        e2e_env.log(f"smoke run of {installer} took {time.monotonic() - started:.0f}s (attempt {attempt})")
        if failures:
            e2e_env.log("the smoke run failed: " + "; ".join(failures))
            return 1
        return 0
    e2e_env.log("the smoke run is INCONCLUSIVE: the 32-bit installer did not get through under qemu-user in"
                f" {attempt} attempt(s); the 32-bit executable's static checks ran, and the same sources passed"
                " on the 64-bit path")
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--installer", help="installer file to run (default: the build's own)")
    parser.add_argument("--smoke", action="store_true", help="install, check and uninstall by itself")
    parser.add_argument("--slow", action="store_true", help="wait long enough for emulated 32-bit Wine")
    options = parser.parse_args()
    build = e2e_env.BuildPaths.discover()
    build.require("ui_driver", "trust_ca", "demo_app", "vcredist_stub")
    installer = pathlib.Path(options.installer) if options.installer else build.installer
    run = e2e_env.Run.create(build)
    display = e2e_env.ensure_display(use_existing=not options.smoke)
    interactive = not display.own
    ca = e2e_env.TestCA.create(run.path / "ca")
    app_dir = e2e_env.stage_app_dir(run.path / "apps" / DEMO_VERSION, build)
    if options.smoke or options.installer:
        # Signed with the key the installer that runs carries (its own build's).
        installer_build = e2e_env.BuildPaths(installer.parent)
        tree = e2e_env.build_release_tree(run.path / "trees" / "demo", [(DEMO_VERSION, app_dir)],
                                          key=installer_build.signing_key or build.signing_key)
    else:
        # The vendor's path: scripts/release.sh builds, signs and lays out the release, and the
        # signed installer from its tree is the one that runs.
        notes = run.path / "notes.pdf"
        notes.write_bytes(e2e_env.make_release.release_notes_pdf(DEMO_VERSION))
        arch = e2e_env.pe_arch(installer)
        release = e2e_env.release_with_script(run.path / "trees" / "demo", build.build_dir / "release", DEMO_VERSION,
                                              app_dir, build.signing_key, arch, notes=notes)
        print(release.output, end="", flush=True)
        tree, installer = release.tree, release.signed_installer
    server = e2e_env.ReleaseServer.start(run.path / "server", ca, tree)
    e2e_env.log(f"demo server: {server.base_url}")
    template = e2e_env.PrefixTemplate.create(run.path / "prefixes" / "template", build, ca, display)
    if options.smoke:
        try:
            return run_smoke(template, run, server, installer, wait=600 if options.slow else 60)
        finally:
            server.stop()
    machine = template.clone(run.path / "prefixes" / "demo")
    try:
        installer = machine.start_installer(["-test", f'"{server.base_url}"'], location="temp", exe=installer)
        if interactive:
            e2e_env.log(f"the installer window is on {display.name}; close it or press Finish to end")
            installer.wait(timeout=3600)
        else:
            shots = build.build_dir / "demo"
            shutil.rmtree(shots, ignore_errors=True)
            shots.mkdir(parents=True)
            drive(machine, shots)
            e2e_env.log(f"installer exit code: {installer.wait(timeout=60)}")
        show_result(machine)
    finally:
        machine.close()
        server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
