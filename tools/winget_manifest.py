#!/usr/bin/python3
"""The package manager's manifests of one release: what scripts/release.sh writes into the tree.

    TREE/winget/<version>/Lumidex.SSDFlashdeck.yaml                  version manifest
    TREE/winget/<version>/Lumidex.SSDFlashdeck.installer.yaml        the installer: URL, SHA-256, switches,
                                                                     exit codes, the Uninstall entry it writes
    TREE/winget/<version>/Lumidex.SSDFlashdeck.locale.en-US.yaml     publisher, name, license, description

Multi-file manifests of manifest version 1.10.0. The installer's URL is the tree's signed
installer as the vendor's server serves it; its SHA-256 is taken from that file in the tree.
"""

import hashlib
import json
import pathlib

PACKAGE_IDENTIFIER = "Lumidex.SSDFlashdeck"
MANIFEST_VERSION = "1.10.0"
LOCALE = "en-US"
# What the installer writes into its Uninstall entry: the package manager matches the installed
# program by these.
DISPLAY_NAME = "Lumidex SSD Flashdeck"
PUBLISHER = "Varnholt Corporation"
# The download server the shipped installer uses; the tree is served below it.
DEFAULT_BASE_URL = "https://downloads.lumidex.com/"
PRODUCT_PAGE = "https://www.lumidex.com/flashdeck"
INSTALLER_NAME = "LumidexFlashdeckSetup.exe"
FOLDER = "winget"
# The release script's --arch, as the manifest names it.
ARCHITECTURES = {"ia32": "x86", "x64": "x64"}

# The installer's exit codes besides 0, in the names the package manager gives them.
RETURN_CODES = [(1602, "cancelledByUser"), (1618, "installInProgress"), (1638, "alreadyInstalled"),
                (3010, "rebootRequiredToFinish")]


def _scalar(value):
    # Numbers stay numbers; every text is double-quoted (JSON's quoting is YAML's), so that no
    # version, switch or URL can be read as another type.
    return str(value) if isinstance(value, int) else json.dumps(value, ensure_ascii=False)


def _yaml(fields, indent=""):
    """Mappings, lists of mappings and scalars, in block style."""
    lines = []
    for key, value in fields.items():
        if isinstance(value, dict):
            lines.append(f"{indent}{key}:")
            lines += _yaml(value, indent + "  ")
        elif isinstance(value, list):
            lines.append(f"{indent}{key}:")
            for item in value:
                if isinstance(item, dict):
                    first, *rest = _yaml(item, indent + "  ")
                    lines.append(f"{indent}- {first.lstrip()}")
                    lines += rest
                else:
                    lines.append(f"{indent}- {_scalar(item)}")
        else:
            lines.append(f"{indent}{key}: {_scalar(value)}")
    return lines


def _document(kind, fields):
    head = f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.{MANIFEST_VERSION}.schema.json"
    return "\n".join([head, "", *_yaml(fields), ""])


def manifests(version, installer_sha256, base_url=DEFAULT_BASE_URL, arch="ia32"):
    """{file name: text} of the three manifests."""
    common = {"PackageIdentifier": PACKAGE_IDENTIFIER, "PackageVersion": version}
    tail = {"ManifestVersion": MANIFEST_VERSION}
    installer = {
        **common,
        "InstallerLocale": LOCALE,
        "InstallerType": "exe",
        "Scope": "machine",
        "InstallModes": ["interactive", "silent", "silentWithProgress"],
        "InstallerSwitches": {"Silent": "-silent", "SilentWithProgress": "-passive", "Log": '-log "<LOGPATH>"'},
        "ExpectedReturnCodes": [{"InstallerReturnCode": code, "ReturnResponse": meaning}
                                for code, meaning in RETURN_CODES],
        # An older version is replaced by the installer itself.
        "UpgradeBehavior": "install",
        "ElevationRequirement": "elevatesSelf",
        "AppsAndFeaturesEntries": [{"DisplayName": DISPLAY_NAME, "Publisher": PUBLISHER, "DisplayVersion": version}],
        "Installers": [{"Architecture": ARCHITECTURES[arch], "InstallerUrl": base_url + INSTALLER_NAME,
                        "InstallerSha256": installer_sha256.upper()}],
        "ManifestType": "installer", **tail,
    }
    locale = {
        **common,
        "PackageLocale": LOCALE,
        "Publisher": PUBLISHER,
        "PackageName": DISPLAY_NAME,
        "PackageUrl": PRODUCT_PAGE,
        "License": "Proprietary",
        "ShortDescription": "Management tools for Lumidex SSDs.",
        "ManifestType": "defaultLocale", **tail,
    }
    version_fields = {**common, "DefaultLocale": LOCALE, "ManifestType": "version", **tail}
    return {
        f"{PACKAGE_IDENTIFIER}.yaml": _document("version", version_fields),
        f"{PACKAGE_IDENTIFIER}.installer.yaml": _document("installer", installer),
        f"{PACKAGE_IDENTIFIER}.locale.{LOCALE}.yaml": _document("defaultLocale", locale),
    }


def write_manifests(tree, version, base_url=DEFAULT_BASE_URL, arch="ia32"):
    """Writes TREE/winget/<version>/ for the signed installer at the top of TREE; returns the folder."""
    tree = pathlib.Path(tree)
    digest = hashlib.sha256((tree / INSTALLER_NAME).read_bytes()).hexdigest()
    folder = tree / FOLDER / version
    folder.mkdir(parents=True, exist_ok=True)
    for name, text in manifests(version, digest, base_url, arch).items():
        (folder / name).write_text(text, encoding="utf-8")
    return folder
