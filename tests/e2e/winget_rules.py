"""The rules of the package manager's published manifest schemas, version 1.10.0, for the fields
our manifests use (and the fields those schemas require): names, required fields, types, lengths,
enumerations and patterns, written down here from the schemas' documentation. `problems` returns
what breaks them, one line per problem; an empty list is a manifest the schemas accept."""

import re

MANIFEST_VERSION = "1.10.0"

# Field rules: type ("string", "integer", "list", "map"), lengths (min, max), items, pattern, enum.
IDENTIFIER = {"type": "string", "max": 128,
              "pattern": r'[^.\s\\/:*?"<>|\x01-\x1f]{1,32}(\.[^.\s\\/:*?"<>|\x01-\x1f]{1,32}){1,7}'}
VERSION = {"type": "string", "max": 128, "pattern": r'[^\\/:*?"<>|\x01-\x1f]+'}
LOCALE = {"type": "string", "max": 20, "pattern": r"([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*"}
_PART = r"(0|[1-9][0-9]{0,3}|[1-5][0-9]{4}|6[0-4][0-9]{3}|65[0-4][0-9]{2}|655[0-2][0-9]|6553[0-5])"
MANIFEST_VERSION_RULE = {"type": "string", "pattern": rf"{_PART}(\.{_PART}){{2}}", "const": MANIFEST_VERSION}
URL = {"type": "string", "max": 2048, "pattern": r"[Hh][Tt][Tt][Pp][Ss]?://.+"}
SHA256 = {"type": "string", "pattern": r"[A-Fa-f0-9]{64}"}
SWITCH = {"type": "string", "min": 1, "max": 512}
RETURN_CODE = {"type": "integer", "minimum": -2147483648, "maximum": 4294967295, "not": [0]}


def text(low, high):
    return {"type": "string", "min": low, "max": high}


def enum(*values):
    return {"type": "string", "enum": values}


def manifest_type(name):
    return {"type": "string", "const": name}


COMMON = {"PackageIdentifier": IDENTIFIER, "PackageVersion": VERSION, "ManifestVersion": MANIFEST_VERSION_RULE}

INSTALLER_ENTRY = {
    "type": "map", "required": ["Architecture", "InstallerUrl", "InstallerSha256"],
    "fields": {
        "Architecture": enum("x86", "x64", "arm", "arm64", "neutral"),
        "InstallerUrl": URL,
        "InstallerSha256": SHA256,
        "InstallerType": enum("msix", "msi", "appx", "exe", "zip", "inno", "nullsoft", "wix", "burn", "pwa",
                              "portable", "advinstExe", "advinstMsi"),
        "Scope": enum("user", "machine"),
        "InstallerLocale": LOCALE,
    },
}

