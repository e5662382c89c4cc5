"""End-to-end runs behind a company proxy (squid): the vendor host is reachable only through it.
The machine resolves the vendor's name to an address where nothing listens; the proxy's own name
table knows where the server is. Each test shows the direct route failing and the proxy's route."""

import e2e_env
from test_install import INSTALL_OFFER_TEXT, assert_installed, success_text, wait_page, DEMO_VERSION
from test_uninstall import LOG_WIN, log_lines, run_silent

USER = "fd-deploy"
PASSWORD = "Zq7-proxy-secret"
WINDOW_TIMEOUT_MS = 60000


def start_proxy(e2e_run, machine, **sign_in):
    hosts = {e2e_env.ReleaseServer.PROXIED_HOST: e2e_env.ReleaseServer.PROXIED_ADDRESS}
    return e2e_env.ProxyServer.start(e2e_run.path / f"proxy-{machine.prefix.name}", hosts, **sign_in)


def show_proxy_log(proxy):
    print("\nproxy log:\n" + "\n".join(proxy.log_lines()))


def test_a_silent_install_goes_through_the_proxy_of_the_internet_settings(machine, build, e2e_run, release_server,
                                                                          demo_app_dir):
    base = release_server.proxied_base_url
    version_file = f"{base}Flashdeck/config/lista_updater.xml"
    # Direct, as before the proxy is set: the vendor's name leads nowhere.
    assert run_silent(machine, base, "-log", f'"{LOG_WIN}"') == 1603
    direct = log_lines(machine)
    assert f"GET {version_file}: not answered, error 12029" in "\n".join(direct), direct

    proxy = start_proxy(e2e_run, machine)
    try:
        # The bypass list names other hosts only: the vendor's goes through the proxy.
        machine.use_proxy(proxy.address, bypass="*.intranet.test")
        assert run_silent(machine, base, "-log", f'"{LOG_WIN}"') == 0
        assert_installed(machine, build.installer, demo_app_dir, e2e_env.INSTALLER_NAME)
        text = "\n".join(log_lines(machine)[len(direct):])
        print("\nlog, direct then through the proxy:\n" + "\n".join(
            line for line in log_lines(machine) if "GET " in line or "result:" in line))
        for path in ["config/lista_updater.xml", "config/lista_updater.xml.sig",
                     f"application/{DEMO_VERSION}/LumidexFlashdeck.zip"]:
            assert f"GET {base}Flashdeck/{path} through the proxy server {proxy.address}: HTTP 200" in text, text
        assert "SHA-256 of LumidexFlashdeck.zip matches the signed version file" in text
        show_proxy_log(proxy)
        tunnels = proxy.tunnels()
        target = f"{e2e_env.ReleaseServer.PROXIED_HOST}:{release_server.proxied_port}"
        # WinINet keeps the tunnel open between requests: one CONNECT may carry all of them.
        assert tunnels, proxy.log_lines()
        assert all(t["result"] == "TCP_TUNNEL/200" and t["target"] == target and
                   t["peer"] == f"HIER_DIRECT/{e2e_env.ReleaseServer.PROXIED_ADDRESS}" for t in tunnels), tunnels
    finally:
        proxy.stop()


def test_a_proxy_that_asks_for_sign_in(machine, build, e2e_run, release_server, demo_app_dir):
    base = release_server.proxied_base_url
    proxy = start_proxy(e2e_run, machine, user=USER, password=PASSWORD)
    try:
        machine.use_proxy(proxy.address)
        # An unattended run never asks: 1603, and the log names the proxy and the 407.
        assert run_silent(machine, base, "-log", f'"{LOG_WIN}"') == 1603
        silent = log_lines(machine)
        text = "\n".join(silent)
        assert (f"GET {base}Flashdeck/config/lista_updater.xml through the proxy server {proxy.address}: HTTP 407 "
                "(the proxy server requires sign-in)") in text, text
        assert f"The proxy server {proxy.address} requires you to sign in." in text, text
        assert [t["result"] for t in proxy.tunnels()] == ["TCP_DENIED/407"], proxy.tunnels()
        print("\nsilent run's log:\n" + "\n".join(line for line in silent if "407" in line or "1603" in line))

        # Cancel in the sign-in dialog: the box says that the proxy requires sign-in.
        inst = machine.start_installer(["-test", f'"{base}"'])
        machine.driver("sign-in", "--button", "Cancel", "--timeout", WINDOW_TIMEOUT_MS)
        box = machine.messagebox(timeout_ms=WINDOW_TIMEOUT_MS)
        print(f"box after Cancel: {box['title']}: {box['text']}")
        assert box["text"] == f"The proxy server {proxy.address} requires you to sign in.", box
        machine.dismiss()
        assert inst.wait(30) == 0

        # A user is asked once, with the standard dialog; the sign-in serves every later request.
        inst = machine.start_installer(["-test", f'"{base}"', "-log", f'"{LOG_WIN}"'])
        dialog = machine.driver("sign-in", USER, PASSWORD, "--timeout", WINDOW_TIMEOUT_MS)
        print(f"\nsign-in dialog: {dialog}")
        machine.driver("wait-window", "--timeout", WINDOW_TIMEOUT_MS)
        wait_page(machine, INSTALL_OFFER_TEXT, timeout=60, action="Install")
        machine.driver("click", "actionButton")
        wait_page(machine, success_text(DEMO_VERSION), timeout=180, action="Finish")
        e2e_env.wait_until(lambda: (machine.install_dir() / e2e_env.INSTALLER_NAME).is_file(), 30,
                           what="the installer copy")
        assert machine.driver("windows", "#32770")["windows"] == []  # no second dialog
        machine.driver("click", "cancelButton")
        assert inst.wait(60) == 0
        assert_installed(machine, build.installer, demo_app_dir, e2e_env.INSTALLER_NAME)
        interactive = "\n".join(log_lines(machine)[len(silent):])
        print("interactive run's log:\n" + "\n".join(line for line in interactive.splitlines() if "proxy" in line))
        assert f"proxy sign-in given for {proxy.address}" in interactive, interactive
        assert (f"GET {base}Flashdeck/application/{DEMO_VERSION}/LumidexFlashdeck.zip through the proxy server "
                f"{proxy.address}: HTTP 200") in interactive, interactive
        show_proxy_log(proxy)
        signed = [t for t in proxy.tunnels() if t["result"] == "TCP_TUNNEL/200"]
        assert signed and all(t["user"] == USER for t in signed), proxy.tunnels()
    finally:
        proxy.stop()
    # The password is nowhere: not in the log, not in the registry once Wine has written it out.
    e2e_env.stop_wineserver(machine.prefix)
    assert PASSWORD not in machine.win_path_to_host(LOG_WIN).read_text(encoding="utf-8")
    for hive in machine.prefix.glob("*.reg"):
        assert PASSWORD not in hive.read_text(encoding="utf-8", errors="replace"), hive


def test_a_proxy_that_cannot_be_reached_is_named_in_the_box(machine, release_server):
    dead = f"127.0.0.1:{e2e_env.free_port()}"
    machine.use_proxy(dead)
    inst = machine.start_installer(["-test", f'"{release_server.proxied_base_url}"'])
    box = machine.messagebox(timeout_ms=WINDOW_TIMEOUT_MS)
    print(f"\nbox: {box['title']}: {box['text']}")
    assert box["title"] == "Failed to download"
    assert box["text"] == f"The proxy server {dead} cannot be reached. Check this computer's proxy settings."
    machine.dismiss()
    assert inst.wait(30) == 0
