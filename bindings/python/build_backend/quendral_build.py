"""A build backend (PEP 517 and PEP 660) for this pure-Python package that
needs nothing beyond the standard library.

Debian's setuptools cannot build a wheel in a fresh virtual environment
without the separate `wheel` package, which `python3 -m venv` does not
install; with no build requirements at all, `pip install bindings/python`
works offline in any environment, with or without build isolation.
"""

from __future__ import annotations

import base64
import hashlib
import io
import os
import re
import tarfile
import zipfile
from typing import Dict, List, Optional, Tuple

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PACKAGE = "quendral_jsonengine"
# Files of the package directory that go into the wheel: the sources, the
# typing marker and a copy of the engine library placed there, if any.
PACKAGE_FILES = re.compile(r".*\.py|py\.typed|.*\.so(\.\d+)*|.*\.dll|.*\.dylib")
SDIST_FILES = ("pyproject.toml", "README.md", "build_backend/quendral_build.py")


def _project() -> Dict[str, str]:
    with open(os.path.join(ROOT, "pyproject.toml"), encoding="utf-8") as f:
        text = f.read()
    section = re.search(r"^\[project\]\s*$(.*?)(?=^\[|\Z)", text, re.M | re.S)
    fields: Dict[str, str] = {}
    # The string-valued keys of [project]; the values are plain TOML strings.
    for key, value in re.findall(r'^([A-Za-z-]+)\s*=\s*"([^"]*)"\s*$', section.group(1) if section else "", re.M):
        fields[key] = value
    return fields


def _dist_name(project: Dict[str, str]) -> str:
    return re.sub(r"[-_.]+", "_", project["name"]).lower()


def _metadata(project: Dict[str, str]) -> str:
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {project['name']}",
        f"Version: {project['version']}",
        f"Summary: {project.get('description', '')}",
    ]
    if "requires-python" in project:
        lines.append(f"Requires-Python: {project['requires-python']}")
    readme = project.get("readme")
    body = ""
    if readme and os.path.isfile(os.path.join(ROOT, readme)):
        lines.append("Description-Content-Type: text/markdown")
        with open(os.path.join(ROOT, readme), encoding="utf-8") as f:
            body = f.read()
    return "\n".join(lines) + "\n\n" + body


def _package_files() -> List[Tuple[str, str]]:
    pkg = os.path.join(ROOT, PACKAGE)
    return [
        (os.path.join(pkg, name), f"{PACKAGE}/{name}")
        for name in sorted(os.listdir(pkg))
        if os.path.isfile(os.path.join(pkg, name)) and PACKAGE_FILES.fullmatch(name)
    ]


def _write_wheel(directory: str, contents: List[Tuple[str, bytes]]) -> str:
    project = _project()
    dist = _dist_name(project)
    info = f"{dist}-{project['version']}.dist-info"
    name = f"{dist}-{project['version']}-py3-none-any.whl"
    contents = contents + [
        (f"{info}/METADATA", _metadata(project).encode("utf-8")),
        (f"{info}/WHEEL", b"Wheel-Version: 1.0\nGenerator: quendral_build\nRoot-Is-Purelib: true\nTag: py3-none-any\n"),
        (f"{info}/top_level.txt", f"{PACKAGE}\n".encode()),
    ]
    record = []
    with zipfile.ZipFile(os.path.join(directory, name), "w", zipfile.ZIP_DEFLATED) as whl:
        for arcname, data in contents:
            whl.writestr(arcname, data)
            digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
            record.append(f"{arcname},sha256={digest},{len(data)}")
        record.append(f"{info}/RECORD,,")
        whl.writestr(f"{info}/RECORD", "\n".join(record) + "\n")
    return name


def _read(path: str) -> bytes:
    with open(path, "rb") as f:
        return f.read()


def get_requires_for_build_wheel(config_settings: Optional[dict] = None) -> List[str]:
    return []


def get_requires_for_build_sdist(config_settings: Optional[dict] = None) -> List[str]:
    return []


def get_requires_for_build_editable(config_settings: Optional[dict] = None) -> List[str]:
    return []


def build_wheel(wheel_directory: str, config_settings: Optional[dict] = None,
                metadata_directory: Optional[str] = None) -> str:
    return _write_wheel(wheel_directory, [(arc, _read(src)) for src, arc in _package_files()])


def build_editable(wheel_directory: str, config_settings: Optional[dict] = None,
                   metadata_directory: Optional[str] = None) -> str:
    # A .pth file puts the source directory on sys.path.
    return _write_wheel(wheel_directory, [(f"{PACKAGE}_editable.pth", (ROOT + "\n").encode("utf-8"))])


def build_sdist(sdist_directory: str, config_settings: Optional[dict] = None) -> str:
    project = _project()
    base = f"{_dist_name(project)}-{project['version']}"
    name = f"{base}.tar.gz"
    files = [(os.path.join(ROOT, f), f) for f in SDIST_FILES] + _package_files()
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz", format=tarfile.PAX_FORMAT) as tar:
        for src, arc in files:
            tar.add(src, arcname=f"{base}/{arc}")
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        data = _metadata(project).encode("utf-8")
        info.size = len(data)
        tar.addfile(info, io.BytesIO(data))
    return name