SCHEMAS = {
    "version": {
        "required": ["PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"],
        "fields": {**COMMON, "DefaultLocale": LOCALE, "ManifestType": manifest_type("version")},
    },
    "installer": {
        "required": ["PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"],
        "fields": {
            **COMMON,
            "ManifestType": manifest_type("installer"),
            "InstallerLocale": LOCALE,
            "InstallerType": INSTALLER_ENTRY["fields"]["InstallerType"],
            "Scope": INSTALLER_ENTRY["fields"]["Scope"],
            "InstallModes": {"type": "list", "max_items": 3, "unique": True,
                             "items": enum("interactive", "silent", "silentWithProgress")},
            "InstallerSwitches": {"type": "map", "fields": {
                "Silent": SWITCH, "SilentWithProgress": SWITCH, "Interactive": SWITCH, "InstallLocation": SWITCH,
                "Log": SWITCH, "Upgrade": SWITCH, "Repair": SWITCH, "Custom": text(1, 2048)}},
            "ExpectedReturnCodes": {"type": "list", "max_items": 128, "items": {
                "type": "map", "required": ["InstallerReturnCode", "ReturnResponse"], "fields": {
                    "InstallerReturnCode": RETURN_CODE,
                    "ReturnResponse": enum(
                        "packageInUse", "packageInUseByApplication", "installInProgress", "fileInUse",
                        "missingDependency", "diskFull", "insufficientMemory", "invalidParameter", "noNetwork",
                        "contactSupport", "rebootRequiredToFinish", "rebootRequiredForInstall", "rebootInitiated",
                        "cancelledByUser", "alreadyInstalled", "downgrade", "blockedByPolicy",
                        "systemNotSupported", "custom"),
                    "ReturnResponseUrl": URL}}},
            "UpgradeBehavior": enum("install", "uninstallPrevious", "deny"),
            "ElevationRequirement": enum("elevationRequired", "elevationProhibited", "elevatesSelf"),
            "AppsAndFeaturesEntries": {"type": "list", "max_items": 128, "unique": True, "items": {
                "type": "map", "fields": {"DisplayName": text(1, 256), "Publisher": text(1, 256),
                                          "DisplayVersion": text(1, 128)}}},
            "Installers": {"type": "list", "min_items": 1, "max_items": 1024, "items": INSTALLER_ENTRY},
        },
    },
    "defaultLocale": {
        "required": ["PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName", "License",
                     "ShortDescription", "ManifestType", "ManifestVersion"],
        "fields": {
            **COMMON,
            "ManifestType": manifest_type("defaultLocale"),
            "PackageLocale": LOCALE,
            "Publisher": text(2, 256),
            "PackageName": text(2, 256),
            "PackageUrl": URL,
            "PublisherUrl": URL,
            "License": text(3, 512),
            "LicenseUrl": URL,
            "ShortDescription": text(3, 256),
            "Description": text(3, 10000),
        },
    },
}


def _check(value, rule, where, out):
    kind = rule["type"]
    if kind == "map":
        if not isinstance(value, dict):
            out.append(f"{where}: not a mapping")
            return
        for name in rule.get("required", []):
            if name not in value:
                out.append(f"{where or 'manifest'}: required field {name} is missing")
        for name, item in value.items():
            if name not in rule["fields"]:
                out.append(f"{where}: unknown field {name}")
            else:
                _check(item, rule["fields"][name], f"{where}.{name}" if where else name, out)
        return
    if kind == "list":
        if not isinstance(value, list):
            out.append(f"{where}: not a list")
            return
        if len(value) < rule.get("min_items", 0) or len(value) > rule.get("max_items", len(value)):
            out.append(f"{where}: {len(value)} items, allowed {rule.get('min_items', 0)} to {rule.get('max_items')}")
        if rule.get("unique") and len({repr(v) for v in value}) != len(value):
            out.append(f"{where}: items are not unique")
        for i, item in enumerate(value):
            _check(item, rule["items"], f"{where}[{i}]", out)
        return
    if kind == "integer":
        if not isinstance(value, int) or isinstance(value, bool):
            out.append(f"{where}: {value!r} is not an integer")
        elif not rule["minimum"] <= value <= rule["maximum"] or value in rule.get("not", []):
            out.append(f"{where}: {value} is out of range or not allowed")
        return
    if not isinstance(value, str):
        out.append(f"{where}: {value!r} is not a string")
        return
    if len(value) < rule.get("min", 0) or len(value) > rule.get("max", len(value)):
        out.append(f"{where}: length {len(value)} outside {rule.get('min', 0)} to {rule.get('max')}")
    if "pattern" in rule and not re.fullmatch(rule["pattern"], value):
        out.append(f"{where}: {value!r} does not match the pattern {rule['pattern']}")
    if "enum" in rule and value not in rule["enum"]:
        out.append(f"{where}: {value!r} is not one of {', '.join(rule['enum'])}")
    if "const" in rule and value != rule["const"]:
        out.append(f"{where}: {value!r} must be {rule['const']!r}")


def problems(manifest):
    """What breaks the rules of the manifest's own type (its ManifestType field)."""
    if not isinstance(manifest, dict):
        return ["the manifest is not a mapping"]
    schema = SCHEMAS.get(manifest.get("ManifestType"))
    if schema is None:
        return [f"ManifestType {manifest.get('ManifestType')!r} is not version, installer or defaultLocale"]
    out = []
    _check(manifest, {"type": "map", **schema}, "", out)
    return out
