"""The package's build backend (PEP 517 and PEP 660), of the standard library alone: pip builds
the package with it where no package index is reachable, in a virtual environment that has
neither setuptools nor wheel (Debian's python3-venv gives neither to a new one). The package
is pure Python, so the wheel is its folder as it is, with the metadata below."""
import base64
import hashlib
import io
import pathlib
import re
import tarfile
import zipfile

HERE = pathlib.Path(__file__).resolve().parent
NAME = "quillon"
TAG = "py3-none-any"


def _version():
    """The project's version: from the CMakeLists.txt beside this folder, or in an sdist from
    its PKG-INFO."""
    info = HERE / "PKG-INFO"
    if info.exists():
        return re.search(r"^Version: (\S+)$", info.read_text(encoding="utf-8"), re.M)[1]
    project = (HERE.parent / "CMakeLists.txt").read_text(encoding="utf-8")
    return re.search(r"project\(Quillon VERSION ([0-9.]+)", project)[1]


def _metadata():
    readme = (HERE / "README.md").read_text(encoding="utf-8")
    return ("Metadata-Version: 2.1\n"
            f"Name: {NAME}\nVersion: {_version()}\n"
            "Summary: PDF417 and MicroPDF417 barcodes as PNG or SVG files, over libquillon\n"
            "License: Proprietary\nRequires-Python: >=3.9\n"
            'Provides-Extra: pil\nRequires-Dist: Pillow; extra == "pil"\n'
            f"Description-Content-Type: text/markdown\n\n{readme}")


def _package_files():
    """The package's files, as (path in the wheel, bytes)."""
    for path in sorted((HERE / NAME).rglob("*")):
        if path.is_file() and "__pycache__" not in path.parts and path.suffix != ".pyc":
            yield path.relative_to(HERE).as_posix(), path.read_bytes()


def _dist_info():
    return f"{NAME}-{_version()}.dist-info"


def _write_wheel(directory, files):
    """A wheel of `files` (path, bytes) and the metadata; its file name."""
    dist_info = _dist_info()
    files = list(files) + [
        (f"{dist_info}/METADATA", _metadata().encode()),
        (f"{dist_info}/WHEEL", (f"Wheel-Version: 1.0\nGenerator: {NAME} build_backend\n"
                                f"Root-Is-Purelib: true\nTag: {TAG}\n").encode()),
    ]
    record = []
    name = f"{NAME}-{_version()}-{TAG}.whl"
    with zipfile.ZipFile(pathlib.Path(directory) / name, "w", zipfile.ZIP_DEFLATED) as wheel:
        for path, data in files:
            wheel.writestr(path, data)
            digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
            record.append(f"{path},sha256={digest.decode()},{len(data)}\n")
        record.append(f"{dist_info}/RECORD,,\n")
        wheel.writestr(f"{dist_info}/RECORD", "".join(record))
    return name


def get_requires_for_build_wheel(config_settings=None):
    return []


get_requires_for_build_sdist = get_requires_for_build_editable = get_requires_for_build_wheel


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    return _write_wheel(wheel_directory, _package_files())


def build_editable(wheel_directory, config_settings=None, metadata_directory=None):
    """A wheel that puts this folder on the path, so that the package is used where it is."""
    return _write_wheel(wheel_directory, [(f"_{NAME}_editable.pth", f"{HERE}\n".encode())])


def build_sdist(sdist_directory, config_settings=None):
    base = f"{NAME}-{_version()}"
    files = [(path, data) for path, data in _package_files()]
    files += [(name, (HERE / name).read_bytes())
              for name in ("build_backend.py", "pyproject.toml", "README.md")]
    files.append(("PKG-INFO", _metadata().encode()))
    name = f"{base}.tar.gz"
    with tarfile.open(pathlib.Path(sdist_directory) / name, "w:gz",
                      format=tarfile.PAX_FORMAT) as sdist:
        for path, data in files:
            member = tarfile.TarInfo(f"{base}/{path}")
            member.size = len(data)
            member.mode = 0o644
            sdist.addfile(member, io.BytesIO(data))
    return name
