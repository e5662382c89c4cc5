#!/usr/bin/env python3
"""The installer's main job on this machine: install the demo release from the bundled local
HTTPS server under Wine. The release is made by scripts/release.sh, and its signed installer runs.

With a reachable $DISPLAY the installer window is yours to drive; the script waits until the
installer ends and then shows what was installed. Without one it runs under its own Xvfb,
installs by itself, presses Finish and saves screenshots under <build>/demo/.

--installer EXE runs another installer file against a release signed with its own build's key.
"""
import argparse
import pathlib
import shutil
import sys

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


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--installer", help="installer file to run (default: the build's own)")
    options = parser.parse_args()
    build = e2e_env.BuildPaths.discover()
    build.require("ui_driver", "trust_ca", "demo_app", "vcredist_stub")
    installer = pathlib.Path(options.installer) if options.installer else build.installer
    run = e2e_env.Run.create(build)
    display = e2e_env.ensure_display(use_existing=True)
    interactive = not display.own
    ca = e2e_env.TestCA.create(run.path / "ca")
    app_dir = e2e_env.stage_app_dir(run.path / "apps" / DEMO_VERSION, build)
    if options.installer:
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
